// The window's layout as the program has always had it: every other test and every back
// end reads the names of layout.h. Its constants are pinned by static_asserts beside them;
// this file checks what is computed from them (hit areas, handles, templates, rectangles).
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "layout.h"

TEST(Layout, ClientGeometryOfViewsStripsAndResultsPicture) {
    // Row y of a view shows coordinate 305 - y; the lowest row 305 shows 0.
    for (int y = -5; y < 400; y++) {
        EXPECT_EQ(view_coord_of_row(y), 305 - y);
        EXPECT_EQ(view_row_of_coord(view_coord_of_row(y)), y);
    }
    EXPECT_EQ(res_map_col(419), 0);
    EXPECT_EQ(res_map_row(737), 0);
    EXPECT_EQ(res_map_row(338), 399);
    // Hit areas, both bounds included.
    EXPECT_EQ(view_at(22), 0);
    EXPECT_EQ(view_at(23), 1);
    EXPECT_EQ(view_at(277), 1);
    EXPECT_EQ(view_at(278), 0);
    EXPECT_EQ(view_at(293), 0);
    EXPECT_EQ(view_at(547), 2);
    EXPECT_EQ(view_at(548), 0);
    EXPECT_EQ(view_at(563), 3);
    EXPECT_EQ(view_at(817), 3);
    EXPECT_EQ(view_at(818), 0);
    EXPECT_TRUE(in_view_rows(50) && in_view_rows(303) && !in_view_rows(49) && !in_view_rows(304));
    EXPECT_TRUE(in_strip_rows(313) && in_strip_rows(328) && !in_strip_rows(312) && !in_strip_rows(329));
    EXPECT_TRUE(on_results(419, 338) && on_results(818, 737));
    EXPECT_FALSE(on_results(418, 500) || on_results(819, 500) || on_results(600, 337) || on_results(600, 738));
}

TEST(Layout, HandleWindowsAreThoseThePressHasAlwaysUsed) {
    for (int c = -20; c <= 300; c++) {
        EXPECT_EQ(centre_hit_x0(1, c), c + 19);
        EXPECT_EQ(centre_hit_x1(1, c), c + 27);
        EXPECT_EQ(centre_hit_x0(2, c), c + 291);  // one pixel right of the others
        EXPECT_EQ(centre_hit_x1(2, c), c + 299);
        EXPECT_EQ(centre_hit_x0(3, c), c + 559);
        EXPECT_EQ(centre_hit_x1(3, c), c + 567);
        EXPECT_EQ(handle_hit_y0(c), 301 - c);
        EXPECT_EQ(handle_hit_y1(c), 309 - c);
        EXPECT_EQ(plane_hit_x0(c), c + 290);
        EXPECT_EQ(plane_hit_x1(c), c + 298);
    }
    const int want[3][2] = {{11, 12}, {13, 14}, {15, 16}};
    for (int n = 1; n <= 3; n++) {
        EXPECT_EQ(slice_step_id(n, false), want[n - 1][0]);
        EXPECT_EQ(slice_step_id(n, true), want[n - 1][1]);
    }
}

TEST(Layout, LetterPopUpsCarryTheirLetters) {
    const char* names[4] = {"A", "S", "I", "L"};
    for (int n = 0; n < 4; n++) EXPECT_STREQ(LETTER_TEXT[n], names[n]);
}

TEST(Layout, MainTemplateHoldsEveryControlOnceWithItsDialogUnitsAndText) {
    struct Row {
        int id;
        CtlKind kind;
        int x, y, w, h;
        const char* text;
    };
    // The main window's controls, in the template's order.
    const Row rows[] = {
        {1, CTL_PICTURE, 10, 20, 0, 0, ""},           {2, CTL_PICTURE, 130, 20, 0, 0, ""},
        {3, CTL_PICTURE, 250, 20, 0, 0, ""},          {7, CTL_LABEL, 10, 9, 70, 10, ""},
        {8, CTL_LABEL, 130, 9, 70, 10, ""},           {9, CTL_LABEL, 250, 9, 45, 10, ""},
        {42, CTL_BUTTON, 113, 7, 10, 10, "C"},        {43, CTL_BUTTON, 233, 7, 10, 10, "C"},
        {39, CTL_BUTTON, 323, 7, 10, 10, "A"},        {26, CTL_BUTTON, 338, 7, 10, 10, "P"},
        {44, CTL_BUTTON, 353, 7, 10, 10, "C"},        {48, CTL_PICTURE, 10, 125, 0, 0, ""},
        {47, CTL_PICTURE, 130, 125, 0, 0, ""},        {49, CTL_PICTURE, 250, 125, 0, 0, ""},
        {24, CTL_BUTTON, 10, 136, 55, 12, "Centrer volume"},
        {41, CTL_BUTTON, 68, 136, 55, 12, "Centrer axes"},
        {36, CTL_CHECKBOX, 136, 137, 40, 10, "Ombre"}, {10, CTL_BUTTON, 10, 153, 160, 15, "Ouvrir"},
        {0, CTL_LABEL, 10, 176, 25, 10, "Palette"},   {4, CTL_BUTTON, 40, 175, 10, 10, "<"},
        {5, CTL_BUTTON, 55, 175, 10, 10, ">"},        {60, CTL_PICTURE, 72, 175, 0, 0, ""},
        {0, CTL_LABEL, 10, 189, 25, 10, "Couleur"},   {37, CTL_BUTTON, 40, 188, 10, 10, "<"},
        {38, CTL_BUTTON, 55, 188, 10, 10, ">"},       {45, CTL_BUTTON, 10, 205, 160, 15, "R\xE9sultats"},
        {55, CTL_BUTTON, 10, 222, 40, 13, "Bull"},    {56, CTL_BUTTON, 50, 222, 40, 13, "Sect. (%)"},
        {59, CTL_BUTTON, 90, 222, 40, 13, "Score"},   {57, CTL_BUTTON, 130, 222, 40, 13, "Lat\xE9ral"},
        {61, CTL_BUTTON, 10, 240, 35, 13, "Aide"},    {51, CTL_LABEL_RIGHT, 50, 240, 120, 20, ""},
        {46, CTL_PICTURE, 186, 135, 0, 0, ""},        {54, CTL_LABEL, 10, 260, 160, 60, ""},
        {63, CTL_LABEL_RIGHT, 10, 295, 354, 5, ""},  // the stale-results line, ending under the results picture
    };
    const WindowTemplate& t = template_of(TPL_WIN);
    ASSERT_EQ(t.count, static_cast<int>(std::size(rows)));
    EXPECT_STREQ(t.caption, "  Vesmora");
    EXPECT_STREQ(t.font, "MS Sans Serif");
    EXPECT_EQ(t.font_points, 12);
    EXPECT_FALSE(t.popup);
    std::set<int> ids;
    for (int n = 0; n < t.count; n++) {
        const CtlTemplate& c = t.controls[n];
        EXPECT_EQ(c.id, rows[n].id) << n;
        EXPECT_EQ(c.kind, rows[n].kind) << n;
        EXPECT_EQ(c.x, rows[n].x) << n;
        EXPECT_EQ(c.y, rows[n].y) << n;
        EXPECT_EQ(c.w, rows[n].w) << n;
        EXPECT_EQ(c.h, rows[n].h) << n;
        EXPECT_STREQ(c.text, rows[n].text) << n;
        if (c.id != ID_NONE) {
            EXPECT_TRUE(ids.insert(c.id).second) << "id " << c.id << " twice";
            EXPECT_EQ(win_control(c.id), &c);
        }
    }
    EXPECT_EQ(win_control(ID_NONE), nullptr);
    EXPECT_EQ(win_control(ID_HLA_DOWN), nullptr);  // a wheel command, no control
}

TEST(Layout, PicturesSitAtTheirClientPlacesAndTheRestFollowDialogUnits) {
    auto rect = [](int id) { return client_rect_of(*win_control(id)); };
    auto same = [](PlatRect a, PlatRect b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    EXPECT_TRUE(same(rect(ID_VIEW_HLA), PlatRect{23, 50, 279, 306}));
    EXPECT_TRUE(same(rect(ID_VIEW_VLA), PlatRect{294, 50, 550, 306}));
    EXPECT_TRUE(same(rect(ID_VIEW_SA), PlatRect{563, 50, 819, 306}));
    EXPECT_TRUE(same(rect(ID_STRIP_HLA), PlatRect{23, 313, 279, 329}));
    EXPECT_TRUE(same(rect(ID_STRIP_VLA), PlatRect{294, 313, 550, 329}));
    EXPECT_TRUE(same(rect(ID_STRIP_SA), PlatRect{563, 313, 819, 329}));
    EXPECT_TRUE(same(rect(ID_RES_PICTURE), PlatRect{419, 338, 819, 738}));
    EXPECT_TRUE(same(rect(ID_PALETTE_BAR), PlatRect{162, 438, 382, 494}));
    // The stale-results line: the rows under the results picture to the client's bottom, from
    // the left column (whose patient block ends higher) to the picture's right edge.
    EXPECT_TRUE(same(rect(ID_STALE_LINE), PlatRect{23, 738, 820, 751}));
    // Dialog units: x * 2.25 and y * 2.5, rounded half up ("Ouvrir": 10, 153, 160, 15).
    EXPECT_TRUE(same(rect(ID_OPEN), PlatRect{23, 383, 383, 421}));
    EXPECT_EQ(du_x(1), 2);
    EXPECT_EQ(du_x(2), 5);  // 4.5 rounds up
    EXPECT_EQ(du_y(1), 3);  // 2.5 rounds up
    // Every picture lies inside the client area the start size leaves.
    for (const CtlTemplate& c : WIN_CONTROLS) {
        if (c.kind != CTL_PICTURE) continue;
        const PlatRect r = client_rect_of(c);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= CLIENT_WIDTH && r.bottom <= CLIENT_HEIGHT) << c.id;
    }
}

TEST(Layout, PopUpTemplatesCarryOneCentredLabelEach) {
    const WindowTemplate& d3 = template_of(TPL_D3WIN);
    EXPECT_TRUE(d3.popup);
    EXPECT_STREQ(d3.font, "Arial");
    EXPECT_EQ(d3.font_points, 5);
    ASSERT_EQ(d3.count, 1);
    EXPECT_EQ(d3.controls[0].id, 58);
    EXPECT_EQ(d3.controls[0].kind, CTL_LABEL_CENTRED);
    EXPECT_EQ(d3.controls[0].w, 8);
    EXPECT_EQ(d3.controls[0].h, 8);
    const WindowTemplate& sect = template_of(TPL_SECTWIN);
    EXPECT_TRUE(sect.popup);
    EXPECT_EQ(sect.font_points, 8);
    ASSERT_EQ(sect.count, 1);
    EXPECT_EQ(sect.controls[0].id, 40);
    EXPECT_EQ(sect.controls[0].w, 24);
    EXPECT_EQ(sect.controls[0].h, 8);
    EXPECT_STREQ(sect.controls[0].text, "100 %");
}

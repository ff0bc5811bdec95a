// Commands and start-up details: what is drawn at once, what waits for the next
// correction, and the pop-ups made at start-up.
#include "shell_fixture.h"

#include <vector>

#include "Main_Wnd_Proc.h"

namespace {

// Pixel (x, y) of a 256-wide picture as handed over, y counted from the lowest line: blue, green, red.
const unsigned char* shown_pixel(HWND_ control, int x, int y) {
    return &headless::image_of(control)->pixels[(y * 256 + x) * 3];
}

}  // namespace

// The bounds follow "P" at once (they waited for the next correction, so "Résultats" scored
// bounds that were not the model drawn); the plane itself stays unchecked until then.
TEST_F(Shell, BasePlaneIsDrawnAtOnceAndTheSectorBoundsFollowIt) {
    as_if_loaded();
    command(ID_PLACE_MODEL);
    ASSERT_EQ(sect_i[0], 128);
    Nsa = 5;
    command(ID_BASE_PLANE);
    // The volume is empty (black): the plane's row in view 1 is the mark colour 0.
    const unsigned char* px = shown_pixel(STATIChla, 128, 5);
    EXPECT_EQ(px[0], 250);
    EXPECT_EQ(px[1], 250);
    EXPECT_EQ(px[2], 250);
    EXPECT_EQ(sect_i[0], 5);
    EXPECT_EQ(sect_i[3], apex_i);  // the apex stays where it was
    command(ID_SA_DOWN);  // the next correction brings the plane within its limits
    EXPECT_EQ(plan_i, 12);
    EXPECT_EQ(sect_i[0], 12);
}

TEST_F(Shell, StripPressRedrawsItsStripBeforeAnyLoad) {
    const std::vector<unsigned char> before = headless::image_of(STATICsvla)->pixels;
    press(300, 320);
    ASSERT_EQ(Nvla, 6);
    const std::vector<unsigned char>& after = headless::image_of(STATICsvla)->pixels;
    EXPECT_NE(after, before);
    // The marker now stands at column 6 in every row.
    for (int y = 0; y < 16; y++) EXPECT_EQ(after[(y * 256 + 6) * 3], 250) << y;
}

TEST_F(Shell, StartUpPaintsEachSectorLabelOnceAndOwnsEveryPopUpByTheWindow) {
    for (int n = 1; n <= 17; n++) {
        EXPECT_EQ(winsect[n]->paints, 1) << n;
        EXPECT_EQ(winsect[n]->tpl, TPL_SECTWIN) << n;
        EXPECT_EQ(winsect[n]->proc, &NullProc) << n;
    }
    for (HWND_ w : {d3_A, d3_S, d3_I, d3_L}) {
        EXPECT_EQ(w->owner, WINDOW);
        EXPECT_EQ(w->tpl, TPL_D3WIN);
        EXPECT_EQ(w->proc, &NullProc);
        EXPECT_EQ(w->rect.bottom - w->rect.top, 10);
    }
    EXPECT_EQ(WINDOW->proc, &MainWndProc);
    EXPECT_TRUE(WINDOW->icon);
    EXPECT_GE(WINDOW->paints, 1);
}

TEST_F(Shell, ResultButtonsLeaveThePictureAloneBeforeResults) {
    as_if_loaded();
    const PlatBitmap_* before = headless::image_of(STATICres);
    for (int id : {ID_SHOW_BULL, ID_SHOW_SECTORS, ID_SHOW_SCORES, ID_SHOW_LATERAL}) command(id);
    EXPECT_EQ(headless::image_of(STATICres), before);  // not even redrawn
    EXPECT_EQ(RES_DISP, 0);
}

TEST_F(Shell, CancelledOpenChangesAndDrawsNothing) {
    const std::size_t made = headless::state().bitmaps.size();
    headless::queue_open_cancel();
    command(ID_OPEN);
    EXPECT_EQ(headless::state().open_requests.size(), 1u);
    EXPECT_EQ(load_ok, 0);
    EXPECT_EQ(headless::state().bitmaps.size(), made);
    EXPECT_EQ(WINDOW->caption, "  Vesmora");
}

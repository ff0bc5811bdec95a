// The buttons of the main window, the refresh, moving and closing.
#include "shell_fixture.h"

#include <cstring>

namespace {

struct Model {
    int v[17];
    static Model now() {
        return Model{{Nhla, Nvla, Nsa, ell_ci, ell_cj, ell_ck, ell_ri, ell_rj, ell_rk, ill_ci, ill_cj, ill_ck, plan_i,
                      apex_i, ell_ok, sect_i[1], RES_DISP}};
    }
    bool operator==(const Model& o) const { return std::memcmp(v, o.v, sizeof v) == 0; }
};

bool all_popups_hidden() {
    for (HWND_ w : {d3_A, d3_S, d3_I, d3_L})
        if (w->visible) return false;
    for (int n = 1; n <= 17; n++)
        if (winsect[n]->visible) return false;
    return true;
}

}  // namespace

TEST_F(Shell, StartsWithTheWindowPlacedTextsSetAndPopUpsHidden) {
    // Every place and size as layout.h gives it (its numbers: test_layout.cpp).
    EXPECT_TRUE(WINDOW->visible);
    EXPECT_EQ(rect(WINDOW).left, WIN_LEFT);
    EXPECT_EQ(rect(WINDOW).top, WIN_TOP);
    EXPECT_EQ(rect(WINDOW).right - rect(WINDOW).left, WIN_WIDTH);
    EXPECT_EQ(rect(WINDOW).bottom - rect(WINDOW).top, WIN_HEIGHT);
    EXPECT_EQ(headless::control(WINDOW, ID_SHADOW)->checked, 1);
    EXPECT_EQ(text(ID_TITLE_HLA), "Grand Axe Horizontal");
    EXPECT_EQ(text(ID_TITLE_VLA), "Grand Axe Vertical");
    EXPECT_EQ(text(ID_TITLE_SA), "Petit Axe");
    EXPECT_EQ(text(ID_PATIENT), "Infos patient\n");
    EXPECT_EQ(WINDOW->caption, "  Vesmora");
    EXPECT_TRUE(all_popups_hidden());
    const HWND_ letters[4] = {d3_A, d3_S, d3_I, d3_L};
    for (int n = 0; n < 4; n++) {
        EXPECT_EQ(rect(letters[n]).left, WIN_LEFT + LETTER_DX[n]) << n;
        EXPECT_EQ(rect(letters[n]).top, WIN_TOP + LETTER_DY[n]) << n;
        EXPECT_EQ(rect(letters[n]).right - rect(letters[n]).left, LETTER_SIZE);
        EXPECT_EQ(headless::text_of(letters[n], ID_LETTER), LETTER_TEXT[n]);
    }
    EXPECT_EQ(headless::text_of(d3_I, ID_LETTER), "I");
    for (int n = 1; n <= 17; n++) {
        EXPECT_EQ(rect(winsect[n]).left, WIN_LEFT + SECT_LABEL_DX + sectposi[n]) << n;
        EXPECT_EQ(rect(winsect[n]).top, WIN_TOP + SECT_LABEL_DY + sectposj[n]) << n;
        EXPECT_EQ(rect(winsect[n]).right - rect(winsect[n]).left, SECT_LABEL_W);
        EXPECT_EQ(rect(winsect[n]).bottom - rect(winsect[n]).top, SECT_LABEL_H);
        EXPECT_EQ(winsect[n]->owner, WINDOW);
    }
    EXPECT_EQ(headless::state().focus, WINDOW);
    EXPECT_EQ(STATICres, headless::control(WINDOW, ID_RES_PICTURE));
    EXPECT_EQ(STATICshla, headless::control(WINDOW, ID_STRIP_HLA));
    EXPECT_EQ(STATICsvla, headless::control(WINDOW, ID_STRIP_VLA));
}

TEST_F(Shell, PaletteAndColourButtonsWrapAround) {
    command(ID_PALETTE_PREV);
    EXPECT_EQ(palet, 15);
    command(ID_PALETTE_NEXT);
    EXPECT_EQ(palet, 0);
    palet = 14;
    command(ID_PALETTE_NEXT);
    command(ID_PALETTE_NEXT);
    EXPECT_EQ(palet, 0);
    command(ID_COLOUR_PREV);
    EXPECT_EQ(couleur, 5);
    command(ID_COLOUR_NEXT);
    EXPECT_EQ(couleur, 0);
    couleur = 4;
    command(ID_COLOUR_NEXT);
    EXPECT_EQ(couleur, 5);
}

TEST_F(Shell, ModelCommandsAndWheelDoNothingBeforeALoad) {
    const Model before = Model::now();
    for (int id : {ID_PLACE_MODEL, ID_CENTRE_AXES, ID_CENTRE_HLA, ID_CENTRE_VLA, ID_CENTRE_SA, ID_APEX, ID_BASE_PLANE,
                   ID_HLA_DOWN, ID_HLA_UP, ID_VLA_DOWN, ID_VLA_UP, ID_SA_DOWN, ID_SA_UP})
        command(id);
    wheel(100, 100, -120);
    wheel(400, 100, 120);
    wheel(700, 100, 120);
    EXPECT_TRUE(Model::now() == before);
}

TEST_F(Shell, ResultButtonsDoNothingBeforeResults) {
    as_if_loaded();
    for (int id : {ID_SHOW_BULL, ID_SHOW_SECTORS, ID_SHOW_SCORES, ID_SHOW_LATERAL}) command(id);
    EXPECT_EQ(RES_DISP, 0);
    EXPECT_TRUE(all_popups_hidden());
}

TEST_F(Shell, FirstCentringPlacesEverythingASecondOnlyTheOuterCentre) {
    as_if_loaded();
    command(ID_PLACE_MODEL);
    EXPECT_EQ(ell_ok, 1);
    EXPECT_EQ(plan_i, 128);
    EXPECT_EQ(ell_ci, 128);
    EXPECT_EQ(ell_cj, 128);
    EXPECT_EQ(ell_ck, 128);
    EXPECT_EQ(ill_ci, 128);
    EXPECT_EQ(ill_cj, 128);
    EXPECT_EQ(ill_ck, 128);
    EXPECT_EQ(apex_i, 128 + 60);  // three quarters of the 80 voxels to the tip

    Nsa = 100, Nvla = 90, Nhla = 140;
    command(ID_PLACE_MODEL);
    EXPECT_EQ(ell_ci, 100);
    EXPECT_EQ(ell_cj, 90);
    EXPECT_EQ(ell_ck, 140);
    EXPECT_EQ(plan_i, 128);   // stays
    EXPECT_EQ(ill_ci, 128);   // stays
    EXPECT_EQ(ill_cj, 90);    // follows the outer centre
    EXPECT_EQ(ill_ck, 140);
    EXPECT_EQ(ell_ri, 80);
}

TEST_F(Shell, BasePlaneTakesTheSliceUncheckedUntilTheNextCorrection) {
    as_if_loaded();
    command(ID_PLACE_MODEL);
    Nsa = 5;
    command(ID_BASE_PLANE);
    EXPECT_EQ(plan_i, 5);
    command(ID_SA_UP);  // any correction of the limits
    EXPECT_EQ(plan_i, 12);
}

TEST_F(Shell, ApexPutByHandLastsUntilTheNextDerivation) {
    as_if_loaded();
    command(ID_PLACE_MODEL);
    Nsa = 170, Nvla = 20, Nhla = 30;
    command(ID_APEX);
    EXPECT_EQ(apex_i, 170);
    EXPECT_EQ(Nvla, ell_cj);
    EXPECT_EQ(Nhla, ell_ck);
    EXPECT_EQ(sect_i[3], 170);
    wheel(700, 100, 120);  // wheel: no derivation
    command(ID_CENTRE_AXES);           // "Centrer axes": none either
    EXPECT_EQ(apex_i, 170);
    command(ID_CENTRE_SA);  // "C": derives it again
    EXPECT_EQ(apex_i, plan_i + (ell_ri + ell_ci - plan_i) * 3 / 4);
}

TEST_F(Shell, LateralShowsTheLettersScoreTheLabels) {
    as_if_loaded();
    res_ok = 1;
    command(ID_SHOW_LATERAL);
    EXPECT_EQ(RES_DISP, 2);
    for (HWND_ w : {d3_A, d3_S, d3_I, d3_L}) EXPECT_TRUE(w->visible);
    for (int n = 1; n <= 17; n++) EXPECT_FALSE(winsect[n]->visible);
    EXPECT_EQ(headless::state().focus, WINDOW);
    command(ID_SHOW_SCORES);
    EXPECT_EQ(RES_DISP, 12);
    for (HWND_ w : {d3_A, d3_S, d3_I, d3_L}) EXPECT_FALSE(w->visible);
    for (int n = 1; n <= 17; n++) EXPECT_TRUE(winsect[n]->visible);
    command(ID_SHOW_SECTORS);
    EXPECT_EQ(RES_DISP, 1);
    command(ID_SHOW_BULL);
    EXPECT_EQ(RES_DISP, 0);
    EXPECT_TRUE(all_popups_hidden());
}

TEST_F(Shell, MovingTheWindowMovesEveryPopUpShownOrHidden) {
    res_ok = 1;
    command(ID_SHOW_SECTORS);  // labels shown, letters hidden
    PlatRect a0 = rect(d3_A), s7 = rect(winsect[7]);
    plat_set_window_pos(WINDOW, WIN_LEFT + 100, WIN_TOP, WIN_WIDTH, WIN_HEIGHT);
    plat_send_message(WINDOW, VM_MOVE, 0, 0);
    EXPECT_EQ(rect(d3_A).left, a0.left + 100);
    EXPECT_EQ(rect(d3_A).top, a0.top);
    EXPECT_EQ(rect(winsect[7]).left, s7.left + 100);
    EXPECT_FALSE(d3_A->visible);
    EXPECT_TRUE(winsect[7]->visible);
}

TEST_F(Shell, ClickOnASectorLabelPutsThePopUpsBackAndTheFocusOnTheWindow) {
    plat_set_window_pos(WINDOW, 200, 100, WIN_WIDTH, WIN_HEIGHT);  // moved, no move message yet
    plat_set_focus(nullptr);
    plat_send_message(winsect[3], VM_LBUTTONDOWN, 0, 0);
    EXPECT_EQ(rect(winsect[3]).left, 200 + SECT_LABEL_DX + sectposi[3]);
    EXPECT_EQ(rect(winsect[3]).top, 100 + SECT_LABEL_DY + sectposj[3]);
    EXPECT_EQ(rect(d3_S).left, 200 + LETTER_DX[1]);
    EXPECT_EQ(headless::state().focus, WINDOW);
}

TEST_F(Shell, HelpAsksTheDesktopToOpenAideBesideTheProgramAndShowsNothing) {
    const std::size_t boxes = headless::state().boxes.size();
    command(ID_HELP);
    ASSERT_EQ(headless::state().shell_opens.size(), 1u);
    EXPECT_EQ(headless::state().shell_opens[0], dir.str() + "/Aide.pdf");
    EXPECT_EQ(headless::state().boxes.size(), boxes);
}

TEST_F(Shell, ShadowBoxFollowsItsTickAndIsRefreshed) {
    headless::toggle_check(WINDOW, 36);
    command(ID_SHADOW);
    EXPECT_EQ(set_ombre, 0);
    EXPECT_EQ(headless::control(WINDOW, ID_SHADOW)->checked, 0);
    headless::toggle_check(WINDOW, 36);
    command(ID_SHADOW);
    EXPECT_EQ(set_ombre, 1);
}

TEST_F(Shell, ClosingTwiceReleasesOnceAndLaterMessagesTouchNothing) {
    plat_send_message(WINDOW, VM_CLOSE, 0, 0);
    EXPECT_EQ(chaine, nullptr);
    EXPECT_EQ(BMPhla, nullptr);
    EXPECT_EQ(BMPvla, nullptr);
    EXPECT_EQ(BMPsa, nullptr);
    EXPECT_TRUE(headless::state().quit_posted);
    EXPECT_EQ(headless::state().quit_code, 0);
    plat_send_message(WINDOW, VM_DESTROY, 0, 0);  // a second release would be a double free
    // Messages still queued after the close must not draw or format into released buffers.
    res_ok = 1;
    move(500, 500);
    press(100, 100);
    command(ID_RESULTS);
    command(ID_PALETTE_PREV);
    wheel(100, 100, 120);
    EXPECT_EQ(chaine, nullptr);
}

TEST_F(Shell, ResultsBeforeAnyLoadRunSafely) {
    command(ID_RESULTS);
    EXPECT_EQ(res_ok, 0);  // nothing to evaluate: an information box says so
    EXPECT_EQ(headless::state().boxes.back().icon, ICON_INFORMATION);
    for (int n = 1; n <= 17; n++) EXPECT_EQ(SECTEUR[n], 0.0f) << n;
}

TEST_F(Shell, StartsWithBlackViewsAndResultsAndDrawnStripsAndPaletteBar) {
    for (HWND_ view : {STATIChla, STATICvla, STATICsa, STATICres}) {
        const PlatBitmap_* b = headless::image_of(view);
        ASSERT_NE(b, nullptr);
        for (unsigned char c : b->pixels) ASSERT_EQ(c, 0);
    }
    EXPECT_EQ(headless::image_of(STATICres)->width, 400);
    for (HWND_ strip : {STATICshla, STATICsvla, STATICssa}) {
        const PlatBitmap_* b = headless::image_of(strip);
        ASSERT_NE(b, nullptr);
        ASSERT_EQ(b->height, 16);
        // Marker at slice 128: blue 250, green 100, red 100 in every row.
        for (int y = 0; y < 16; y++) {
            const unsigned char* px = &b->pixels[(y * 256 + 128) * 3];
            EXPECT_EQ(px[0], 250);
            EXPECT_EQ(px[1], 100);
            EXPECT_EQ(px[2], 100);
        }
    }
    const PlatBitmap_* bar = headless::image_of(STATICpal);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->width, 220);
    EXPECT_EQ(headless::state().live_bitmaps, 8);  // one per picture
}

TEST_F(Shell, ColourStepRedrawsEveryPictureKeepingOneBitmapEach) {
    const PlatBitmap_* bar = headless::image_of(STATICpal);
    const std::vector<unsigned char> before = bar->pixels;
    command(ID_PALETTE_NEXT);
    EXPECT_NE(headless::image_of(STATICpal)->pixels, before);
    command(ID_COLOUR_NEXT);
    EXPECT_EQ(headless::state().live_bitmaps, 8);
}

// Pointer, buttons and wheel over the views, strips and results picture.
#include "shell_fixture.h"

namespace {

void placed_model() {
    load_ok = 1;
    RAP = 1;
    Nhla = Nvla = Nsa = 128;
    ell_ri = 80, ell_rj = 50, ell_rk = 50;
    ill_ri = 30, ill_rj = 20, ill_rk = 20;
    plan_i = ill_ci = ell_ci = 128;
    ell_cj = ell_ck = ill_cj = ill_ck = 128;
    ell_ok = 1;
}

}  // namespace

TEST_F(Shell, OuterCentreIsTakenWithinFourPixelsAndASemiAxisDragBeyond) {
    placed_model();
    // View 1 shows the outer centre at x = ell_cj + VIEW_X0[0], y = view_row_of_coord(ell_ci).
    press(151 + 4, 177);
    EXPECT_EQ(set_centre[0], 1);
    EXPECT_EQ(lbutt[0], 1);
    release(151 + 4, 177);
    EXPECT_EQ(set_centre[0], 0);
    EXPECT_EQ(lbutt[0], 0);
    press(151 + 5, 177);
    EXPECT_EQ(set_centre[0], 0);
    EXPECT_EQ(lbutt[0], 1);
    move(151 + 5 + 10, 177);
    EXPECT_EQ(ell_rj, 55);
}

TEST_F(Shell, BasePlaneIsTakenAtTheEndsOfItsLineOnly) {
    placed_model();
    plan_i = 100;  // line at y = 205 in view 1
    press(25, 205);
    EXPECT_EQ(set_plan[0], 1);
    press(150, 205);
    EXPECT_EQ(set_plan[0], 0);
    EXPECT_EQ(set_centre[0], 0);
    EXPECT_EQ(lbutt[0], 1);
    // View 2: the plane is the column x = plan_i + VIEW_X0[1], taken near its top or bottom.
    press(394, 53);
    EXPECT_EQ(set_plan[1], 1);
    move(400, 53);
    EXPECT_EQ(plan_i, 106);
}

TEST_F(Shell, SemiAxisDragFollowsHalfTheTravelAndComesBackToItsStart) {
    placed_model();
    press(700, 100);  // view 3, away from both centres
    move(710, 90);    // 10 right, 10 up
    EXPECT_EQ(ell_rj, 55);
    EXPECT_EQ(ell_rk, 55);
    move(697, 100);  // 3 left of the press
    EXPECT_EQ(ell_rj, 49);
    EXPECT_EQ(ell_rk, 50);
    move(700, 100);
    EXPECT_EQ(ell_rj, 50);
    EXPECT_EQ(ell_rk, 50);
}

TEST_F(Shell, OuterCentreDraggedInViewTwoJumpsToThePointer) {
    placed_model();
    press(VIEW_X0[1] + 128, view_row_of_coord(128));
    ASSERT_EQ(set_centre[1], 1);
    move(394, 205);
    EXPECT_EQ(ell_ci, 100);
    EXPECT_EQ(ell_ck, 100);
    EXPECT_EQ(apex_i, plan_i + (ell_ri + ell_ci - plan_i) * 3 / 4);
}

TEST_F(Shell, InnerCentreDragMovesOnlyItsLevelOnTheLongAxis) {
    placed_model();
    rpress(VIEW_X0[2] + 128, view_row_of_coord(128));  // view 3
    ASSERT_EQ(set_centri[2], 1);
    move(700, 150);
    EXPECT_EQ(ill_cj, ell_cj);  // j and k always follow the outer centre
    EXPECT_EQ(ill_ck, ell_ck);
    rpress(VIEW_X0[0] + 128, view_row_of_coord(128));  // view 1
    ASSERT_EQ(set_centri[0], 1);
    move(170, 155);
    EXPECT_EQ(ill_ci, 150);
    EXPECT_EQ(ill_cj, ell_cj);
}

TEST_F(Shell, StripChoosesTheSliceEvenBeforeALoadAndFollowsOnlyInsideItsBand) {
    press(300, 320);
    EXPECT_EQ(slide[1], 1);
    EXPECT_EQ(Nvla, 6);
    move(310, 400);  // out of the band: nothing
    EXPECT_EQ(Nvla, 6);
    move(320, 315);
    EXPECT_EQ(Nvla, 26);
    move(100, 315);  // over strip 1 while dragging strip 2: nothing
    EXPECT_EQ(Nhla, 128);
    EXPECT_EQ(Nvla, 26);
}

TEST_F(Shell, HoverReadsTheBullsEyeRoundedAndTheMapsRowsFromTheBottom) {
    res_ok = 1;
    RES_DISP = 0;
    BULL[0 * 400 + 10] = 57.5f;
    BULL[399 * 400 + 10] = 12.4f;
    move(RES_X0 + 10, RES_Y1);
    EXPECT_EQ(text(ID_HOVER), "Fixation : 58 %");
    move(RES_X0 + 10, RES_Y0);
    EXPECT_EQ(text(ID_HOVER), "Fixation : 12 %");
    move(400, 600);  // off the picture
    EXPECT_EQ(text(ID_HOVER), "");
}

TEST_F(Shell, HoverNamesTheSectorWithItsScoreAndRoundedPercentage) {
    res_ok = 1;
    RES_DISP = 1;
    mesh_sect[100 * 400 + 50] = 3;
    mesh_sect[100 * 400 + 51] = 1;
    mesh_sect[100 * 400 + 52] = 0;
    SCORE[3] = 2;
    SECTEUR[3] = 57.6f;
    SCORE[1] = 0;
    SECTEUR[1] = 99.999f;
    move(RES_X0 + 50, RES_Y1 - 100);
    EXPECT_EQ(text(ID_HOVER), "Secteur 3 (Basal - inferoseptal)\nScore 2  ( 58 % )");
    RES_DISP = 12;
    move(RES_X0 + 51, RES_Y1 - 100);
    EXPECT_EQ(text(ID_HOVER), "Secteur 1 (Basal - anterior)\nScore 0 ( 100 % )");
    move(RES_X0 + 52, RES_Y1 - 100);
    EXPECT_EQ(text(ID_HOVER), "");
    res_ok = 0;
    move(RES_X0 + 50, RES_Y1 - 100);
    EXPECT_EQ(text(ID_HOVER), "");
}

TEST_F(Shell, LateralViewTurnsByOneStepPerFivePixelsOfDrag) {
    res_ok = 1;
    RES_DISP = 2;
    res3D_ang = 8;
    press(600, 500);
    EXPECT_EQ(res_rot, 1);
    move(600, 512);
    EXPECT_EQ(res3D_ang, 6);
    EXPECT_EQ(text(ID_HOVER), "");
    move(600, 488);
    EXPECT_EQ(res3D_ang, 10);
    move(600, 500 + 5 * 20);  // no wrap while dragging
    EXPECT_EQ(res3D_ang, -12);
}

TEST_F(Shell, WheelOverTheResultsTurnsWithATruncatingRemainder) {
    res3D_ang = 31;
    wheel(600, 500, 120);
    EXPECT_EQ(res3D_ang, 0);
    wheel(600, 500, -120);
    EXPECT_EQ(res3D_ang, 31);
    res3D_ang = -5;
    wheel(600, 500, 120);
    EXPECT_EQ(res3D_ang, -4);
    res3D_ang = 3;
    wheel(600, 500, 3 * 120);  // several notches step once
    EXPECT_EQ(res3D_ang, 4);
}

TEST_F(Shell, WheelOverAViewStepsItsSliceOnlyAfterALoad) {
    wheel(400, 100, -120);
    EXPECT_EQ(Nvla, 128);
    placed_model();
    wheel(400, 100, -120);
    EXPECT_EQ(Nvla, 127);
    wheel(100, 100, 120);
    EXPECT_EQ(Nhla, 129);
    wheel(700, 100, -240);
    EXPECT_EQ(Nsa, 127);
    // After the window moved, the screen point is converted from its new place.
    plat_set_window_pos(WINDOW, 300, 200, WIN_WIDTH, WIN_HEIGHT);
    wheel(700, 100, 120);
    EXPECT_EQ(Nsa, 128);
}

TEST_F(Shell, ViewDragNeedsTheButtonToHaveGoneDownInThatSameView) {
    placed_model();
    press(100, 100);  // view 1
    move(400, 100);   // over view 2
    EXPECT_EQ(ell_ri, 80);
    EXPECT_EQ(ell_rk, 50);
}

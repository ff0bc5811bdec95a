// The inclusive bounds of every hit area and handle, the drag rules of each view,
// the wheel's screen-to-client conversion and the pop-up clicks.
#include "shell_fixture.h"

namespace {

// A volume "loaded" and a model placed with distinct values on every axis, so a
// rule reading the wrong axis shows.
void distinct_model() {
    load_ok = 1;
    ell_ok = 1;
    RAP = 1;
    Nhla = Nvla = Nsa = 128;
    ell_ci = 100, ell_cj = 120, ell_ck = 140;
    ell_ri = 80, ell_rj = 50, ell_rk = 40;
    ill_ci = 110, ill_cj = 120, ill_ck = 140;
    ill_ri = 30, ill_rj = 20, ill_rk = 16;
    plan_i = 60;
}

int flags_down() {
    int n = 0;
    for (int v = 0; v < 3; v++) n += lbutt[v] + rbutt[v] + slide[v] + set_centre[v] + set_centri[v];
    return n + set_plan[0] + set_plan[1] + res_rot;
}

}  // namespace

TEST_F(Shell, ViewStripAndResultsAreasIncludeBothBounds) {
    struct Case {
        int x, y;
        int* flag;  // null: nothing may be taken
    };
    // The numbers behind these names are pinned by the layout test.
    const int* X0 = VIEW_X0;
    const int* X1 = VIEW_HIT_X1;
    const int S0 = STRIP_Y0, S1 = STRIP_HIT_Y1;
    const Case cases[] = {
        {X0[0], VIEW_Y0, &lbutt[0]},  {X1[0], VIEW_HIT_Y1, &lbutt[0]}, {X0[0] - 1, 100, nullptr},
        {X1[0] + 1, 100, nullptr},    {100, VIEW_Y0 - 1, nullptr},     {100, VIEW_HIT_Y1 + 1, nullptr},
        {X0[1], VIEW_Y0, &lbutt[1]},  {X1[1], VIEW_HIT_Y1, &lbutt[1]}, {X0[1] - 1, 100, nullptr},
        {X1[1] + 1, 100, nullptr},    {X0[2], VIEW_Y0, &lbutt[2]},     {X1[2], VIEW_HIT_Y1, &lbutt[2]},
        {X0[2] - 1, 100, nullptr},    {X1[2] + 1, 100, nullptr},       {X0[0], S0, &slide[0]},
        {X1[0], S1, &slide[0]},       {X0[1], S0, &slide[1]},          {X1[1], S1, &slide[1]},
        {X0[2], S0, &slide[2]},       {X1[2], S1, &slide[2]},          {100, S0 - 1, nullptr},
        {100, S1 + 1, nullptr},       {X1[0] + 1, 320, nullptr},       {X0[1] - 1, 320, nullptr},
        {X1[1] + 1, 320, nullptr},    {X0[2] - 1, 320, nullptr},       {X1[2] + 1, 320, nullptr},
        {RES_X0, RES_Y0, &res_rot},   {RES_X1, RES_Y1, &res_rot},      {RES_X0 - 1, 500, nullptr},
        {RES_X1 + 1, 500, nullptr},   {600, RES_Y0 - 1, nullptr},      {600, RES_Y1 + 1, nullptr},
    };
    distinct_model();  // no handle lies at any of these corners
    res_ok = 1;
    RES_DISP = 2;  // a press on the results picture starts a turn
    for (const Case& c : cases) {
        press(c.x, c.y);
        if (c.flag) {
            EXPECT_EQ(*c.flag, 1) << c.x << ", " << c.y;
            EXPECT_EQ(flags_down(), 1) << c.x << ", " << c.y;
        } else {
            EXPECT_EQ(flags_down(), 0) << c.x << ", " << c.y;
        }
        release(c.x, c.y);
    }
    // The slice under the strip's last column is 254; the first is 0.
    press(VIEW_HIT_X1[0], 320);
    EXPECT_EQ(Nhla, 254);
    press(VIEW_X0[2], 320);
    EXPECT_EQ(Nsa, 0);
}

TEST_F(Shell, HandlesAreTakenWithinTheirWindowsBothBoundsIncluded) {
    distinct_model();
    // Each window spans 9 pixels in x and in y around the marker; in view 2 the
    // centre windows start 3 pixels left of the marker column and end 5 right of
    // it, one pixel to the right of the others (the layout test pins the numbers).
    struct Handle {
        bool right;
        int x0, x1, y0, y1;  // the window, bounds included
        int* flag;
    } handles[] = {
        // outer, view 1: ell_cj, ell_ci
        {false, centre_hit_x0(1, 120), centre_hit_x1(1, 120), handle_hit_y0(100), handle_hit_y1(100), &set_centre[0]},
        // view 2: ell_ci, ell_ck
        {false, centre_hit_x0(2, 100), centre_hit_x1(2, 100), handle_hit_y0(140), handle_hit_y1(140), &set_centre[1]},
        // view 3: ell_cj, ell_ck
        {false, centre_hit_x0(3, 120), centre_hit_x1(3, 120), handle_hit_y0(140), handle_hit_y1(140), &set_centre[2]},
        // inner, view 1: ill_cj, ill_ci
        {true, centre_hit_x0(1, 120), centre_hit_x1(1, 120), handle_hit_y0(110), handle_hit_y1(110), &set_centri[0]},
        // view 2: ill_ci, ill_ck
        {true, centre_hit_x0(2, 110), centre_hit_x1(2, 110), handle_hit_y0(140), handle_hit_y1(140), &set_centri[1]},
        // view 3: ill_cj, ill_ck
        {true, centre_hit_x0(3, 120), centre_hit_x1(3, 120), handle_hit_y0(140), handle_hit_y1(140), &set_centri[2]},
    };
    for (const Handle& h : handles) {
        const unsigned down = h.right ? VM_RBUTTONDOWN : VM_LBUTTONDOWN;
        const int xm = (h.x0 + h.x1) / 2, ym = (h.y0 + h.y1) / 2;
        for (int x : {h.x0, h.x1})
            for (int y : {h.y0, h.y1}) {
                mouse(down, x, y);
                EXPECT_EQ(*h.flag, 1) << x << ", " << y;
            }
        const int outside[][2] = {{h.x0 - 1, ym}, {h.x1 + 1, ym}, {xm, h.y0 - 1}, {xm, h.y1 + 1}};
        for (const auto& p : outside) {
            mouse(down, p[0], p[1]);
            EXPECT_EQ(*h.flag, 0) << p[0] << ", " << p[1];
        }
    }
}

TEST_F(Shell, BasePlaneIsTakenAtItsLineEndsWithinFourPixels) {
    distinct_model();
    plan_i = 60;  // view 1: the line y = 245; view 2: the column x = 354
    const int row = view_row_of_coord(plan_i), col = VIEW_X0[1] + plan_i;
    for (int x : {VIEW_X0[0], PLANE_END_X0, PLANE_END_X1, VIEW_HIT_X1[0]}) {
        for (int y : {row - HANDLE_REACH, row + HANDLE_REACH}) {
            press(x, y);
            EXPECT_EQ(set_plan[0], 1) << x << ", " << y;
        }
    }
    for (int x : {PLANE_END_X0 + 1, 150, PLANE_END_X1 - 1}) {
        press(x, row);
        EXPECT_EQ(set_plan[0], 0) << x;
    }
    press(VIEW_X0[0] + 2, row - HANDLE_REACH - 1);
    EXPECT_EQ(set_plan[0], 0);
    press(VIEW_X0[0] + 2, row + HANDLE_REACH + 1);
    EXPECT_EQ(set_plan[0], 0);

    for (int x : {col - HANDLE_REACH, col + HANDLE_REACH}) {
        for (int y : {VIEW_Y0, PLANE_END_Y0, PLANE_END_Y1, VIEW_HIT_Y1}) {
            press(x, y);
            EXPECT_EQ(set_plan[1], 1) << x << ", " << y;
        }
    }
    for (int y : {PLANE_END_Y0 + 1, 150, PLANE_END_Y1 - 1}) {
        press(col, y);
        EXPECT_EQ(set_plan[1], 0) << y;
    }
    press(col - HANDLE_REACH - 1, VIEW_Y0);
    EXPECT_EQ(set_plan[1], 0);
    press(col + HANDLE_REACH + 1, VIEW_Y0);
    EXPECT_EQ(set_plan[1], 0);
}

TEST_F(Shell, OuterCentreWinsOverTheBasePlaneWhereBothAreUnderThePointer) {
    distinct_model();
    ell_cj = 4;  // beyond the limits, set by hand: the centre window reaches x 23..31
    ell_ci = plan_i = 100;
    press(VIEW_X0[0] + 2, view_row_of_coord(100));
    EXPECT_EQ(set_centre[0], 1);
    EXPECT_EQ(set_plan[0], 0);
    distinct_model();
    ell_ci = plan_i = 100;
    ell_ck = 250;  // centre window y 51..59, overlapping the plane's upper end
    press(VIEW_X0[1] + 100, VIEW_Y0 + 3);
    EXPECT_EQ(set_centre[1], 1);
    EXPECT_EQ(set_plan[1], 0);
}

TEST_F(Shell, OuterCentreFollowsThePointerInViewsOneAndThree) {
    distinct_model();
    press(VIEW_X0[0] + 120, view_row_of_coord(100));
    move(VIEW_X0[0] + 90, view_row_of_coord(150));
    EXPECT_EQ(ell_ci, 150);
    EXPECT_EQ(ell_cj, 90);
    EXPECT_EQ(ell_ck, 140);
    release(0, 0);
    press(VIEW_X0[2] + 90, view_row_of_coord(140));
    move(VIEW_X0[2] + 200, view_row_of_coord(70));
    EXPECT_EQ(ell_cj, 200);
    EXPECT_EQ(ell_ck, 70);
    EXPECT_EQ(ell_ci, 150);
    EXPECT_EQ(ill_cj, 200);  // the inner centre follows on j and k
    EXPECT_EQ(ill_ck, 70);
}

TEST_F(Shell, SemiAxisDragsReadTheirOwnAxesInEachView) {
    distinct_model();
    press(60, 100);  // view 1, on no handle
    move(70, 90);    // 10 right, 10 up
    EXPECT_EQ(ell_rj, 55);
    EXPECT_EQ(ell_ri, 85);
    EXPECT_EQ(ell_rk, 40);
    release(70, 90);

    distinct_model();
    press(500, 100);  // view 2
    move(491, 107);   // 9 left, 7 down: halves cut toward zero
    EXPECT_EQ(ell_ri, 76);
    EXPECT_EQ(ell_rk, 37);
    EXPECT_EQ(ell_rj, 50);
    release(491, 107);

    distinct_model();
    rpress(60, 100);  // inner, view 1
    move(70, 80);
    EXPECT_EQ(ill_rj, 25);
    EXPECT_EQ(ill_ri, 40);
    mouse(VM_RBUTTONUP, 70, 80);

    distinct_model();
    rpress(500, 100);  // inner, view 2
    move(510, 110);
    EXPECT_EQ(ill_ri, 35);
    EXPECT_EQ(ill_rk, 11);
    mouse(VM_RBUTTONUP, 510, 110);

    distinct_model();
    rpress(700, 200);  // inner, view 3
    move(697, 197);
    EXPECT_EQ(ill_rj, 19);
    EXPECT_EQ(ill_rk, 17);
    EXPECT_EQ(ill_ri, 30);
}

TEST_F(Shell, InnerCentreInViewTwoMovesOnlyItsLevel) {
    distinct_model();
    rpress(VIEW_X0[1] + 110, view_row_of_coord(140));
    ASSERT_EQ(set_centri[1], 1);
    move(VIEW_X0[1] + 150, view_row_of_coord(100));
    EXPECT_EQ(ill_ci, 150);
    EXPECT_EQ(ill_ck, ell_ck);  // put back on the outer centre
}

TEST_F(Shell, RightButtonNeitherChoosesASliceNorTurnsTheLateralView) {
    res_ok = 1;
    RES_DISP = 2;
    rpress(300, 320);
    EXPECT_EQ(Nvla, 128);
    EXPECT_EQ(slide[1], 0);
    rpress(600, 500);
    EXPECT_EQ(res_rot, 0);
    move(600, 550);
    EXPECT_EQ(res3D_ang, 8);
}

TEST_F(Shell, AnyButtonMessageEndsTheDrag) {
    distinct_model();
    press(60, 100);
    rpress(600, 400);  // outside every view: only clears
    move(70, 90);
    EXPECT_EQ(ell_rj, 50);
    EXPECT_EQ(ill_rj, 20);
    press(300, 320);
    mouse(VM_RBUTTONUP, 0, 0);
    move(320, 320);
    EXPECT_EQ(Nvla, 6);
}

TEST_F(Shell, LateralTurnNeedsThePressOnTheResultsPictureInTheLateralView) {
    res_ok = 1;
    RES_DISP = 1;
    press(600, 500);
    EXPECT_EQ(res_rot, 0);
    RES_DISP = 2;
    press(600, 500);
    ASSERT_EQ(res_rot, 1);
    move(600, 509);  // 9 down: one step (cut toward zero)
    EXPECT_EQ(res3D_ang, 7);
    move(600, 491);  // 9 up from the press
    EXPECT_EQ(res3D_ang, 9);
    move(300, 491);  // off the picture: no turn
    EXPECT_EQ(res3D_ang, 9);
}

TEST_F(Shell, HoverReadsTheRightmostColumnAndClearsBeyondIt) {
    res_ok = 1;
    RES_DISP = 0;
    BULL[0 * 400 + 399] = 33.49f;
    move(RES_X1, RES_Y1);
    EXPECT_EQ(text(ID_HOVER), "Fixation : 33 %");
    move(RES_X1 + 1, RES_Y1);
    EXPECT_EQ(text(ID_HOVER), "");
    RES_DISP = 2;  // lateral: nothing to read
    move(RES_X1, RES_Y1);
    EXPECT_EQ(text(ID_HOVER), "");
}

TEST_F(Shell, WheelConvertsScreenPixelsAsSixteenBitDifferences) {
    distinct_model();
    // A window partly off the screen on the left and top: the screen point is negative.
    plat_set_window_pos(WINDOW, -500, -300, WIN_WIDTH, WIN_HEIGHT);
    wheel(400, 100, 120);  // client (400, 100) = screen (-97, -178)
    EXPECT_EQ(Nvla, 129);
    wheel(600, 500, -120);  // results picture
    EXPECT_EQ(res3D_ang, 7);
    // A zero turn does nothing anywhere.
    wheel(400, 100, 0);
    wheel(600, 500, 0);
    EXPECT_EQ(Nvla, 129);
    EXPECT_EQ(res3D_ang, 7);
    // The bounds of the view band and of the results picture are inclusive.
    wheel(VIEW_HIT_X1[1], VIEW_HIT_Y1, 120);
    EXPECT_EQ(Nvla, 130);
    wheel(VIEW_HIT_X1[1] + 1, VIEW_HIT_Y1, 120);
    wheel(VIEW_HIT_X1[1], VIEW_HIT_Y1 + 1, 120);
    EXPECT_EQ(Nvla, 130);
    wheel(RES_X1, RES_Y1, 120);
    EXPECT_EQ(res3D_ang, 8);
    wheel(RES_X1 + 1, RES_Y1, 120);
    EXPECT_EQ(res3D_ang, 8);
}

TEST_F(Shell, CommandIgnoresTheNotificationCodeInTheHighBits) {
    plat_send_message(WINDOW, VM_COMMAND, MAKE_PARAM(5, 1), 0);
    EXPECT_EQ(palet, 1);
}

TEST_F(Shell, MovingTheWindowMovesAllTwentyOnePopUps) {
    PlatRect before[22];
    HWND_ all[22] = {d3_A, d3_S, d3_I, d3_L};
    for (int n = 1; n <= 17; n++) all[3 + n] = winsect[n];
    for (int n = 0; n < 21; n++) before[n] = rect(all[n]);
    plat_set_window_pos(WINDOW, WIN_LEFT + 100, WIN_TOP, WIN_WIDTH, WIN_HEIGHT);
    plat_send_message(WINDOW, VM_MOVE, 0, 0);
    for (int n = 0; n < 21; n++) {
        EXPECT_EQ(rect(all[n]).left, before[n].left + 100) << n;
        EXPECT_EQ(rect(all[n]).top, before[n].top) << n;
        EXPECT_EQ(rect(all[n]).right - rect(all[n]).left, before[n].right - before[n].left) << n;
        EXPECT_FALSE(all[n]->visible) << n;
    }
}

TEST_F(Shell, RightClicksAndDoubleClicksOnAPopUpAlsoPutThemBack) {
    for (unsigned msg : {VM_RBUTTONDOWN, VM_LBUTTONDBLCLK, VM_RBUTTONDBLCLK}) {
        plat_set_window_pos(WINDOW, 10, 20, WIN_WIDTH, WIN_HEIGHT);
        plat_set_focus(nullptr);
        plat_send_message(d3_L, msg, 0, 0);
        EXPECT_EQ(rect(d3_L).left, 10 + LETTER_DX[3]) << msg;
        EXPECT_EQ(rect(d3_L).top, 20 + LETTER_DY[3]) << msg;
        EXPECT_EQ(headless::state().focus, WINDOW) << msg;
        plat_set_window_pos(WINDOW, WIN_LEFT, WIN_TOP, WIN_WIDTH, WIN_HEIGHT);
        plat_send_message(WINDOW, VM_MOVE, 0, 0);
    }
    // A button release or a move over a pop-up does nothing of the kind.
    plat_set_window_pos(WINDOW, 10, 20, WIN_WIDTH, WIN_HEIGHT);
    plat_send_message(d3_L, VM_LBUTTONUP, 0, 0);
    plat_send_message(d3_L, VM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(rect(d3_L).left, WIN_LEFT + LETTER_DX[3]);
}

TEST_F(Shell, SectorLabelsReadTheirTemplateTextUntilResultsAreShown) {
    for (int n = 1; n <= 17; n++) EXPECT_EQ(headless::text_of(winsect[n], ID_SECT_LABEL), "100 %") << n;
    EXPECT_EQ(headless::text_of(d3_S, ID_LETTER), "S");
}

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
    } cases[] = {
        {23, 50, &lbutt[0]},   {277, 303, &lbutt[0]}, {22, 100, nullptr},    {278, 100, nullptr},
        {100, 49, nullptr},    {100, 304, nullptr},   {294, 50, &lbutt[1]},  {547, 303, &lbutt[1]},
        {293, 100, nullptr},   {548, 100, nullptr},   {563, 50, &lbutt[2]},  {817, 303, &lbutt[2]},
        {562, 100, nullptr},   {818, 100, nullptr},   {23, 313, &slide[0]},  {277, 328, &slide[0]},
        {294, 313, &slide[1]}, {547, 328, &slide[1]}, {563, 313, &slide[2]}, {817, 328, &slide[2]},
        {100, 312, nullptr},   {100, 329, nullptr},   {278, 320, nullptr},   {293, 320, nullptr},
        {548, 320, nullptr},   {562, 320, nullptr},   {818, 320, nullptr},   {419, 338, &res_rot},
        {818, 737, &res_rot},  {418, 500, nullptr},   {819, 500, nullptr},   {600, 337, nullptr},
        {600, 738, nullptr},
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
    press(277, 320);
    EXPECT_EQ(Nhla, 254);
    press(563, 320);
    EXPECT_EQ(Nsa, 0);
}

TEST_F(Shell, HandlesAreTakenWithinTheirWindowsBothBoundsIncluded) {
    distinct_model();
    // Each window spans 9 pixels in x and in y around the marker; in view 2 the
    // centre windows start 3 pixels left of the marker column (x - 294) and end 5
    // right of it, one pixel to the right of the others.
    struct Handle {
        bool right;
        int x0, x1, y0, y1;  // the window, bounds included
        int* flag;
    } handles[] = {
        {false, 120 + 19, 120 + 27, 301 - 100, 309 - 100, &set_centre[0]},  // outer, view 1: ell_cj, ell_ci
        {false, 100 + 291, 100 + 299, 301 - 140, 309 - 140, &set_centre[1]},  // view 2: ell_ci, ell_ck
        {false, 120 + 559, 120 + 567, 301 - 140, 309 - 140, &set_centre[2]},  // view 3: ell_cj, ell_ck
        {true, 120 + 19, 120 + 27, 301 - 110, 309 - 110, &set_centri[0]},    // inner, view 1: ill_cj, ill_ci
        {true, 110 + 291, 110 + 299, 301 - 140, 309 - 140, &set_centri[1]},   // view 2: ill_ci, ill_ck
        {true, 120 + 559, 120 + 567, 301 - 140, 309 - 140, &set_centri[2]},   // view 3: ill_cj, ill_ck
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
    for (int x : {23, 29, 271, 277}) {
        for (int y : {241, 249}) {
            press(x, y);
            EXPECT_EQ(set_plan[0], 1) << x << ", " << y;
        }
    }
    for (int x : {30, 150, 270}) {
        press(x, 245);
        EXPECT_EQ(set_plan[0], 0) << x;
    }
    press(25, 240);
    EXPECT_EQ(set_plan[0], 0);
    press(25, 250);
    EXPECT_EQ(set_plan[0], 0);

    for (int x : {350, 358}) {
        for (int y : {50, 55, 297, 303}) {
            press(x, y);
            EXPECT_EQ(set_plan[1], 1) << x << ", " << y;
        }
    }
    for (int y : {56, 150, 296}) {
        press(354, y);
        EXPECT_EQ(set_plan[1], 0) << y;
    }
    press(349, 50);
    EXPECT_EQ(set_plan[1], 0);
    press(359, 50);
    EXPECT_EQ(set_plan[1], 0);
}

TEST_F(Shell, OuterCentreWinsOverTheBasePlaneWhereBothAreUnderThePointer) {
    distinct_model();
    ell_cj = 4;  // beyond the limits, set by hand: the centre window reaches x 23..31
    ell_ci = plan_i = 100;
    press(25, 205);
    EXPECT_EQ(set_centre[0], 1);
    EXPECT_EQ(set_plan[0], 0);
    distinct_model();
    ell_ci = plan_i = 100;
    ell_ck = 250;  // centre window y 51..59, overlapping the plane's upper end
    press(394, 53);
    EXPECT_EQ(set_centre[1], 1);
    EXPECT_EQ(set_plan[1], 0);
}

TEST_F(Shell, OuterCentreFollowsThePointerInViewsOneAndThree) {
    distinct_model();
    press(120 + 23, 305 - 100);
    move(90 + 23, 305 - 150);
    EXPECT_EQ(ell_ci, 150);
    EXPECT_EQ(ell_cj, 90);
    EXPECT_EQ(ell_ck, 140);
    release(0, 0);
    press(90 + 563, 305 - 140);
    move(200 + 563, 305 - 70);
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
    rpress(110 + 294, 305 - 140);
    ASSERT_EQ(set_centri[1], 1);
    move(150 + 294, 305 - 100);
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
    move(818, 737);
    EXPECT_EQ(text(51), "Fixation : 33 %");
    move(819, 737);
    EXPECT_EQ(text(51), "");
    RES_DISP = 2;  // lateral: nothing to read
    move(818, 737);
    EXPECT_EQ(text(51), "");
}

TEST_F(Shell, WheelConvertsScreenPixelsAsSixteenBitDifferences) {
    distinct_model();
    // A window partly off the screen on the left and top: the screen point is negative.
    plat_set_window_pos(WINDOW, -500, -300, 846, 776);
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
    wheel(547, 303, 120);
    EXPECT_EQ(Nvla, 130);
    wheel(548, 303, 120);
    wheel(547, 304, 120);
    EXPECT_EQ(Nvla, 130);
    wheel(818, 737, 120);
    EXPECT_EQ(res3D_ang, 8);
    wheel(819, 737, 120);
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
    plat_set_window_pos(WINDOW, 160, 30, 846, 776);
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
        plat_set_window_pos(WINDOW, 10, 20, 846, 776);
        plat_set_focus(nullptr);
        plat_send_message(d3_L, msg, 0, 0);
        EXPECT_EQ(rect(d3_L).left, 10 + 465) << msg;
        EXPECT_EQ(rect(d3_L).top, 20 + 555) << msg;
        EXPECT_EQ(headless::state().focus, WINDOW) << msg;
        plat_set_window_pos(WINDOW, 60, 30, 846, 776);
        plat_send_message(WINDOW, VM_MOVE, 0, 0);
    }
    // A button release or a move over a pop-up does nothing of the kind.
    plat_set_window_pos(WINDOW, 10, 20, 846, 776);
    plat_send_message(d3_L, VM_LBUTTONUP, 0, 0);
    plat_send_message(d3_L, VM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(rect(d3_L).left, 60 + 465);
}

TEST_F(Shell, SectorLabelsReadTheirTemplateTextUntilResultsAreShown) {
    for (int n = 1; n <= 17; n++) EXPECT_EQ(headless::text_of(winsect[n], 40), "100 %") << n;
    EXPECT_EQ(headless::text_of(d3_S, 58), "S");
}

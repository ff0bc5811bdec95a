// The result pictures: bull's-eye, sector percentages, scores and the lateral
// view, their grid and label texts, and the agreement of the drawing with the
// literal step-by-step baseline.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Display.h"
#include "headless.h"
#include "literal.h"
#include "main.h"
#include "pictures_support.h"
#include "test_support.h"
#include "layout.h"

namespace {

class ResultPictures : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { start_with_windows(dir.str()); }

    const std::vector<unsigned char>& shown() {
        const PlatBitmap_* b = headless::image_of(STATICres);
        EXPECT_NE(b, nullptr);
        static const std::vector<unsigned char> none;
        return b ? b->pixels : none;
    }
    Rgb at(int row, int col) { return pixel_at(shown(), 400, row, col); }
    int step(int row, int col) { return coded_step(at(row, col)); }
    std::string label(int n) { return plat_get_dlg_item(winsect[n], ID_SECT_LABEL)->text; }

    // The default model right after centring: base plane at the outer centre,
    // semi-axes 80, 50, 50; levels base, +20, +40, +60, +80.
    static void default_model() {
        ell_ci = ill_ci = plan_i = 128;
        ell_cj = ell_ck = ill_cj = ill_ck = 128;
        ell_ri = 80;
        ell_rj = ell_rk = 50;
        ill_ri = 30;
        ill_rj = ill_rk = 20;
        EVAL_APEX();
    }
};

bool is_grid_ring_pixel_of_R45(int row, int col) { return row == 200 && col == 245; }

}  // namespace

TEST_F(ResultPictures, NothingIsDrawnBeforeTheFirstEvaluation) {
    for (float& v : BULL) v = 60.0f;
    for (int n = 1; n <= 17; n++) SECTEUR[n] = 50.0f;
    default_model();
    for (int mode : {0, 1, 12, 2}) {
        RES_DISP = mode;
        DISPLAY_RES();
        for (unsigned char byte : shown()) ASSERT_EQ(byte, 0) << "mode " << mode;
    }
    for (int n = 1; n <= 17; n++) EXPECT_EQ(label(n), "100 %");
    // After a load the last picture stays as it was.
    res_ok = 1;
    RES_DISP = 0;
    DISPLAY_RES();
    const std::vector<unsigned char> last = shown();
    res_ok = 0;
    for (float& v : BULL) v = 10.0f;
    DISPLAY_RES();
    EXPECT_EQ(shown(), last);
}

TEST_F(ResultPictures, HandOverReplacesTheBitmapOfControl46) {
    res_ok = 1;
    DISPLAY_RES();
    const PlatBitmap_* first = headless::image_of(STATICres);
    DISPLAY_RES();
    const PlatBitmap_* second = headless::image_of(STATICres);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(first->alive);
    EXPECT_TRUE(second->alive);
    EXPECT_EQ(bmpres, second);
    EXPECT_EQ(second->width, 400);
    EXPECT_EQ(second->height, 400);
    EXPECT_EQ(second->pixels, std::vector<unsigned char>(BMPres, BMPres + RES_BYTES));
}

TEST_F(ResultPictures, BullsEyeRoundsAndLimitsTheValues) {
    res_ok = 1;
    RES_DISP = 0;
    palet = 5;
    auto put = [](int row, int col, float v) { BULL[row * 400 + col] = v; };
    put(300, 210, 99.5f);
    put(301, 210, 0.49f);
    put(302, 210, 0.5f);
    put(303, 210, -3.0f);
    put(304, 210, 250.0f);
    put(305, 210, 57.4f);
    put(306, 210, 57.5f);
    DISPLAY_RES();
    EXPECT_EQ(step(300, 210), 100);
    EXPECT_EQ(step(301, 210), 0);
    EXPECT_EQ(step(302, 210), 1);
    EXPECT_EQ(step(303, 210), 0);
    EXPECT_EQ(step(304, 210), 100);
    EXPECT_EQ(step(305, 210), 57);
    EXPECT_EQ(step(306, 210), 58);
    EXPECT_EQ(at(300, 210).g, 105);  // the current palette
}

TEST_F(ResultPictures, BullsEyeBeyondTheRimShowsColourZero) {
    res_ok = 1;
    RES_DISP = 0;
    // As the evaluation leaves it: values out to about 179.6 pixels, 0 beyond.
    for (int row = 0; row < 400; row++)
        for (int col = 0; col < 400; col++) {
            const double d = std::hypot(row - 200, col - 200);
            BULL[row * 400 + col] = d <= 179.6 ? 70.0f : 0.0f;
        }
    DISPLAY_RES();
    EXPECT_EQ(step(200, 390), 0);
    EXPECT_EQ(step(0, 0), 0);
    EXPECT_EQ(step(399, 200), 0);
    EXPECT_EQ(step(210, 360), 70);
    EXPECT_EQ(step(330, 220), 70);
}

TEST_F(ResultPictures, BullsEyeGridIsInTheOverlayColour) {
    res_ok = 1;
    RES_DISP = 0;
    for (int c = 0; c < 6; c++) {
        couleur = c;
        DISPLAY_RES();
        ASSERT_TRUE(is_grid_ring_pixel_of_R45(200, 245));
        EXPECT_EQ(at(200, 245), overlay(c)) << "ring 45";
        EXPECT_EQ(at(200, 380), overlay(c)) << "ring 180";
        EXPECT_EQ(at(200, 300), overlay(c)) << "horizontal spoke";
        EXPECT_EQ(at(200, 230), (Rgb{1, 100, 50})) << "apex disc has no spokes";
        // Apical spoke at 45 degrees between radius 45 and 90: d = 60 gives (242, 242).
        EXPECT_EQ(at(242, 242), overlay(c));
    }
}

TEST_F(ResultPictures, GridSpokesCrossTheWholeMapOnlyBetweenTheirRings) {
    res_ok = 1;
    RES_DISP = 0;
    couleur = 4;
    for (float& v : BULL) v = 50.0f;
    DISPLAY_RES();
    // Spokes at 0, 60 and 120 degrees from radius 90 to 180, on both sides of
    // the centre (d runs negative too): d = 150 and d = -150.
    for (const auto& p : {std::pair{330, 275}, {70, 125}, {330, 125}, {70, 275}, {200, 350}, {200, 50}})
        EXPECT_EQ(at(p.first, p.second), overlay(4)) << p.first << ", " << p.second;
    // Spokes at 45 and 135 degrees from radius 45 to 90: d = 60 and d = -60.
    for (const auto& p : {std::pair{242, 242}, {158, 158}, {158, 242}, {242, 158}})
        EXPECT_EQ(at(p.first, p.second), overlay(4)) << p.first << ", " << p.second;
    // No 45-degree spoke in the mid and basal rings (d = 120, 150), no 0, 60
    // or 120-degree spoke in the apical ring (d = 60), none in the apex disc.
    for (const auto& p : {std::pair{285, 285}, {306, 306}, {115, 285}, {94, 94}, {252, 230}, {148, 170},
                          {252, 170}, {200, 260}, {200, 140}, {220, 220}, {200, 220}})
        EXPECT_EQ(step(p.first, p.second), 50) << p.first << ", " << p.second;
}

TEST_F(ResultPictures, SectorPercentagesColourAndLabels) {
    res_ok = 1;
    RES_DISP = 1;
    for (int n = 1; n <= 17; n++) SECTEUR[n] = 5.0f * n;
    SECTEUR[1] = 99.999f;
    SECTEUR[3] = 9.5f;
    SECTEUR[5] = -0.7f;
    SECTEUR[6] = 130.0f;
    DISPLAY_RES();
    auto at_label = [this](int n) { return step(200 - sectposj[n], 200 + sectposi[n]); };
    EXPECT_EQ(at_label(1), 100);
    EXPECT_EQ(label(1), "100 %");
    EXPECT_EQ(at_label(3), 10);
    EXPECT_EQ(label(3), "10 %");
    EXPECT_EQ(at_label(5), 0);
    EXPECT_EQ(label(5), "0 %");
    EXPECT_EQ(at_label(6), 100);
    EXPECT_EQ(label(6), "130 %");
    for (int n : {2, 4, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}) {
        EXPECT_EQ(at_label(n), 5 * n) << "sector " << n;
        EXPECT_EQ(label(n), std::to_string(5 * n) + " %");
    }
    EXPECT_EQ(step(0, 0), 0);    // outside the map
    EXPECT_EQ(step(200, 395), 0);
}

TEST_F(ResultPictures, ScoresColourAndLabels) {
    res_ok = 1;
    RES_DISP = 12;
    for (int n = 1; n <= 17; n++) SCORE[n] = n % 5;
    SCORE[14] = 3;
    SCORE[3] = 4;  // the 9.5 % sector of the percentages
    DISPLAY_RES();
    auto at_label = [this](int n) { return step(200 - sectposj[n], 200 + sectposi[n]); };
    EXPECT_EQ(label(14), "[14]  3");
    EXPECT_EQ(at_label(14), 40);
    EXPECT_EQ(at_label(3), 20);
    EXPECT_EQ(label(5), "[5]  0");
    EXPECT_EQ(at_label(5), 100);
    for (int n = 1; n <= 17; n++) {
        EXPECT_EQ(at_label(n), 100 - 20 * SCORE[n]) << "sector " << n;
        EXPECT_EQ(label(n), "[" + std::to_string(n) + "]  " + std::to_string(SCORE[n]));
    }
    EXPECT_EQ(step(399, 0), 0);
}

TEST_F(ResultPictures, SectorMapsHaveABlackGridWhateverTheOverlayColour) {
    res_ok = 1;
    for (int n = 1; n <= 17; n++) SECTEUR[n] = 80.0f;
    for (int mode : {1, 12})
        for (int c = 0; c < 6; c++) {
            RES_DISP = mode;
            couleur = c;
            DISPLAY_RES();
            EXPECT_EQ(at(200, 245), (Rgb{0, 0, 0}));
            EXPECT_EQ(at(200, 300), (Rgb{0, 0, 0}));
            EXPECT_EQ(at(242, 242), (Rgb{0, 0, 0}));
        }
}

TEST_F(ResultPictures, LabelTextsStayWhileBullAndLateralAreShown) {
    res_ok = 1;
    RES_DISP = 12;
    SCORE[2] = 2;
    DISPLAY_RES();
    RES_DISP = 0;
    DISPLAY_RES();
    RES_DISP = 2;
    default_model();
    DISPLAY_RES();
    EXPECT_EQ(label(2), "[2]  2");
}

class LateralView : public ResultPictures {
protected:
    void SetUp() override {
        ResultPictures::SetUp();
        default_model();
        for (int r = 0; r < 480; r++)
            for (int s = 0; s < 480; s++) SAMPLE[r * 480 + s] = 50.0f;
        res_ok = 1;
        RES_DISP = 2;
        couleur = 4;  // red
    }
    int overlay_in_column(int col) {
        int n = 0;
        for (int row = 0; row < 400; row++) n += at(row, col) == overlay(couleur);
        return n;
    }
};

TEST_F(LateralView, DefaultModelScaleIsThreeAndLevelsAtColumns80To320) {
    ASSERT_EQ(sect_i[0], 128);
    ASSERT_EQ(sect_i[4], 208);
    DISPLAY_RES();
    for (int col : {80, 140, 200, 260}) EXPECT_EQ(at(200, col), overlay(4)) << "level line " << col;
    for (int col : {81, 139, 141, 199, 201, 259, 261, 319}) EXPECT_EQ(step(200, col), 50) << "surface " << col;
    EXPECT_EQ(step(200, 320), 0);  // the tip itself maps to row 240, past the ray table
    EXPECT_EQ(step(200, 321), 0);  // past the tip
    EXPECT_EQ(step(200, 79), 0);   // before the base plane
    // The semi-axis 50 spans 150 pixels: rows 50..350 at the base plane, whose
    // level line covers exactly the surface.
    EXPECT_EQ(at(350, 80), overlay(4));
    EXPECT_EQ(at(50, 80), overlay(4));
    EXPECT_EQ(step(351, 80), 0);
    EXPECT_EQ(step(49, 80), 0);
    EXPECT_EQ(step(349, 100), 50);
    EXPECT_EQ(step(51, 100), 50);
    // Level lines only on the surface.
    EXPECT_EQ(step(390, 140), 0);
}

TEST_F(LateralView, SectorBoundariesLieOnlyInTheirRings) {
    DISPLAY_RES();
    EXPECT_GT(overlay_in_column(100), 0);  // basal boundaries
    EXPECT_GT(overlay_in_column(230), 0);  // apical boundaries
    EXPECT_EQ(overlay_in_column(300), 0);  // apex part: none
    EXPECT_EQ(overlay_in_column(79), 0);
}

TEST_F(LateralView, SurfaceNeverUsesTheBackgroundEntry) {
    for (float& v : SAMPLE) v = 0.0f;
    DISPLAY_RES();
    EXPECT_EQ(step(200, 150), 1);
    EXPECT_EQ(step(10, 150), 0);
}

TEST_F(LateralView, LongerVentricleGivesAScaleOfOneAndAHalf) {
    ell_ri = 100;
    ell_ci = 140;  // tip at 240, base plane at 40: 200 voxels
    plan_i = 40;
    EVAL_APEX();
    DISPLAY_RES();
    // Levels at 80, 155, 230, 305 and the tip at 380 (the last ray-table row at 379).
    EXPECT_EQ(step(200, 379), 50);
    EXPECT_EQ(step(200, 380), 0);
    for (int col : {155, 230, 305}) EXPECT_EQ(at(200, col), overlay(4)) << col;
    EXPECT_EQ(step(200, 140), 50);
}

TEST_F(LateralView, NeedlePointsUpAtTheStartTurnAndTurnsWithIt) {
    DISPLAY_RES();
    for (int row = 200; row <= 210; row++) EXPECT_EQ(at(row, 27), overlay(4)) << "row " << row;
    EXPECT_EQ(step(211, 27), 0);
    EXPECT_EQ(step(199, 27), 0);
    res3D_ang = 16;  // a quarter turn further: the needle points left
    DISPLAY_RES();
    EXPECT_EQ(at(200, 17), overlay(4));
    EXPECT_EQ(step(205, 27), 0);
    res3D_ang = -8;  // half a turn back from the start: down
    DISPLAY_RES();
    EXPECT_EQ(at(190, 27), overlay(4));
}

TEST_F(LateralView, StartTurnFacesTheAnteriorWallAndEachEightStepsTurnAQuarter) {
    // Bands of ray-table columns (angle s x 3.1415 / 240): around pi/2 (column
    // 120) 90, around pi (240) 30, around 3 pi/2 (360) 10, around 0 70.
    for (int r = 0; r < 240; r++)
        for (int h = 0; h < 480; h++) {
            float v = 50.0f;
            if (h >= 100 && h <= 140) v = 90.0f;
            if (h >= 200 && h <= 280) v = 30.0f;
            if (h >= 340 && h <= 380) v = 10.0f;
            if (h >= 440 || h <= 40) v = 70.0f;
            SAMPLE[r * 480 + h] = v;
        }
    // Column 150 (level 151): the middle row faces the viewer; the rows near
    // the top and the bottom of the section see the wall a quarter turn aside.
    res3D_ang = 8;
    DISPLAY_RES();
    EXPECT_EQ(step(200, 150), 90);  // anterior, pi/2
    EXPECT_EQ(step(340, 150), 70);  // upper edge: angle 0
    EXPECT_EQ(step(60, 150), 30);   // lower edge: angle pi
    // The middle row of column 230 (apical part, away from its boundaries at
    // odd multiples of pi/4) at the following quarter turns.
    const int centre[5][2] = {{8, 90}, {16, 30}, {24, 10}, {32, 70}, {0, 70}};
    for (const auto& c : centre) {
        res3D_ang = c[0];
        DISPLAY_RES();
        EXPECT_EQ(step(200, 230), c[1]) << "res3D_ang " << c[0];
    }
}

TEST_F(LateralView, TurnsBeyondAFullTurnOrBackwardsAreMultiplesOfTheStep) {
    res3D_ang = 8;
    DISPLAY_RES();
    const std::vector<unsigned char> start = shown();
    for (int ang : {8 + 32, 8 - 32, 8 + 32 * 40}) {
        res3D_ang = ang;
        DISPLAY_RES();
        int differ = 0;
        for (int k = 0; k < RES_BYTES; k += 3)
            differ += std::memcmp(&shown()[k], &start[k], 3) != 0;
        // Only the rounding of the turned angle may move a pixel across a ray-table column.
        EXPECT_LT(differ, 50) << "res3D_ang " << ang;
    }
    res3D_ang = 0;  // the view from a quarter turn earlier is another picture
    DISPLAY_RES();
    EXPECT_NE(shown(), start);
}

TEST_F(LateralView, UnplacedModelShowsOnlyTheBackgroundAndTheNeedle) {
    ell_ci = ell_cj = ell_ck = ell_ri = ell_rj = ell_rk = 0;
    plan_i = apex_i = 0;
    for (int& s : sect_i) s = 0;
    DISPLAY_RES();
    int overlay_pixels = 0;
    for (int row = 0; row < 400; row++)
        for (int col = 0; col < 400; col++) {
            if (at(row, col) == overlay(4))
                overlay_pixels++;
            else
                ASSERT_EQ(step(row, col), 0);
        }
    EXPECT_EQ(overlay_pixels, 11);
}

TEST_F(LateralView, ModelAfterALoadWithoutPlacingDrawsWithoutFault) {
    // Loaded but never centred: base plane and apex at 0, semi-axes 80, 50, 50.
    ell_ci = ell_cj = ell_ck = 0;
    plan_i = apex_i = 0;
    for (int& s : sect_i) s = 0;
    sect_i[4] = 80;
    DISPLAY_RES();
    EXPECT_EQ(at(205, 27), overlay(4));
}

// --- the drawing agrees with the literal baseline ------------------------------------------

namespace {

unsigned int lcg(unsigned int& seed) {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
}

void fill_state(unsigned int seed) {
    for (int k = 0; k < 480 * 480; k++) SAMPLE[k] = static_cast<float>(lcg(seed) % 10000) / 100.0f;
    for (int k = 0; k < 400 * 400; k++) BULL[k] = static_cast<float>(static_cast<int>(lcg(seed) % 11000) - 500) / 100.0f;
    for (int n = 0; n <= 17; n++) {
        SECTEUR[n] = static_cast<float>(lcg(seed) % 10500) / 100.0f;
        SCORE[n] = static_cast<int>(lcg(seed) % 5);
    }
    palet = static_cast<int>(lcg(seed) % 16);
    couleur = static_cast<int>(lcg(seed) % 6);
}

}  // namespace

TEST_F(ResultPictures, DrawingEqualsTheLiteralBaselineForEveryPicture) {
    struct Model {
        int ci, cj, ck, ri, rj, rk, plan, apex_override;
    };
    const Model models[] = {
        {128, 128, 128, 80, 50, 50, 128, -1},   // default after centring
        {120, 100, 140, 90, 40, 60, 100, -1},   // unequal semi-axes
        {150, 128, 128, 60, 70, 30, 170, -1},   // base plane beyond the centre
        {128, 128, 128, 80, 50, 50, 128, 100},  // apex set below the base plane
        {0, 0, 0, 0, 0, 0, 0, -1},              // never placed
    };
    const int angles[] = {8, 0, -5, 37, 1000, -77};
    unsigned int seed = 1;
    int cases = 0;
    for (const Model& m : models)
        for (int ang : angles) {
            fill_state(seed++);
            ell_ci = m.ci;
            ell_cj = m.cj;
            ell_ck = m.ck;
            ell_ri = m.ri;
            ell_rj = m.rj;
            ell_rk = m.rk;
            plan_i = m.plan;
            EVAL_APEX();
            if (m.apex_override >= 0) {
                apex_i = m.apex_override;
                EVAL_SECT();
            }
            res3D_ang = ang;
            res_ok = 1;
            for (int mode : {0, 1, 12, 2}) {
                if (mode != 2 && ang != 8) continue;  // the turn only matters to the lateral view
                RES_DISP = mode;
                DISPLAY_RES();
                const std::vector<unsigned char> fast(BMPres, BMPres + RES_BYTES);
                std::vector<std::string> fast_labels;
                for (int n = 1; n <= 17; n++) fast_labels.push_back(headless::text_of(winsect[n], ID_SECT_LABEL));
                std::memset(BMPres, 0x5A, RES_BYTES);
                literal_DISPLAY_RES();
                ASSERT_EQ(std::memcmp(fast.data(), BMPres, RES_BYTES), 0)
                    << "mode " << mode << " model " << m.ri << "/" << m.rj << " res3D_ang " << ang;
                for (int n = 1; n <= 17; n++) ASSERT_EQ(fast_labels[n - 1], headless::text_of(winsect[n], ID_SECT_LABEL));
                cases++;
            }
        }
    EXPECT_EQ(cases, 5 * 3 + 5 * 6);
}

TEST_F(ResultPictures, LateralViewEqualsTheLiteralBaselineAtEveryTurnOfTwoFullTurns) {
    unsigned int seed = 99;
    fill_state(seed);
    ell_ci = plan_i = 120;
    ell_cj = ell_ck = 128;
    ell_ri = 85;
    ell_rj = 45;
    ell_rk = 60;
    EVAL_APEX();
    res_ok = 1;
    RES_DISP = 2;
    for (int ang = -32; ang <= 32; ang += 3) {
        res3D_ang = ang;
        DISPLAY_RES();
        const std::vector<unsigned char> fast(BMPres, BMPres + RES_BYTES);
        literal_DISPLAY_RES();
        ASSERT_EQ(std::memcmp(fast.data(), BMPres, RES_BYTES), 0) << "res3D_ang " << ang;
    }
}

// Apex and ring levels, the sector evaluation and its scores.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Display.h"
#include "Results.h"
#include "literal.h"
#include "main.h"
#include "synth_study.h"
#include "test_support.h"

namespace {

class Evaluation : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { start_in(dir.str()); }
    std::string log() { return read_file(dir.str() + "/log.txt"); }
    static float& voxel(int i, int j, int k) { return data[i * 65536 + j * 256 + k]; }
    static float sample(int r, int s) { return SAMPLE[r * 480 + s]; }
    // Sectors whose value is above 0, as a list "1 7".
    static std::string lit_sectors() {
        std::string out;
        for (int n = 1; n <= 17; n++)
            if (SECTEUR[n] > 0) out += (out.empty() ? "" : " ") + std::to_string(n);
        return out;
    }
};

std::vector<int> levels() { return {sect_i[0], sect_i[1], sect_i[2], sect_i[3], sect_i[4]}; }

}  // namespace

// --- apex and ring levels -------------------------------------------------------------------

TEST_F(Evaluation, DefaultModelLevelsAreBaseAndFourStepsOfTwenty) {
    synth::place_default_model();
    EXPECT_EQ(amplii, 80);
    EXPECT_EQ(apex_i, 188);
    EXPECT_EQ(levels(), (std::vector<int>{128, 148, 168, 188, 208}));

    // Base plane off the centre: the same steps, from wherever the base lies.
    plan_i = 100;
    EVAL_APEX();
    EXPECT_EQ(amplii, 108);
    EXPECT_EQ(apex_i, 181);
    EXPECT_EQ(levels(), (std::vector<int>{100, 127, 154, 181, 208}));
}

TEST_F(Evaluation, LevelsAreTruncatedNotRounded) {
    synth::place_default_model();
    plan_i = 101;  // amplii 107: 0.75 x 107 = 80.25, d = -80 / 3
    EVAL_APEX();
    EXPECT_EQ(apex_i, 181);
    EXPECT_EQ(levels(), (std::vector<int>{101, 127, 154, 181, 208}));
}

TEST_F(Evaluation, ApexBelowTheBaseGivesDecreasingLevels) {
    synth::place_default_model();
    apex_i = 100;  // the apex button at slice 100
    EVAL_SECT();
    EXPECT_EQ(levels(), (std::vector<int>{128, 118, 109, 100, 208}));
}

TEST_F(Evaluation, EvalSectWritesExactlySixLogTexts) {
    synth::place_default_model();
    const std::string before = log();
    EVAL_SECT();
    const std::string after = log();
    ASSERT_EQ(after.substr(0, before.size()), before);
    EXPECT_EQ(after.substr(before.size()), "Secteurs\n128\n148\n168\n188\n208\n");
    EXPECT_STREQ(chaine, "208\n");
}

// --- scores ---------------------------------------------------------------------------------------

TEST(ScoreClass, EachBoundBelongsToTheClassThatStartsThere) {
    EXPECT_EQ(SCORE_CLASS(0.0f), 4);
    EXPECT_EQ(SCORE_CLASS(9.99f), 4);
    EXPECT_EQ(SCORE_CLASS(10.0f), 3);
    EXPECT_EQ(SCORE_CLASS(29.999f), 3);
    EXPECT_EQ(SCORE_CLASS(30.0f), 2);
    EXPECT_EQ(SCORE_CLASS(49.999f), 2);
    EXPECT_EQ(SCORE_CLASS(50.0f), 1);
    EXPECT_EQ(SCORE_CLASS(69.999f), 1);
    EXPECT_EQ(SCORE_CLASS(70.0f), 0);
    EXPECT_EQ(SCORE_CLASS(99.999f), 0);
}

// --- no volume, empty volume ------------------------------------------------------------------

TEST_F(Evaluation, WithoutAVolumeEverythingStaysZeroAndScoresAreFour) {
    EVAL_RES();  // start-up state: no volume, no model
    EXPECT_EQ(res_ok, 1);
    for (int n = 0; n < 18; n++) EXPECT_EQ(SECTEUR[n], 0.0f) << n;
    for (int n = 1; n <= 17; n++) EXPECT_EQ(SCORE[n], 4) << n;
    for (int x = 0; x < 480 * 480; x++) ASSERT_EQ(SAMPLE[x], 0.0f) << x;
    for (int x = 0; x < 400 * 400; x++) ASSERT_EQ(BULL[x], 0.0f) << x;
}

TEST_F(Evaluation, AnEmptyVolumeAfterAStudyClearsEveryTable) {
    synth::place_default_model();
    for (int i = 100; i < 220; i++)
        for (int j = 60; j < 200; j++)
            for (int k = 60; k < 200; k++) voxel(i, j, k) = static_cast<float>((i + 2 * j + 3 * k) % 101);
    EVAL_RES();
    ASSERT_GT(SECTEUR[1], 0.0f);
    ASSERT_GT(BULL[200 * 400 + 300], 0.0f);

    std::memset(data, 0, sizeof data);
    DATA_CHANGED();
    EVAL_RES();
    for (int n = 0; n < 18; n++) EXPECT_EQ(SECTEUR[n], 0.0f) << n;
    for (int n = 1; n <= 17; n++) EXPECT_EQ(SCORE[n], 4) << n;
    for (int r = 0; r < sam_ax; r++)
        for (int s = 0; s < sam_ang; s++) ASSERT_EQ(sample(r, s), 0.0f) << r << " " << s;
    for (int x = 0; x < 400 * 400; x++) ASSERT_EQ(BULL[x], 0.0f) << x;
}

TEST_F(Evaluation, AModelOutsideTheDataGivesZerosAndGoesOn) {
    synth::place_default_model();
    voxel(20, 20, 20) = 100;  // far from the wall and from every ray
    EVAL_RES();
    EXPECT_EQ(res_ok, 1);
    EXPECT_EQ(lit_sectors(), "");
    for (int n = 1; n <= 17; n++) EXPECT_EQ(SCORE[n], 4) << n;
}

// --- sectors --------------------------------------------------------------------------------------

TEST_F(Evaluation, BestSectorGets99999AndScoreZero) {
    synth::fill_study(64);
    synth::place_default_model();
    EVAL_RES();
    int best = 0;
    for (int n = 1; n <= 17; n++)
        if (SECTEUR[n] > SECTEUR[best]) best = n;
    ASSERT_GT(best, 0);
    EXPECT_EQ(SECTEUR[best], 99.999f);
    EXPECT_EQ(SCORE[best], 0);
    EXPECT_EQ(SECTEUR[0], 0.0f);
    for (int n = 1; n <= 17; n++) {
        EXPECT_GT(SECTEUR[n], 0.0f) << n;
        EXPECT_EQ(SCORE[n], SCORE_CLASS(SECTEUR[n])) << n;
    }
    // The ray table's best entry is 99.5 and nothing exceeds it.
    float top = 0;
    for (int r = 0; r < sam_ax; r++)
        for (int s = 0; s < sam_ang; s++) top = std::max(top, sample(r, s));
    EXPECT_EQ(top, 99.5f);
}

TEST_F(Evaluation, WallVoxelsOnTheInnerLevelsCountInBothNeighbouringParts) {
    synth::place_default_model();  // levels 128, 148, 168, 188, 208
    // One bright wall voxel straight "up" (theta = pi / 2), 25 voxels off the axis.
    const struct {
        int i;
        const char* sectors;
    } cases[] = {{147, "1"}, {148, "1 7"}, {149, "7"}, {168, "7 13"}, {169, "13"}, {188, "13 17"}, {189, "17"}};
    for (const auto& c : cases) {
        std::memset(data, 0, sizeof data);
        voxel(c.i, 128, 153) = 100;
        DATA_CHANGED();
        EVAL_RES();
        EXPECT_EQ(lit_sectors(), c.sectors) << "i = " << c.i;
    }
}

TEST_F(Evaluation, WallVoxelsOnTheAxesAndDiagonalsFollowTheSinglePrecisionAngle) {
    synth::place_default_model();  // levels 128, 148, 168, 188, 208
    // One voxel in each ring (basal 138, mid 158, apical 178) at the same
    // place around the axis, 25 voxels off it. The single-precision angle pi
    // lies above 3.14159265 (septal sectors 3, 9, not 2, 8); the diagonal
    // angles fall on one side of each apical bound; 0 belongs to 6, 12 and 16.
    const struct {
        int j, k;
        const char* sectors;
    } cases[] = {{153, 128, "6 12 16"}, {128, 153, "1 7 13"}, {103, 128, "3 9 14"}, {128, 103, "4 10 15"},
                 {153, 153, "6 12 13"}, {103, 153, "2 8 14"}, {103, 103, "3 9 14"}, {153, 103, "5 11 15"}};
    for (const auto& c : cases) {
        std::memset(data, 0, sizeof data);
        for (int i : {138, 158, 178}) voxel(i, c.j, c.k) = 100;
        DATA_CHANGED();
        EVAL_RES();
        EXPECT_EQ(lit_sectors(), c.sectors) << "j = " << c.j << ", k = " << c.k;
    }
}

TEST_F(Evaluation, ApexBelowTheBaseLeavesTheRingsEmptyAndSector17TakesApexToTip) {
    synth::place_default_model();
    apex_i = 100;
    EVAL_SECT();  // 128, 118, 109, 100, 208
    // Wall everywhere from the apex level to the tip is taken by sector 17 only.
    const struct {
        int i, k;
        const char* sectors;
    } cases[] = {{99, 168, ""}, {100, 168, "17"}, {150, 170, "17"}, {208, 128, "17"}};
    for (const auto& c : cases) {
        std::memset(data, 0, sizeof data);
        voxel(c.i, 128, c.k) = 100;
        DATA_CHANGED();
        EVAL_RES();
        EXPECT_EQ(lit_sectors(), c.sectors) << "i = " << c.i;
        for (int n = 1; n <= 16; n++) EXPECT_EQ(SCORE[n], 4) << n;
        EXPECT_EQ(SCORE[17], SECTEUR[17] > 0 ? 0 : 4);
    }
    // With a whole study, sectors 1 to 16 have no wall voxel at all.
    synth::fill_study(64);
    EVAL_RES();
    EXPECT_EQ(lit_sectors(), "17");
    EXPECT_EQ(SECTEUR[17], 99.999f);
}

// --- rays -------------------------------------------------------------------------------------------

TEST_F(Evaluation, RowZeroAveragesTheSegmentFrom20To50VoxelsOffTheAxis) {
    synth::place_default_model();
    // phi = 0 runs along +j from 148 to 178.
    for (int j = 148; j <= 178; j++) voxel(128, j, 128) = 100;
    EVAL_RES();
    EXPECT_EQ(sample(0, 0), 99.5f);  // all 101 points on the segment, the best ray

    // The ends, one voxel at a time: phi = 0 from 148 to 178; phi = 3.1415 from
    // 109 to 79 (-19.99... and -49.99... rounded by adding 0.5 and truncating).
    const struct {
        int j, s;
        bool hit;
    } cases[] = {{147, 0, false}, {148, 0, true},  {178, 0, true},    {179, 0, false},
                 {110, 240, false}, {109, 240, true}, {79, 240, true}, {78, 240, false}};
    for (const auto& c : cases) {
        std::memset(data, 0, sizeof data);
        voxel(128, c.j, 128) = 100;
        DATA_CHANGED();
        EVAL_RES();
        EXPECT_EQ(sample(0, c.s) > 0, c.hit) << "j = " << c.j << ", s = " << c.s;
    }
}

TEST_F(Evaluation, RayPointsJustBelowIndexZeroAreRoundedUpToIt) {
    // Outer section reaching past j = 0: the ray at phi = 3.1415 (column 240)
    // runs from j = 11 to j = -1 (30 - 31.4999... rounded by adding 0.5 and
    // truncating toward zero). Its points from -1 to -0.52 round to 0 the same
    // way, so they are counted in the volume: all 101 points, of which the 13
    // from 0.44 down (q = 88..100) fall on j = 0.
    synth::place_default_model();
    ell_cj = ill_cj = 30;
    ell_rj = 32;
    EVAL_APEX();
    for (int j = 0; j <= 255; j++) voxel(128, j, 128) = j == 0 ? 100.0f : 0.0f;
    for (int j = 50; j <= 62; j++) voxel(128, j, 128) = 100;  // ray at phi = 0: 50 to 62, mean 100
    EVAL_RES();
    EXPECT_EQ(sample(0, 0), 99.5f);
    EXPECT_FLOAT_EQ(sample(0, 240), 1300.0f / 101.0f * 0.995f);  // not 800 / 96 (points below 0 skipped)
}

TEST_F(Evaluation, RowsFrom90OnStartOnTheAxis) {
    synth::place_default_model();
    for (int i = 0; i < 256; i++) voxel(i, 128, 128) = 100;  // the long axis only
    EVAL_RES();
    for (int r = 0; r < sam_ax; r++) {
        int on = 0;
        for (int s = 0; s < sam_ang; s++) on += sample(r, s) > 0;
        EXPECT_EQ(on, r >= 90 ? sam_ang : 0) << "row " << r;
    }
}

TEST_F(Evaluation, BullsEyeShowsTheTipAtTheCentreAndTheBaseAtTheRim) {
    synth::fill_study(64);
    synth::place_default_model();
    EVAL_RES();
    EXPECT_EQ(BULL[200 * 400 + 200], sample(239, 0));
    EXPECT_EQ(BULL[200 * 400 + 379], sample(0, 0));    // 179 px: row 0, angle 0
    EXPECT_EQ(BULL[379 * 400 + 200], sample(0, 120));  // straight up: a quarter turn
    EXPECT_EQ(BULL[200 * 400 + 380], 0.0f);            // 180 px is beyond the last row
    EXPECT_EQ(BULL[0], 0.0f);
    EXPECT_GT(sample(0, 120), 0.0f);
    EXPECT_NE(sample(0, 120), sample(0, 0));
}

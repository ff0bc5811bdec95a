// The fast evaluation against the literal step-by-step one: SAMPLE, SECTEUR,
// SCORE and BULL must agree bit for bit, for placed and for odd models.
#include <gtest/gtest.h>

#include <cstdint>
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

struct Tables {
    std::vector<float> sample, bull;
    std::vector<float> secteur;
    std::vector<int> score;
};

// Fills the result tables with NaN first, so a table left unwritten shows.
Tables run(int (*eval)()) {
    std::memset(SAMPLE, 0xFF, sizeof SAMPLE);
    std::memset(BULL, 0xFF, sizeof BULL);
    std::memset(SECTEUR, 0xFF, sizeof SECTEUR);
    std::memset(SCORE, 0xFF, sizeof SCORE);
    eval();
    Tables t;
    for (int r = 0; r < sam_ax; r++) t.sample.insert(t.sample.end(), &SAMPLE[r * 480], &SAMPLE[r * 480 + sam_ang]);
    t.bull.assign(BULL, BULL + 400 * 400);
    t.secteur.assign(SECTEUR, SECTEUR + 18);
    t.score.assign(SCORE + 1, SCORE + 18);
    return t;
}

std::uint32_t bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Index of the first entry whose bits differ, or -1.
int first_difference(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return 0;
    for (std::size_t x = 0; x < a.size(); x++)
        if (bits(a[x]) != bits(b[x])) return static_cast<int>(x);
    return -1;
}

void expect_identical(const std::string& what) {
    const Tables fast = run(EVAL_RES);
    const Tables lit = run(LITERAL_EVAL_RES);
    int d = first_difference(fast.sample, lit.sample);
    EXPECT_EQ(d, -1) << what << ": SAMPLE differs at row " << d / sam_ang << ", column " << d % sam_ang;
    d = first_difference(fast.secteur, lit.secteur);
    EXPECT_EQ(d, -1) << what << ": SECTEUR differs at sector " << d;
    EXPECT_EQ(fast.score, lit.score) << what;
    d = first_difference(fast.bull, lit.bull);
    EXPECT_EQ(d, -1) << what << ": BULL differs at row " << d / 400 << ", column " << d % 400;
    // A comparison between two tables of zeros would prove little.
    int lit_rays = 0;
    for (float v : lit.sample) lit_rays += v > 0;
    EXPECT_GT(lit_rays, 0) << what << ": no ray saw the study";
}

void set_model(int ci, int cj, int ck, int ri, int rj, int rk, int ici, int icj, int ick, int iri, int irj, int irk,
               int plan) {
    ell_ci = ci, ell_cj = cj, ell_ck = ck, ell_ri = ri, ell_rj = rj, ell_rk = rk;
    ill_ci = ici, ill_cj = icj, ill_ck = ick, ill_ri = iri, ill_rj = irj, ill_rk = irk;
    plan_i = plan;
    EVAL_APEX();
}

class AgainstLiteral : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { start_in(dir.str()); }
};

}  // namespace

TEST_F(AgainstLiteral, DefaultModelOnA64Study) {
    synth::fill_study(64);
    synth::place_default_model();
    expect_identical("default model, 64 study");
}

TEST_F(AgainstLiteral, DefaultModelOnA128Study) {
    synth::fill_study(128);
    synth::place_default_model();
    expect_identical("default model, 128 study");
}

TEST_F(AgainstLiteral, ModelsTouchingTheEdgesOfTheVolume) {
    synth::fill_study(128);
    synth::place_default_model();
    // Outer box past every face; rays leave the volume; planes beyond 255.
    set_model(200, 240, 15, 120, 120, 120, 190, 240, 15, 40, 30, 30, 150);
    expect_identical("centre near the edges, largest semi-axes");
    // Base plane and apex near index 0, planes below 0.
    set_model(12, 12, 244, 120, 60, 60, 30, 12, 244, 50, 20, 20, 100);
    apex_i = -10;
    EVAL_SECT();
    expect_identical("levels below the base at the low end");
}

TEST_F(AgainstLiteral, ApexBelowTheBaseAndInnerLargerThanOuter) {
    synth::fill_study(64);
    synth::place_default_model();
    apex_i = 100;
    EVAL_SECT();
    expect_identical("apex below the base");

    // The inner ellipsoid larger than the outer one, centres apart: the wall is
    // what sticks out of the inner one, rays run inwards.
    set_model(128, 128, 128, 60, 30, 30, 140, 135, 120, 90, 60, 60, 110);
    expect_identical("inner larger than outer");
}

TEST_F(AgainstLiteral, OddModels) {
    synth::fill_study(64);
    synth::place_default_model();
    // Inner centre off the axis, a flat inner ellipsoid, base past the tip.
    set_model(120, 130, 125, 70, 45, 55, 115, 110, 140, 25, 4, 30, 125);
    expect_identical("inner centre off the axis");
    set_model(128, 128, 128, 40, 50, 50, 128, 128, 128, 30, 20, 20, 160);
    expect_identical("base plane near the tip");
    // Apex level on the base plane: the four lower levels coincide and a voxel
    // there belongs to a sector of every part at once.
    synth::place_default_model();
    apex_i = plan_i;
    EVAL_SECT();
    expect_identical("all levels on the base plane");
}

// The bull's-eye lookups are kept between evaluations: a ray table of another size must not
// reuse those of the last one.
TEST_F(AgainstLiteral, RayTablesOfAnotherSizeBetweenTwoEvaluations) {
    synth::fill_study(64);
    synth::place_default_model();
    expect_identical("default ray table");
    sam_ax = 120, sam_ang = 240;
    expect_identical("half the rows and columns");
    sam_ax = 240, sam_ang = 480;
    expect_identical("the default again");
}

TEST_F(AgainstLiteral, ModelLoadedButNeverCentred) {
    // The results button right after a load: centres, base plane, apex and levels
    // still 0, semi-axes 80, 50, 50 and 30, 20, 20. Rays start at the corner
    // of the volume and many of their points lie outside it.
    synth::fill_study(64);
    set_model(0, 0, 0, 80, 50, 50, 0, 0, 0, 30, 20, 20, 0);
    apex_i = 0;
    for (int& s : sect_i) s = 0;
    expect_identical("model loaded but never centred");
}

// The fast rays take the voxel of each point from whole-number steps; over
// every pair of ends inside the volume that must be the voxel the float point
// a0 + (a1 - a0) q / 100, rounded by adding 0.5 and truncating, falls in.
TEST(RayPoints, WholeNumberStepsMatchTheFloatPointsForEveryPairOfEnds) {
    int mismatches = 0;
    for (int a0 = 0; a0 <= 255; a0++)
        for (int a1 = 0; a1 <= 255; a1++)
            for (int q = 0; q <= 100; q++) {
                const float a = a0 + (a1 - a0) * q / 100.0f;
                const int num = (a1 - a0) * q + 50;
                const int floor_div = num >= 0 ? num / 100 : -((-num + 99) / 100);
                mismatches += static_cast<int>(a + 0.5) != a0 + floor_div;
            }
    EXPECT_EQ(mismatches, 0);
}

// The road of one examination, headless: a sample study is opened, the model
// is placed on it as "Centrer volume" and the drags of a user would leave it
// (the fitting model of the README's "Sample studies" section), the sectors
// are evaluated, and the coronary territories show where a physician expects.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "Dicom.h"
#include "Display.h"
#include "Results.h"
#include "headless.h"
#include "main.h"
#include "test_support.h"

namespace {

// Opens samples/<name>.dcm through the open-file dialog; 1 when it loaded.
int open_sample(const std::string& name) {
    headless::queue_open_answer(std::string(VESMORA_BINARY_DIR) + "/samples/" + name + ".dcm");
    return LOAD_DCM_FILE();
}

// "Centrer volume" at the slices 128, 128, 128 shown after the load, then the
// semi-axes of the phantom's wall.
void place_fitting_model() {
    load_ok = 1;
    plan_i = ill_ci = ell_ci = 128;
    ell_cj = ell_ck = ill_cj = ill_ck = 128;
    ell_ri = 70, ell_rj = 25, ell_rk = 25;
    ill_ri = 62, ill_rj = 17, ill_rk = 17;
    ell_ok = 1;
    EVAL_APEX();
}

struct Territory {
    const char* name;
    std::set<int> segments;
};

const Territory kTerritories[] = {
    {"lad", {1, 2, 7, 8, 13, 14, 17}},
    {"lcx", {5, 6, 11, 12, 16}},
    {"rca", {3, 4, 9, 10, 15}},
};

struct Scores {
    float percent[18];
    int score[18];
};

Scores evaluate(const std::string& name) {
    EXPECT_EQ(open_sample(name), 1) << name;
    place_fitting_model();
    EVAL_RES();
    Scores s{};
    for (int n = 1; n <= 17; n++) {
        s.percent[n] = SECTEUR[n];
        s.score[n] = SCORE[n];
    }
    return s;
}

class SampleEvaluation : public ::testing::TestWithParam<int> {
protected:
    TempDir dir;
    void SetUp() override { start_in(dir.str()); }
    std::string study(const char* kind) { return std::string(kind) + "-" + std::to_string(GetParam()); }
};

}  // namespace

TEST_P(SampleEvaluation, NormalStudyScoresNormalEverywhereWithItsBestSectorAtTheTop) {
    const Scores normal = evaluate(study("normal"));
    EXPECT_EQ(res_ok, 1);
    EXPECT_EQ(apex_i, 180);
    EXPECT_EQ(sect_i[1], 145);
    EXPECT_EQ(sect_i[4], 198);
    float best = 0;
    for (int n = 1; n <= 17; n++) {
        EXPECT_EQ(normal.score[n], 0) << "sector " << n << " at " << normal.percent[n];
        if (normal.percent[n] > best) best = normal.percent[n];
    }
    EXPECT_FLOAT_EQ(best, 99.999f);
}

TEST_P(SampleEvaluation, EachCoronaryDefectLowersItsOwnSegmentsOnly) {
    const Scores normal = evaluate(study("normal"));
    for (const Territory& t : kTerritories) {
        const Scores defect = evaluate(study(t.name));
        for (int n = 1; n <= 17; n++) {
            if (t.segments.count(n)) {
                EXPECT_GE(defect.score[n], 1) << t.name << " sector " << n << " at " << defect.percent[n];
                EXPECT_LT(defect.percent[n], normal.percent[n] - 15) << t.name << " sector " << n;
            } else {
                EXPECT_EQ(defect.score[n], 0) << t.name << " sector " << n << " at " << defect.percent[n];
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Matrix, SampleEvaluation, ::testing::Values(64, 128),
                         [](const ::testing::TestParamInfo<int>& p) { return "matrix" + std::to_string(p.param); });

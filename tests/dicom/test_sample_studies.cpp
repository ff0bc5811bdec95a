// The sample studies that the build writes into samples/ of the build tree, opened by the program: each
// loads, gives its header values, and shows the left ventricle where the README's
// "Sample studies" section puts it (centre 128, 128, 128; base plane 128; outer
// semi-axes 70, 25, 25; inner 62, 17, 17; apex towards increasing i; anterior +k,
// lateral +j, septal -j, inferior -k).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "Dicom.h"
#include "headless.h"
#include "main.h"
#include "test_support.h"

namespace {

std::string sample_path(const std::string& name) {
    return std::string(VESMORA_BINARY_DIR) + "/samples/" + name + ".dcm";
}

// Mean of the 3 x 3 x 3 voxels around (i, j, k), so that one noisy voxel decides nothing.
float cube(int i, int j, int k) {
    float sum = 0;
    for (int a = -1; a <= 1; ++a)
        for (int b = -1; b <= 1; ++b)
            for (int c = -1; c <= 1; ++c) sum += volume_at(i + a, j + b, k + c);
    return sum / 27;
}

// Mid-wall radius of the documented model at level i (halfway between the two
// ellipsoids across the long axis), to the nearest voxel.
int mid_wall_radius(int i) {
    const double di = i - 128.0;
    const double outer = 25 * std::sqrt(1 - di * di / (70.0 * 70.0));
    const double inner = 17 * std::sqrt(1 - di * di / (62.0 * 62.0));
    return static_cast<int>((outer + inner) / 2 + 0.5);
}

struct Probe {
    const char* where;
    int i, j, k;
    const char* territory;
};

// One probe per mid sector at the mid-wall radius 20 of level 150, and the apex.
const Probe kProbes[] = {
    {"anterior", 150, 128, 148, "lad"},       {"anteroseptal", 150, 111, 138, "lad"},
    {"inferoseptal", 150, 111, 118, "rca"},   {"inferior", 150, 128, 108, "rca"},
    {"inferolateral", 150, 145, 118, "lcx"},  {"anterolateral", 150, 145, 138, "lcx"},
    {"apex", 191, 128, 128, "lad"},
};

class SampleStudies : public ::testing::TestWithParam<int> {
protected:
    // Opens the sample through the dialog as the user would; 1 when it loaded.
    int load(const std::string& name) {
        const std::string path = sample_path(name);
        if (!std::filesystem::exists(path)) {
            ADD_FAILURE() << path << " is missing: the build writes it (target samples)";
            return 0;
        }
        headless::queue_open_answer(path);
        return LOAD_DCM_FILE();
    }

    TempDir dir;
};

TEST_P(SampleStudies, LoadWithTheirHeaderValuesAndTheWallWhereTheReadmeSaysIt) {
    const int matrix = GetParam();
    start_in(dir.str());
    const std::string normal = "normal-" + std::to_string(matrix);
    ASSERT_EQ(load(normal), 1);

    EXPECT_EQ(NCZ, matrix);
    EXPECT_EQ(Data_NZ, matrix);
    EXPECT_EQ(ech, matrix);
    EXPECT_EQ(OrImSize_H, matrix);
    EXPECT_EQ(OrImSize_V, matrix);
    EXPECT_EQ(RAP, 1);  // the wheel step once the load is over
    EXPECT_STREQ(PAT_NAME, "ANONYME NORMAL");
    EXPECT_STREQ(PAT_SEX, "M ");  // one letter padded to an even length: the pad is kept
    EXPECT_STREQ(PAT_DATE, "14/03/1968");
    EXPECT_STREQ(ACQ_DATE, "15/09/2026");
    EXPECT_STREQ(PAT_AGE, "58");
    // '4.7952\4.7952' and '2.3976\2.3976': the first four significant digits.
    EXPECT_NEAR(VOXEL_SIZE_XY, matrix == 64 ? 0.4795f : 0.2397f, 1e-6f);
    EXPECT_NEAR(VOXEL_SIZE_Z, matrix == 64 ? 0.4795f : 0.2397f, 1e-6f);

    float lo = 1000, hi = -1000;
    for (int t = 0; t < VOL_SIZE; ++t) {
        lo = std::min(lo, data[t]);
        hi = std::max(hi, data[t]);
    }
    EXPECT_EQ(hi, 100.0f);
    EXPECT_GE(lo, 0.0f);

    // The wall is hot at the mid-wall radius in the four directions, the cavity cold.
    for (int i : {140, 150, 165}) {
        const int r = mid_wall_radius(i);
        SCOPED_TRACE("level " + std::to_string(i) + ", radius " + std::to_string(r));
        EXPECT_GT(cube(i, 128 + r, 128), 65.0f) << "lateral (+j)";
        EXPECT_GT(cube(i, 128, 128 + r), 65.0f) << "anterior (+k)";
        EXPECT_GT(cube(i, 128 - r, 128), 65.0f) << "septal (-j)";
        EXPECT_GT(cube(i, 128, 128 - r), 65.0f) << "inferior (-k)";
        EXPECT_LT(cube(i, 128, 128), 35.0f) << "cavity";
        EXPECT_LT(cube(i, 128, 128 + r + 12), 40.0f) << "outside the wall";
    }
    EXPECT_GT(cube(191, 128, 128), 65.0f) << "apex on the long axis";
    EXPECT_LT(cube(112, 148, 128), 30.0f) << "basal side of the base plane";
    EXPECT_LT(cube(216, 128, 128), 30.0f) << "beyond the apex";

    // Each defect study lowers the probes of its own territory and no other.
    std::map<const char*, float> reference;
    for (const Probe& p : kProbes) reference[p.where] = cube(p.i, p.j, p.k);
    // The names 'ANONYME^LAD' and so on have an odd length: the pad space is kept.
    const std::pair<const char*, const char*> defects[] = {
        {"lad", "ANONYME LAD "}, {"lcx", "ANONYME LCX "}, {"rca", "ANONYME RCA "}};
    for (const auto& [territory, patient] : defects) {
        const std::string name = std::string(territory) + "-" + std::to_string(matrix);
        SCOPED_TRACE(name);
        ASSERT_EQ(load(name), 1);
        EXPECT_STREQ(PAT_NAME, patient);
        for (const Probe& p : kProbes) {
            const float ratio = cube(p.i, p.j, p.k) / reference[p.where];
            if (std::strcmp(p.territory, territory) == 0)
                EXPECT_LT(ratio, 0.75f) << p.where;
            else
                EXPECT_GT(ratio, 0.85f) << p.where;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Matrices, SampleStudies, ::testing::Values(64, 128),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Matrix" + std::to_string(info.param);
                         });

}  // namespace

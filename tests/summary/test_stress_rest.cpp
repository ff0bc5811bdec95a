#include <gtest/gtest.h>

#include <vector>

#include "Stress_Rest.h"

namespace {

// Hand-made score sets: each line gives the stress and rest scores of a few segments (the
// others 0) and what the comparison must find.
TEST(StressRestTest, SumsClassesAndBandsFollowTheDefinitions) {
    struct Seg {
        int n, stress, rest;
    };
    const struct Case {
        const char* what;
        std::vector<Seg> segs;
        int sss, srs, sds;
        IschemiaBand band;
        TerritoryPair lad, rca, lcx;
    } cases[] = {
        {"all zero", {}, 0, 0, 0, ISCH_NONE, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
        // rest worse than stress counts in SRS, never lowers the SDS
        {"rest > stress", {{4, 0, 3}, {10, 1, 4}}, 1, 7, 0, ISCH_NONE, {0, 0, 0}, {1, 7, 0}, {0, 0, 0}},
        {"SDS 1", {{1, 1, 0}}, 1, 0, 1, ISCH_NONE, {1, 0, 1}, {0, 0, 0}, {0, 0, 0}},
        {"SDS 2", {{1, 1, 0}, {5, 2, 1}}, 3, 1, 2, ISCH_MILD, {1, 0, 1}, {0, 0, 0}, {2, 1, 1}},
        {"SDS 4", {{7, 4, 0}, {3, 2, 2}}, 6, 2, 4, ISCH_MILD, {4, 0, 4}, {2, 2, 0}, {0, 0, 0}},
        {"SDS 5", {{7, 4, 0}, {16, 1, 0}}, 5, 0, 5, ISCH_MODERATE, {4, 0, 4}, {0, 0, 0}, {1, 0, 1}},
        {"SDS 6", {{7, 4, 0}, {17, 3, 1}}, 7, 1, 6, ISCH_MODERATE, {7, 1, 6}, {0, 0, 0}, {0, 0, 0}},
        // a fixed segment beside a reversible one: only the latter counts in the SDS
        {"SDS 7", {{13, 4, 0}, {14, 3, 0}, {4, 4, 4}}, 11, 4, 7, ISCH_SEVERE, {7, 0, 7}, {4, 4, 0}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        int stress[18] = {}, rest[18] = {};
        for (const Seg& s : c.segs) stress[s.n] = s.stress, rest[s.n] = s.rest;
        StressRestComparison r;
        std::string why;
        ASSERT_TRUE(COMPARE_STRESS_REST(stress, rest, r, why)) << c.what << ": " << why;
        EXPECT_EQ(r.sss, c.sss) << c.what;
        EXPECT_EQ(r.srs, c.srs) << c.what;
        EXPECT_EQ(r.sds, c.sds) << c.what;
        EXPECT_DOUBLE_EQ(r.percent_ischemic, c.sds * 100.0 / 68) << c.what;
        EXPECT_EQ(r.band, c.band) << c.what;
        const TerritoryPair* want[4] = {nullptr, &c.lad, &c.rca, &c.lcx};
        for (int t = TERR_LAD; t <= TERR_LCX; ++t) {
            EXPECT_EQ(r.territory[t].sss, want[t]->sss) << c.what << " " << TERRITORY_NAME[t];
            EXPECT_EQ(r.territory[t].srs, want[t]->srs) << c.what << " " << TERRITORY_NAME[t];
            EXPECT_EQ(r.territory[t].sds, want[t]->sds) << c.what << " " << TERRITORY_NAME[t];
        }
        for (int n = 1; n <= 17; ++n) {
            EXPECT_EQ(r.difference[n], stress[n] - rest[n]) << c.what << " segment " << n;
            EXPECT_EQ(r.cls[n], SEGMENT_CLASS_OF(stress[n], rest[n]));
        }
    }
    // The classes at their edges.
    EXPECT_EQ(SEGMENT_CLASS_OF(0, 0), CLASS_NORMAL);
    EXPECT_EQ(SEGMENT_CLASS_OF(0, 3), CLASS_NORMAL);  // worse at rest: not a stress defect
    EXPECT_EQ(SEGMENT_CLASS_OF(3, 0), CLASS_REVERSIBLE);
    EXPECT_EQ(SEGMENT_CLASS_OF(3, 2), CLASS_PARTIAL);
    EXPECT_EQ(SEGMENT_CLASS_OF(2, 1), CLASS_PARTIAL);
    EXPECT_EQ(SEGMENT_CLASS_OF(2, 2), CLASS_FIXED);
    EXPECT_EQ(SEGMENT_CLASS_OF(1, 4), CLASS_FIXED);
    // All 4 at stress, all 0 at rest: the whole myocardium.
    int four[18], zero[18] = {};
    for (int& s : four) s = 4;
    StressRestComparison r;
    std::string why;
    ASSERT_TRUE(COMPARE_STRESS_REST(four, zero, r, why));
    EXPECT_EQ(r.sds, 68);
    EXPECT_DOUBLE_EQ(r.percent_ischemic, 100.0);
}

TEST(StressRestTest, RefusesWhatIsNotAScoreOrNotOnePatient) {
    int stress[18] = {}, rest[18] = {};
    rest[9] = 5;
    StressRestComparison r;
    std::string why;
    EXPECT_FALSE(COMPARE_STRESS_REST(stress, rest, r, why));
    EXPECT_NE(why.find("segment 9"), std::string::npos) << why;
    EXPECT_NE(why.find("repos"), std::string::npos) << why;
    rest[9] = 0, stress[2] = -1;
    EXPECT_FALSE(COMPARE_STRESS_REST(stress, rest, r, why));
    EXPECT_NE(why.find("effort"), std::string::npos) << why;

    EXPECT_EQ(PAIR_PATIENT_MISMATCH("PAT-1", " PAT-1 "), "");
    const std::string other = PAIR_PATIENT_MISMATCH("PAT-1", "PAT-2");
    EXPECT_NE(other.find("PAT-1"), std::string::npos);
    EXPECT_NE(other.find("PAT-2"), std::string::npos);
    EXPECT_NE(PAIR_PATIENT_MISMATCH("", ""), "");
    EXPECT_NE(PAIR_PATIENT_MISMATCH("PAT-1", "  "), "");
}

}  // namespace

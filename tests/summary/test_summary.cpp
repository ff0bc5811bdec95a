#include <gtest/gtest.h>

#include "Clinical_Summary.h"

namespace {

// Scores spread so that each territory's sum differs: LAD segments score 1, RCA 2, LCx 0.
TEST(ClinicalSummaryTest, TerritoriesFollowTheStandardModel) {
    float pct[18] = {};
    int score[18] = {};
    const int lad[] = {1, 2, 7, 8, 13, 14, 17}, rca[] = {3, 4, 9, 10, 15}, lcx[] = {5, 6, 11, 12, 16};
    for (int n : lad) score[n] = 1, pct[n] = 60;
    for (int n : rca) score[n] = 2, pct[n] = 40;
    for (int n : lcx) score[n] = 0, pct[n] = 80 + n;  // 85, 86, 91, 92, 96
    ClinicalSummary s = CLINICAL_SUMMARY(pct, score);
    EXPECT_EQ(s.summed_score, 17);
    EXPECT_DOUBLE_EQ(s.percent_abnormal, 25.0);
    EXPECT_EQ(s.severity, SEV_SEVERE);
    ASSERT_EQ(s.territory[TERR_LAD].count, 7);
    ASSERT_EQ(s.territory[TERR_RCA].count, 5);
    ASSERT_EQ(s.territory[TERR_LCX].count, 5);
    EXPECT_EQ(s.territory[TERR_NONE].count, 0);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(s.territory[TERR_LAD].segments[i], lad[i]);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(s.territory[TERR_RCA].segments[i], rca[i]);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(s.territory[TERR_LCX].segments[i], lcx[i]);
    EXPECT_EQ(s.territory[TERR_LAD].summed_score, 7);
    EXPECT_EQ(s.territory[TERR_RCA].summed_score, 10);
    EXPECT_EQ(s.territory[TERR_LCX].summed_score, 0);
    EXPECT_DOUBLE_EQ(s.territory[TERR_LAD].mean_percent, 60.0);
    EXPECT_DOUBLE_EQ(s.territory[TERR_LCX].mean_percent, 90.0);
    // Entry 0 of the tables is never read.
    pct[0] = 1e9f, score[0] = 99;
    EXPECT_EQ(CLINICAL_SUMMARY(pct, score).summed_score, 17);
}

TEST(ClinicalSummaryTest, SeverityBandsChangeAtTheirEdges) {
    const struct { int sum; Severity band; } cases[] = {
        {0, SEV_NORMAL}, {3, SEV_NORMAL}, {4, SEV_MILD}, {8, SEV_MILD}, {9, SEV_MODERATE},
        {13, SEV_MODERATE}, {14, SEV_SEVERE}, {68, SEV_SEVERE}};
    for (const auto& c : cases) {
        float pct[18] = {};
        int score[18] = {};
        for (int n = 1, left = c.sum; n <= 17 && left > 0; ++n) left -= score[n] = left < 4 ? left : 4;
        ClinicalSummary s = CLINICAL_SUMMARY(pct, score);
        EXPECT_EQ(s.summed_score, c.sum);
        EXPECT_EQ(s.severity, c.band) << "summed score " << c.sum;
    }
    const float none[18] = {};
    const int worst[18] = {0, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};
    EXPECT_DOUBLE_EQ(CLINICAL_SUMMARY(none, worst).percent_abnormal, 100.0);
}

}  // namespace

TEST(ClinicalSummaryTest, StudyKindIsReadFromWholeWordsOfTheSeriesDescription) {
    EXPECT_EQ(STUDY_KIND_OF("TOMO STRESS MIBI"), KIND_STRESS);
    EXPECT_EQ(STUDY_KIND_OF("myo_post-effort"), KIND_STRESS);
    EXPECT_EQ(STUDY_KIND_OF("Repos 4h"), KIND_REST);
    EXPECT_EQ(STUDY_KIND_OF("REST"), KIND_REST);
    EXPECT_EQ(STUDY_KIND_OF("Interest restoration"), KIND_UNKNOWN);  // words, not pieces of words
    EXPECT_EQ(STUDY_KIND_OF("Stress/Rest"), KIND_UNKNOWN);          // both: the name says neither
    EXPECT_EQ(STUDY_KIND_OF(""), KIND_UNKNOWN);
    EXPECT_EQ(STUDY_KIND_OF(nullptr), KIND_UNKNOWN);
}

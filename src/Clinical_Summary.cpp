#include "Clinical_Summary.h"

#include <cctype>
#include <string>

Severity SEVERITY_OF(int summed_score) {
    if (summed_score <= 3) return SEV_NORMAL;
    if (summed_score <= 8) return SEV_MILD;
    if (summed_score <= 13) return SEV_MODERATE;
    return SEV_SEVERE;
}

ClinicalSummary CLINICAL_SUMMARY(const float secteur[SECTOR_COUNT + 1], const int score[SECTOR_COUNT + 1]) {
    ClinicalSummary s{};
    for (int n = 1; n <= SECTOR_COUNT; ++n) {
        s.summed_score += score[n];
        TerritorySummary& t = s.territory[SECTORS[n].territory];
        t.segments[t.count++] = n;
        t.summed_score += score[n];
        t.mean_percent += secteur[n];
    }
    for (TerritorySummary& t : s.territory)
        if (t.count > 0) t.mean_percent /= t.count;
    s.percent_abnormal = s.summed_score * 100.0 / MAX_SUMMED_SCORE;
    s.severity = SEVERITY_OF(s.summed_score);
    return s;
}

StudyKind STUDY_KIND_OF(const char* series_description) {
    bool stress = false, rest = false;
    std::string word;
    const auto take = [&] {
        stress = stress || word == "stress" || word == "effort";
        rest = rest || word == "rest" || word == "repos";
        word.clear();
    };
    for (const char* p = series_description ? series_description : ""; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (std::isalpha(c) && c < 0x80)
            word += static_cast<char>(std::tolower(c));
        else
            take();
    }
    take();
    return stress == rest ? KIND_UNKNOWN : stress ? KIND_STRESS : KIND_REST;
}

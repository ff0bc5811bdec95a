// The clinical summary of an evaluation: the summed score of the 17 segments, the
// share of the myocardium found abnormal, the severity band, and the score and mean
// uptake of each coronary territory. Computed from the per-sector tables the
// evaluation fills (SECTEUR, SCORE); reports, exports and the command-line tool read it.
#ifndef VESMORA_CLINICAL_SUMMARY_H
#define VESMORA_CLINICAL_SUMMARY_H

#include "sectors.h"

constexpr int MAX_SUMMED_SCORE = 4 * SECTOR_COUNT;  // 68

// Severity bands of the summed score: 0..3, 4..8, 9..13, 14 and more (indicative bands).
enum Severity { SEV_NORMAL, SEV_MILD, SEV_MODERATE, SEV_SEVERE };
inline constexpr int SEVERITY_LOWER_BOUND[4] = {0, 4, 9, 14};
inline constexpr const char* SEVERITY_NAME[4] = {
    "normal", "l\xE9g\xE8rement anormal", "mod\xE9r\xE9ment anormal", "s\xE9v\xE8rement anormal"};

// The territories as French texts name them (records and SR keep TERRITORY_NAME as codes):
// IVA (interventriculaire antérieure), CD (coronaire droite), Cx (circonflexe).
inline constexpr const char* TERRITORY_NAME_FR[4] = {"", "IVA", "CD", "Cx"};
inline constexpr const char* TERRITORY_FULL_NAME_FR[4] = {"", "interventriculaire ant\xE9rieure", "coronaire droite",
                                                          "circonflexe"};

// Whether a study is a stress or a rest acquisition, as its Series Description says
// ("stress", "effort", "rest", "repos" as words, any case); unknown otherwise or both.
enum StudyKind { KIND_UNKNOWN, KIND_STRESS, KIND_REST };
StudyKind STUDY_KIND_OF(const char* series_description);
// The summed score's name for that kind: "Score sommé", "Score sommé d'effort (SSS)",
// "Score sommé de repos (SRS)" (Latin-1).
inline constexpr const char* SUMMED_SCORE_NAME[3] = {"Score somm\xE9", "Score somm\xE9 d'effort (SSS)",
                                                     "Score somm\xE9 de repos (SRS)"};

struct TerritorySummary {
    int count;             // segments in the territory (LAD 7, RCA 5, LCx 5)
    int segments[7];       // their numbers, in increasing order
    int summed_score;      // sum of their scores
    double mean_percent;   // mean of their uptakes
};

struct ClinicalSummary {
    int summed_score;            // 0..68
    double percent_abnormal;     // summed_score / 68 x 100
    Severity severity;
    TerritorySummary territory[4];  // indexed by Territory; entry TERR_NONE stays empty
};

Severity SEVERITY_OF(int summed_score);

// The summary of per-sector uptakes and scores (entries 1..17; entry 0 is not read).
ClinicalSummary CLINICAL_SUMMARY(const float secteur[SECTOR_COUNT + 1], const int score[SECTOR_COUNT + 1]);

#endif

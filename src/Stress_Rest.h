// The pair a physician reads: the same patient at stress and at rest, each study analysed
// alone (its own model, its own normalisation), then compared segment by segment:
// SSS (summed stress score), SRS (summed rest score), per segment difference = stress - rest,
// SDS = sum of the positive differences, ischemic myocardium = SDS / 68 x 100, each segment's
// class and the ischemia band (indicative, like the severity bands), per territory too.
#ifndef VESMORA_STRESS_REST_H
#define VESMORA_STRESS_REST_H

#include <string>

#include "Clinical_Summary.h"

// normal: stress score 0; reversible: stress > 0, rest 0; partially reversible: 0 < rest < stress;
// fixed: rest >= stress > 0.
enum SegmentClass { CLASS_NORMAL, CLASS_REVERSIBLE, CLASS_PARTIAL, CLASS_FIXED };
inline constexpr const char* SEGMENT_CLASS_CODE[4] = {"normal", "reversible", "partially-reversible", "fixed"};
inline constexpr const char* SEGMENT_CLASS_FR[4] = {"normal", "r\xE9versible", "partiellement r\xE9versible", "fixe"};
// The difference map's colours (red, green, blue), one per class.
inline constexpr unsigned char SEGMENT_CLASS_RGB[4][3] = {
    {225, 225, 225}, {220, 40, 40}, {245, 160, 40}, {60, 80, 200}};

// Ischemia bands of the SDS: 0..1, 2..4, 5..6, 7 and more.
enum IschemiaBand { ISCH_NONE, ISCH_MILD, ISCH_MODERATE, ISCH_SEVERE };
inline constexpr int ISCHEMIA_LOWER_BOUND[4] = {0, 2, 5, 7};
inline constexpr const char* ISCHEMIA_CODE[4] = {"none", "mild", "moderate", "severe"};
inline constexpr const char* ISCHEMIA_FR[4] = {"pas d'isch\xE9mie", "isch\xE9mie l\xE9g\xE8re",
                                               "isch\xE9mie mod\xE9r\xE9\x65", "isch\xE9mie s\xE9v\xE8re"};

struct TerritoryPair {
    int sss, srs, sds;
};

struct StressRestComparison {
    int stress[SECTOR_COUNT + 1], rest[SECTOR_COUNT + 1];  // the scores compared (entry 0 stays 0)
    int difference[SECTOR_COUNT + 1];  // stress score - rest score (entry 0 stays 0)
    SegmentClass cls[SECTOR_COUNT + 1];
    int sss, srs, sds;        // 0..68 each
    double percent_ischemic;  // sds / 68 x 100
    IschemiaBand band;
    TerritoryPair territory[4];  // indexed by Territory; entry TERR_NONE stays 0
};

SegmentClass SEGMENT_CLASS_OF(int stress_score, int rest_score);
IschemiaBand ISCHEMIA_OF(int sds);

// The comparison of the two studies' scores (entries 1..17). A score outside 0..4 is not a
// score the evaluation gives: false, and `why` (Latin-1) names the segment and the study.
bool COMPARE_STRESS_REST(const int stress[SECTOR_COUNT + 1], const int rest[SECTOR_COUNT + 1],
                         StressRestComparison& out, std::string& why);

// "" when the two Patient IDs (blanks at either end ignored) name the same patient; else the
// French reason (Latin-1) naming both, e.g. "Les deux \xE9tudes ne sont pas du m\xEAme patient
// (effort : ID 123, repos : ID 456)." An ID missing from either study cannot show that they are one patient.
std::string PAIR_PATIENT_MISMATCH(const std::string& stress_id, const std::string& rest_id);

// The difference map: the polar map with each segment in its class's colour, white outside,
// the grid in black, into the caller's 400 x 400 buffer (blue, green, red, lowest line first);
// drawn by Display.cpp.
int DRAW_DIFFERENCE_MAP(unsigned char* buf, const StressRestComparison& c);

#endif

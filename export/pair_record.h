// The comparison of a stress/rest pair as JSON (UTF-8), and the pair's row in a CSV table.
//
// Comparison: {"sss", "srs", "sds", "percent_ischemic", "ischemia" (none, mild, moderate, severe),
//   "segments": [{"number", "stress_score", "rest_score", "difference", "class"} x 17],
//   "territories": {"LAD"|"RCA"|"LCx": {"sss", "srs", "sds"}}}
// with the classes as codes: normal, reversible, partially-reversible, fixed.
#ifndef VESMORA_EXPORT_PAIR_RECORD_H
#define VESMORA_EXPORT_PAIR_RECORD_H

#include <string>

#include <nlohmann/json.hpp>

#include "Stress_Rest.h"

nlohmann::json comparison_record(const StressRestComparison& c);

// The 17 scores of a study record (its "segments"); false when the record does not hold 17
// segments numbered 1..17 with whole scores.
bool record_scores(const nlohmann::json& record, int score[SECTOR_COUNT + 1]);

// The CSV table of pairs {"stress": record, "rest": record, "comparison": ...}: a header line,
// then a line per pair (both files, patient ID, both exam dates, SSS, SRS, SDS, % ischemic, band,
// each territory's SDS, the 17 classes).
std::string pair_csv_header();
std::string pair_csv_row(const nlohmann::json& pair);

#endif

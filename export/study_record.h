// The record of one analysed study, as JSON (UTF-8), and its row in a CSV table.
//
// Record: {"file", "patient": {"name", "id", "sex", "birth_date", "age", "age_computed", "exam_date"},
//   "model": {the model file's keys (with the study it is placed on), "levels": [5 ring levels]},
//   "segments": [{"number", "name_fr", "name_en", "territory", "percent", "score"} x 17],
//   "summed_score", "percent_myocardium_abnormal", "severity",
//   "territories": {"LAD"|"RCA"|"LCx": {"segments", "summed_score", "mean_percent"}}, "version",
//   "function" (a gated study only): {"measured": true, "edv_ml", "esv_ml", "ef_percent", "ed_gate",
//     "es_gate", "gates": [{"gate", "volume_ml"}...], "flags": [warnings], "method_note"}
//     or {"measured": false, "reason"}}
// A segment's "percent" is the program's single-precision value, printed as the shortest
// number that reads back to it; volumes are rounded to 0.1 mL and the EF to 0.1 %.
#ifndef VESMORA_EXPORT_STUDY_RECORD_H
#define VESMORA_EXPORT_STUDY_RECORD_H

#include <string>

#include <nlohmann/json.hpp>

#include "Gated_Function.h"

// The record of the program's state after "Résultats"; `file` is stored as given. A gated
// study's record carries its `function` (null: the study is not gated, no "function" key).
nlohmann::json study_record(const std::string& file, const GatedFunction* function = nullptr);

// The record of a gated study whose perfusion was refused (`why`, UTF-8) but whose function
// was measured on the model placed on its gates about end diastole: "file", "patient",
// "perfusion_refused", "function" (with "model_on_gates": [last, 1, 2]), "version"; no
// model, segments or scores (csv_row leaves their fields empty).
nlohmann::json function_only_record(const std::string& file, const GatedFunction& function, const std::string& why);

// The record's "function" object (texts in UTF-8).
nlohmann::json function_json(const GatedFunction& f);

// The CSV table of records: a header line, then one line per record (file, patient name,
// patient ID, exam date, the 17 percentages, the 17 scores, summed score, severity, then the
// function: edv_ml, esv_ml, ef_percent, empty when not measured, and function_flags, its
// warnings joined by " ; " or why it was not measured); fields quoted where they hold a
// comma, a quote, a line break or an outer blank.
std::string csv_header();
std::string csv_row(const nlohmann::json& record);
// One CSV field, quoted as csv_row quotes them.
std::string csv_field(const std::string& s);

#endif

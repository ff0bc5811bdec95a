// The analysis of one study as `analyze` runs it, for the subcommands that analyse studies
// (cmd_analyze.cpp): in this process, or on worker processes that each start once and take
// study after study.
#ifndef VESMORA_CLI_ANALYZE_H
#define VESMORA_CLI_ANALYZE_H

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// One study and how to analyse it. Empty texts leave a step out: no model file (then the
// slices, else the automatic placement), no pictures, report or DICOM objects.
struct StudyRequest {
    std::string study;  // the DICOM file
    std::string stem;   // the outputs' stem ("" : the file's own)
    std::string model, slices, pdf_dir, png_dir, dicom_dir;
    bool force_model = false;
    int choose = -1;  // a CD's DICOMDIR: the series its chooser opens (from 0); -1 none
    std::string bull_dir;  // a pair's page: the bull's-eye in the report's palette, raw, as DIR/STEM.bgr
};

// What came of one study: its record (null when refused), or why it was refused (UTF-8),
// and why its DICOM objects alone could not be made (the record stands).
struct StudyOutcome {
    nlohmann::json record;
    std::string refusal;
    std::string dicom_refused;
    // A gated study refused for its perfusion whose function was measured all the same
    // (see function_only_record), else null.
    nlohmann::json function_only;
};

// Analyses one study in this process, its program state first set back to a fresh
// process's: {"record": {...}} (with "dicom_refused" when its objects were not made) or
// {"refused": "text"} (with "function_only": {...} when a gated study refused for its
// perfusion had its function measured all the same). A study that ends the program (a rescaled file, memory) hands
// back its refusal with the exit "status" through `answer` before the process ends.
// The program folder must have been set (use_program_folder).
nlohmann::json analyze_study_here(const StudyRequest& request);

// Runs the studies on at most `jobs` worker processes (children of this tool, forked from
// the calling thread while no other thread of the tool runs), each worker taking study
// after study; a study still running after `timeout` seconds, or whose worker crashes, is
// refused and its worker replaced. Outcomes come in the order of the requests; `done` is
// called as each study ends (in any order).
std::vector<StudyOutcome> analyze_studies(const std::vector<StudyRequest>& requests, unsigned jobs, double timeout,
                                          const std::function<void(std::size_t, const StudyOutcome&)>& done);

// One answer handed back to the parent as one line (a worker's, or a study's own process's).
void hand_back_answer(const nlohmann::json& answer);

#endif

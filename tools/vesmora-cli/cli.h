// vesmora-cli: the program run headless. Each subcommand registers itself
// from its own file.
#ifndef VESMORA_CLI_H
#define VESMORA_CLI_H

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analyze.h"  // StudyOutcome

// " — détail : " and a system's or library's own words (UTF-8).
inline std::string detail(const std::string& what) { return " \xE2\x80\x94 d\xC3\xA9tail : " + what; }

// FILE and --app-folder, shared by the subcommands that read one DICOM file.
struct FileArgs {
    std::string file, folder;
};
inline void add_file_args(CLI::App* cmd, FileArgs& args) {
    cmd->add_option("FILE", args.file, "DICOM file")->required();
    cmd->add_option("--app-folder", args.folder,
                    "Program folder: PALETS, log.txt (default: a private folder made for this run with the "
                    "tool's PALETS, removed at the end)");
}

// Each adds its subcommand to the app; the callback runs it and sets the exit status.
void add_header_command(CLI::App& app, int& status);
void add_sample_command(CLI::App& app, int& status);
void add_replay_command(CLI::App& app, int& status);
void add_load_command(CLI::App& app, int& status);
void add_validate_auto_command(CLI::App& app, int& status);
void add_validate_function_command(CLI::App& app, int& status);
void add_analyze_command(CLI::App& app, int& status);
void add_pacs_command(CLI::App& app, int& status);

// --- one run's program folder, its log and what the program showed (run.cpp) ------------

// Points the program at its folder for this run: app_folder when given, else a private
// folder made for this run under the temporary folder, holding a copy of the PALETS
// beside the tool and removed when the tool ends, so that two runs never share a log.
// A folder whose paths would not fit the program's path buffer is refused: false,
// with the reason on standard error after "vesmora-cli COMMAND: ".
bool use_program_folder(const std::string& app_folder, const char* command);

// The file the program writes its log to; "" before start-up has made it.
std::string log_path();

// Prints "--- PATH ---" and the log of this run, or that it could not be written and why
// (an older file left there is not shown).
void print_log();

// Prints every box the program showed, in order, as "--- box "TITLE" ---" and its text.
void print_boxes();

// Prints how the program ended itself ("Exit       : ..."), then the boxes (when asked) and
// the log so far; the subcommands set it up as the program's last words before an exit.
void print_ending(int status, bool boxes);

// "" when path can be opened as a file for reading, else why not ("c'est un dossier", or the
// system's own text).
std::string unreadable(const std::string& path);
// "" when path can be opened as a file for reading, else the French message that says so
// (UTF-8): "impossible <verb> PATH : c'est un dossier", or the system's text after " — détail : ".
std::string cannot_open(const std::string& path, const char* verb = "d'ouvrir");

// --- analyze's run of studies, for the stress/rest pairs (cmd_analyze.cpp, cmd_pair.cpp) ------

// Studies analysed each in a process of its own, exactly as `analyze` analyses them.
struct StudyBatch {
    std::vector<std::string> studies;
    std::vector<std::string> stems;  // one per study, none twice (their outputs' names)
    std::string model, slices, pdf_dir, png_dir, dicom_dir;
    std::vector<std::string> models;  // when set, one per study: its model file, in place of `model`
    std::string bull_dir;  // when set: each study's bull's-eye in the report's palette, raw, as DIR/STEM.bgr
    bool force_model = false;
    unsigned jobs = 1;
    double timeout = 120;
};
// The outcomes in the order of the studies.
std::vector<StudyOutcome> analyze_batch(const StudyBatch& batch);

// The pair options of `analyze` (--stress, --rest, --pairs, --model-stress, --model-rest).
struct PairArgs {
    std::string stress, rest, pairs_csv, model_stress, model_rest;
    bool requested() const { return !stress.empty() || !rest.empty() || !pairs_csv.empty(); }
};
void add_pair_options(CLI::App* analyze, PairArgs& args);
// Runs the pairs with analyze's other options (common.studies and common.stems are not read);
// the exit status: 0, 2 (usage, files), 3 (a study or a pair refused), 4 (the archive).
int analyze_pairs(const PairArgs& args, StudyBatch common, const std::string& model, const std::string& json_out,
                  const std::string& csv_out, bool send);

#endif

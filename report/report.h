// The report of an evaluation: the French report page (one A4 page, as a PDF or
// as RGB pixels), the program's pictures as PNG files, and the SHA-256 of the file
// analysed. Qt draws and writes them inside; no Qt type shows here. Every function
// reads the program's current state (after "Résultats") and runs on its thread.
//
// Texts returned to users are Latin-1, like every text of the program (a path in
// them keeps its own bytes); files written are encoded as their format says.
#ifndef VESMORA_REPORT_H
#define VESMORA_REPORT_H

#include <optional>
#include <string>
#include <vector>

#include "Gated_Function.h"

// How the model was placed, as the page says it. Unknown: the page says nothing of it (a
// model that is still the one "Centrer volume" places, not fitted, is flagged all the same).
enum class Placement { Unknown, Auto, ModelFile, Slices };

struct ReportInfo {
    std::string file;         // the study analysed (local 8-bit path)
    std::string sha256;       // its checksum, hex
    std::string analysed_at;  // "07/12/2026 14:03"
    Placement placement = Placement::Unknown;
    std::string model_file = {};  // with Placement::ModelFile: the model file (local 8-bit path)
    bool adjusted = false;        // the model was moved or reshaped by hand after it was placed
    // A gated study's function as measured (or why not): the page gives it a box of its
    // own beside the pictures. None: the study is not gated, the page is as before.
    std::optional<GatedFunction> function = {};
};

// A QGuiApplication on the offscreen platform when none exists (the command-line tool).
void report_ensure_gui();

// SHA-256 of a file's bytes as 64 lower-case hex digits; "" when it cannot be read.
std::string file_sha256(const std::string& path);

// The report page of the program's current state as RGB bytes, 3 per pixel, top row
// first (A4 at 150 dots per inch: 1240 x 1754). Empty (0 x 0) before "Résultats".
std::vector<unsigned char> report_page_rgb(const ReportInfo& info, int& width, int& height);

// The same page as a one-page A4 PDF. Written beside `path` first and renamed over it,
// so a failure leaves any earlier file whole. False with a French `error` on failure.
bool write_report_pdf(const std::string& path, const ReportInfo& info, std::string& error);

// The three views, the palette bar and the four result pictures, each as drawn by the
// program, as dir/stem-<name>.png: hla, vla, sa, palette, bull, sectors, scores,
// lateral. The folder is made when missing. What the window shows is left as it was.
bool write_pictures_png(const std::string& dir, const std::string& stem, std::string& error);

// --- The stress/rest pair: one French A4 page, and its difference map --------------------------
// Everything the page shows is given here (each study's values as its own analysis gave them),
// so it needs no study loaded: vesmora-cli draws it from two studies' records.
struct PairStudyInfo {
    std::string file, sha256;       // the study (local 8-bit path), its checksum
    std::string exam_date, series;  // Latin-1, as the file gives them
    Placement placement = Placement::Unknown;
    std::string model_file = {};
    bool adjusted = false;   // moved or reshaped by hand after it was placed
    float percent[18] = {};  // entries 1..17
    int score[18] = {};
    std::vector<unsigned char> bull = {};  // 400 x 400 as DRAW_RES draws it in the report's palette; empty: not shown
};
struct PairReportInfo {
    std::string patient_name, patient_id, sex, birth_date, age;  // Latin-1
    PairStudyInfo stress, rest;
    std::string analysed_at;
};

// The pair's page as RGB bytes (1240 x 1754, as report_page_rgb); empty when the scores cannot be compared.
std::vector<unsigned char> pair_page_rgb(const PairReportInfo& info, int& width, int& height);
// The same page as a one-page A4 PDF, written whole. False with a French `error` on failure.
bool write_pair_pdf(const std::string& path, const PairReportInfo& info, std::string& error);
// The difference map (segments coloured by class) as a 400 x 400 PNG, written whole.
bool write_difference_png(const std::string& path, const PairReportInfo& info, std::string& error);

#endif

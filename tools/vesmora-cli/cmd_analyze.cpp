// vesmora-cli analyze STUDY... [--auto | --model FILE [--force-model] | --slices I,J,K]
//                              [--json OUT] [--csv OUT] [--pdf DIR] [--png DIR] [--dicom DIR]
//                              [--send] [--jobs N] [--timeout S]
//
// Each study is analysed as a user would: opened as "Ouvrir" opens it, the model
// placed automatically (or from the model file, or by "Centrer volume" at the slices),
// "Résultats" pressed, then its pictures, report and DICOM objects written; a gated study's
// function (EDV, ESV, EF) is measured on the model placed and goes into its record, CSV row,
// report and SR, with its warnings, or why it was not measured. A study
// where no ventricle is found, or that is another patient's than the model file's
// (without --force-model), is refused; a gated one the automatic placement refuses keeps
// its function, measured on the model placed on its gates about end diastole, in a record
// without perfusion (function_only_record). Outputs are named by src/Output_Names.h after the
// study file's stem; studies of one run sharing a stem get "-2", "-3"... so that none
// overwrites another, and each record lists the files written for it. A study whose DICOM
// objects cannot be made (no Study Instance UID) keeps its record and other outputs; the
// objects are named refused on standard error. The program's state is one per process, so
// the studies run in worker processes (analyze_workers.cpp): up to --jobs of them, each
// taking study after study with its state set back to a fresh process's, handing back each
// record (or refusal, the French text the program showed) as one JSON object. A study still
// running after --timeout seconds, or whose worker crashes, is refused and its worker
// replaced; the records come out in the order of the studies.
// A refused study is named with its message on standard error, the others go on, and
// the run ends with status 3. With --send, the Secondary Captures and SRs written are then
// stored in the archive of the saved settings over one association (status 4 when it fails).
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Auto_Place.h"
#include "Display.h"
#include "Gated_Function.h"
#include "Main_Wnd_Proc.h"
#include "Model_Place.h"
#include "Output_Names.h"
#include "analyze.h"
#include "cli.h"
#include "headless.h"
#include "layout.h"
#include "main.h"
#include "model_file.h"
#include "study_record.h"
#include "text.h"
#include "write_whole.h"
#ifdef VESMORA_HAVE_REPORT
#include "export_hooks.h"
#include "report.h"
#endif
#ifdef VESMORA_HAVE_DICOM_EXPORT
#include "pacs.h"
#endif
#ifdef VESMORA_HAVE_DICOM_IMPORT
#include "dicomdir.h"
#endif

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct Options {
    std::vector<std::string> studies;
    std::string model, slices, json_out, csv_out, pdf_dir, png_dir, dicom_dir;
    std::string stem;  // one study's process: the stem its outputs are named after
    // A CD's DICOMDIR stands for each of its series: the line its chooser gives (from 0, -1 none)
    // and the name its outputs take, one per entry of `studies` (empty: the file's own).
    std::vector<int> choices;
    std::vector<std::string> names;
    int choose = -1;  // one study's process: the chooser's answer
    std::string bull_dir;            // the bull's-eye for a pair's page (StudyBatch)
    std::vector<std::string> stems;  // given by the pairs: the studies' stems
    std::vector<std::string> models;  // given by the pairs: each study's model file
    unsigned jobs = 0;
    double timeout = 120;
    bool send = false, auto_place = false, force_model = false;
};

// The records as written: UTF-8 kept, bad bytes replaced.
std::string dump(const json& j, int indent = -1) {
    return j.dump(indent, ' ', false, json::error_handler_t::replace);
}

bool parse_slices(const std::string& text, int out[3]) {
    char tail = 0;
    return std::sscanf(text.c_str(), "%d,%d,%d%c", &out[0], &out[1], &out[2], &tail) == 3 &&
           out[0] >= 0 && out[0] <= 255 && out[1] >= 0 && out[1] <= 255 && out[2] >= 0 && out[2] <= 255;
}

std::string stem_of(const std::string& study) { return output_stem(fs::path(study).stem().string()); }
std::string in_dir(const std::string& dir, const std::string& name) { return (fs::path(dir) / name).string(); }

// ---------------------------------------------------------------------------------------------
// One study, in a worker process
// ---------------------------------------------------------------------------------------------
std::size_t boxes_before = 0;

// The text the program showed last since the study was opened, else the fallback; in UTF-8.
std::string last_box(const char* fallback) {
    const auto& boxes = headless::state().boxes;
    return latin1_to_utf8(boxes.size() > boxes_before ? boxes.back().text : fallback);
}

// The program ends itself (a rescaled file, memory): its last box is the study's refusal.
void refused_at_exit(int status) {
    hand_back_answer({{"refused", last_box("Le programme s'est termin\xE9.")}, {"status", status}});
}

// How the model is placed: the record's "placement".
const char* placement_code(const StudyRequest& r) {
    return !r.model.empty() ? "model-file" : !r.slices.empty() ? "slices" : "auto";
}

#if defined(VESMORA_HAVE_REPORT)
std::string now_text() {
    const std::time_t t = std::time(nullptr);
    char buf[32];
    std::strftime(buf, sizeof buf, "%d/%m/%Y %H:%M", std::localtime(&t));
    return buf;
}
#endif

// A study's outputs before any is written.
json no_outputs() { return {{"pdf", nullptr}, {"png", json::array()}, {"sc", nullptr}, {"sr", nullptr}}; }

// Writes the study's pictures and report, then its DICOM objects, listing in `outputs`
// what it wrote. "" or why the study is refused (UTF-8); `dicom_refused` says why its
// DICOM objects alone could not be made (the rest stands).
std::string write_outputs(const StudyRequest& o, const std::optional<GatedFunction>& function, json& outputs,
                          std::string& dicom_refused) {
    const std::string& study = o.study;
    const std::string stem = o.stem.empty() ? stem_of(study) : o.stem;
    outputs = no_outputs();
    std::string error;
#if defined(VESMORA_HAVE_REPORT)
    if (!o.png_dir.empty() || !o.pdf_dir.empty() || !o.dicom_dir.empty()) report_ensure_gui();
    if (!o.png_dir.empty()) {
        if (!write_pictures_png(o.png_dir, stem, error)) return program_text_to_utf8(error);
        for (const char* picture : {"hla", "vla", "sa", "palette", "bull", "sectors", "scores", "lateral"})
            outputs["png"].push_back(in_dir(o.png_dir, picture_png_name(stem, picture)));
    }
    ReportInfo info{study, file_sha256(study), now_text()};
    info.placement = !o.model.empty() ? Placement::ModelFile : !o.slices.empty() ? Placement::Slices : Placement::Auto;
    info.model_file = o.model;
    info.function = function;
    if (!o.pdf_dir.empty()) {
        const std::string pdf = in_dir(o.pdf_dir, report_pdf_name(stem));
        if (!write_report_pdf(pdf, info, error)) return program_text_to_utf8(error);
        outputs["pdf"] = pdf;
    }
#if defined(VESMORA_HAVE_DICOM_EXPORT)
    if (!o.dicom_dir.empty()) {  // both objects, or neither, as the desktop writes them
        if (!write_dicom_objects(o.dicom_dir, stem, info, error)) {
            dicom_refused = program_text_to_utf8(error);
            return "";
        }
        outputs["sc"] = in_dir(o.dicom_dir, secondary_capture_name(stem));
        outputs["sr"] = in_dir(o.dicom_dir, structured_report_name(stem));
    }
#endif
#endif
    (void)o, (void)function, (void)stem, (void)error, (void)dicom_refused;
    return "";
}

// The study's answer, from the program's start to its outputs.
json run_study(const StudyRequest& o) {
    const std::string& study = o.study;
    // A fresh process's state: no window, bitmap, box or posted message left from the study
    // before, then the whole start-up (every program-wide variable to its start value).
    headless::reset();
    STARTUP();
    boxes_before = headless::state().boxes.size();
    const std::string why = unreadable(study);
    if (!why.empty()) return {{"refused", latin1_to_utf8("Impossible d'ouvrir ce fichier.") + detail(why)}};
    if (o.choose >= 0) headless::state().choose_answers.push_back(o.choose);  // a CD's series
    OPEN_STUDY(study.c_str());  // as "Ouvrir" opens the file the dialog gives
    if (load_ok != 1) return {{"refused", last_box("Ce fichier n'a pas pu \xEAtre ouvert.")}};
    if (!o.model.empty()) {
        ModelValues v;
        ModelIdentity made_on;
        std::string error;
        char place_why[200] = "";
        if (!read_model_file(o.model, v, made_on, error)) return {{"refused", program_text_to_utf8(error)}};
        const std::string other = model_identity_mismatch(made_on, current_model_identity());
        if (!other.empty() && !o.force_model)
            return {{"refused", latin1_to_utf8(other + " Ajoutez --force-model pour l'y appliquer quand m\xEAme.")}};
        if (!PLACE_MODEL(v, place_why, sizeof place_why)) return {{"refused", latin1_to_utf8(place_why)}};
    } else if (!o.slices.empty()) {
        int s[3];
        if (!parse_slices(o.slices, s)) return {{"refused", "--slices " + o.slices}};  // checked by the parent
        Nsa = s[0];
        Nvla = s[1];
        Nhla = s[2];
        plat_send_message(WINDOW, VM_COMMAND, ID_PLACE_MODEL, 0);
    } else if (AUTO_PLACE() != 1) {
        const std::string why = last_box("Aucun ventricule gauche n'a \xE9t\xE9 trouv\xE9 dans ce volume.") +
                                latin1_to_utf8(" Ici : --slices I,J,K ou --model FICHIER.");
        // A gated study keeps its function: the model placed on its gates about end diastole
        // gives the function its axis and base, never the perfusion its scores.
        if (GATES.gated() && AUTO_PLACE_ON_END_DIASTOLE() == 1) {
            const GatedFunction f = MEASURE_FUNCTION();
            if (f.measured) {
                json record = function_only_record(study, f, why);
                if (o.choose >= 0) record["series"] = o.choose + 1;
                // No report, pictures or DICOM objects: each is a reading of the perfusion.
                record["outputs"] = no_outputs();
                return {{"refused", why}, {"function_only", record}};
            }
        }
        return {{"refused", why}};
    }
    plat_send_message(WINDOW, VM_COMMAND, ID_RESULTS, 0);
    if (res_ok != 1) return {{"refused", last_box("Les r\xE9sultats n'ont pas pu \xEAtre calcul\xE9s.")}};
    // A gated study's function, on the model as placed: in its record, report and SR alike.
    std::optional<GatedFunction> function;
    if (GATES.gated()) function = MEASURE_FUNCTION();
    json record = study_record(study, function ? &*function : nullptr);
    record["placement"] = placement_code(o);
    if (o.choose >= 0) record["series"] = o.choose + 1;  // the series of the CD, counted from 1
    if (!o.bull_dir.empty()) {  // for the pair's page: the bull's-eye as the report draws it
        std::vector<unsigned char> bull(RES_BYTES);
        DRAW_RES(bull.data(), RES_BULL, REPORT_PALETTE, REPORT_OVERLAY);
        std::string error;
        const std::string stem = o.stem.empty() ? stem_of(study) : o.stem;
        if (!write_whole(in_dir(o.bull_dir, stem + ".bgr"),
                         std::string_view(reinterpret_cast<const char*>(bull.data()), bull.size()), error)) {
            return {{"refused", program_text_to_utf8(error)}};
        }
    }
    std::string dicom_refused;
    const std::string failed = write_outputs(o, function, record["outputs"], dicom_refused);
    if (!failed.empty()) return {{"refused", failed}};
    if (!dicom_refused.empty()) return {{"record", record}, {"dicom_refused", dicom_refused}};
    return {{"record", record}};
}

// One study in a process of its own, as a worker's first study runs.
int analyze_one(const Options& o) {
    if (!use_program_folder("", "analyze")) return 2;
    StudyRequest r{o.studies.front(), o.stem, o.model, o.model.empty() ? o.slices : "", o.pdf_dir, o.png_dir,
                   o.dicom_dir, o.force_model, o.choose, o.bull_dir};
    hand_back_answer(analyze_study_here(r));
    return 0;
}

}  // namespace

json analyze_study_here(const StudyRequest& request) {
    vesmora_before_exit = refused_at_exit;
    json answer = run_study(request);
    vesmora_before_exit = nullptr;
    return answer;
}

namespace {
// ---------------------------------------------------------------------------------------------
// The parent: runs the studies, keeps their order, writes the tables
// ---------------------------------------------------------------------------------------------
const std::string SUMMED = latin1_to_utf8("score somm\xE9"), REFUSED = latin1_to_utf8("refus\xE9 :"),
                  DICOM_REFUSED = latin1_to_utf8("objets DICOM (SC et SR) refus\xE9s :"),
                  FUNCTION_ONLY = latin1_to_utf8("fonction mesur\xE9" "e sans la perfusion, avec le mod\xE8le plac\xE9 sur "
                                                 "les intervalles t\xE9l\xE9" "diastoliques (voir l'enregistrement).");

class Progress {
public:
    explicit Progress(std::size_t total) : total_(total), tty_(isatty(STDERR_FILENO) == 1) {}
    void study_done(const std::string& study, const StudyOutcome& r) {
        ++done_;
        if (tty_) std::fprintf(stderr, "\r\033[K");
        if (!r.refusal.empty()) {
            std::fprintf(stderr, "vesmora-cli analyze: %s %s %s\n", study.c_str(), REFUSED.c_str(), r.refusal.c_str());
            if (r.function_only.is_object())
                std::fprintf(stderr, "vesmora-cli analyze: %s : %s\n", study.c_str(), FUNCTION_ONLY.c_str());
        } else if (!tty_)
            std::fprintf(stderr, "vesmora-cli analyze: [%zu/%zu] %s : %s %d (%s)\n", done_, total_, study.c_str(),
                         SUMMED.c_str(), r.record["summed_score"].get<int>(),
                         r.record["severity"].get<std::string>().c_str());
        if (!r.dicom_refused.empty())
            std::fprintf(stderr, "vesmora-cli analyze: %s : %s %s\n", study.c_str(), DICOM_REFUSED.c_str(),
                         r.dicom_refused.c_str());
        if (tty_) bar();
    }
    void bar() const {
        const int width = 30, filled = static_cast<int>(width * done_ / (total_ ? total_ : 1));
        std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), done_, total_);
        if (done_ == total_) std::fprintf(stderr, "\n");
        std::fflush(stderr);
    }

private:
    std::size_t total_, done_ = 0;
    bool tty_;
};

// The stems of the studies' outputs, none twice in a run: a stem met again gets "-2", "-3"...
std::vector<std::string> unique_stems(const std::vector<std::string>& studies, const std::vector<std::string>& names) {
    std::set<std::string> used;
    std::vector<std::string> stems;
    for (std::size_t i = 0; i < studies.size(); i++) {
        const std::string base = i < names.size() && !names[i].empty() ? names[i] : stem_of(studies[i]);
        std::string stem = base;
        for (int n = 2; used.count(stem) != 0; n++) stem = base + "-" + std::to_string(n);
        used.insert(stem);
        stems.push_back(stem);
    }
    return stems;
}

// A study as the progress lines name it: a CD's series with its number.
std::string shown_name(const Options& o, std::size_t i) {
    const int choice = i < o.choices.size() ? o.choices[i] : -1;
    return choice < 0 ? o.studies[i] : o.studies[i] + latin1_to_utf8(" (s\xE9rie ") + std::to_string(choice + 1) + ")";
}

// Runs every study, at most o.jobs at once; outcomes in the order of the studies.
std::vector<StudyOutcome> run_all(const Options& o) {
    const std::vector<std::string> stems =
        o.stems.size() == o.studies.size() ? o.stems : unique_stems(o.studies, o.names);
    std::vector<StudyRequest> requests;
    for (std::size_t i = 0; i < o.studies.size(); i++) {
        const std::string& model = i < o.models.size() ? o.models[i] : o.model;
        requests.push_back({o.studies[i], stems[i], model, model.empty() ? o.slices : "", o.pdf_dir, o.png_dir,
                            o.dicom_dir, o.force_model, i < o.choices.size() ? o.choices[i] : -1, o.bull_dir});
    }
    Progress progress(requests.size());
    if (isatty(STDERR_FILENO) == 1) progress.bar();
    return analyze_studies(requests, o.jobs, o.timeout, [&](std::size_t i, const StudyOutcome& r) {
        progress.study_done(shown_name(o, i), r);
    });
}

// Writes text to path, or to standard output for "-"; false after a message when it cannot.
bool write_out(const std::string& path, const std::string& text) {
    if (path == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        return true;
    }
    std::string error;
    if (!write_whole(path, text, error)) {
        std::cerr << "vesmora-cli analyze: " << program_text_to_utf8(error) << "\n";
        return false;
    }
    return true;
}

bool ready_folder(const std::string& dir, const char* option) {
    if (dir.empty()) return true;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!ec && fs::is_directory(dir, ec)) return true;
    std::cerr << "vesmora-cli analyze: " << option << " " << dir
              << latin1_to_utf8(" : impossible de cr\xE9" "er ce dossier") << (ec ? detail(ec.message()) : ".") << "\n";
    return false;
}

// Pads UTF-8 text with blanks to `width` characters (not bytes).
std::string pad(const std::string& text, std::size_t width, bool right = false) {
    std::size_t chars = 0;
    for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
    const std::string blanks(chars < width ? width - chars : 0, ' ');
    return right ? blanks + text : text + blanks;
}

// The studies side by side: a row per segment (its uptake and score in each study), then the
// summed scores, the bands and the reports written.
void print_table(const json& records, const Options& o) {
    if (records.empty()) return;
    constexpr std::size_t NAME = 26, COL = 21;
    std::string line = pad("Segment", NAME);
    for (const json& r : records)
        line += pad(fs::path(r["file"].get<std::string>()).stem().string() +
                        (r.contains("series") ? " " + std::to_string(r["series"].get<int>()) : ""),
                    COL, true);
    std::printf("%s\n", line.c_str());
    // A study refused for its perfusion (its function alone) shows a dash in the perfusion's rows.
    const std::string DASH = "\xE2\x80\x94";
    const auto named = std::find_if(records.begin(), records.end(), [](const json& r) { return r.contains("segments"); });
    const std::size_t rows = named == records.end() ? 0 : (*named)["segments"].size();
    for (std::size_t n = 0; n < rows; ++n) {
        const json& seg = (*named)["segments"][n];
        line = pad(std::to_string(seg["number"].get<int>()) + " " + seg["name_fr"].get<std::string>(), NAME);
        for (const json& r : records) {
            if (!r.contains("segments")) {
                line += pad(DASH, COL, true);
                continue;
            }
            char cell[40];
            std::snprintf(cell, sizeof cell, "%.1f %%  %d", r["segments"][n]["percent"].get<double>(),
                          r["segments"][n]["score"].get<int>());
            if (char* dot = std::strchr(cell, '.')) *dot = ',';  // the decimal comma, as the report writes it
            line += pad(cell, COL, true);
        }
        std::printf("%s\n", line.c_str());
    }
    line = pad(latin1_to_utf8("Score somm\xE9"), NAME);
    for (const json& r : records)
        line += pad(r.contains("segments") ? std::to_string(r["summed_score"].get<int>()) + " / 68" : DASH, COL, true);
    std::printf("%s\n", line.c_str());
    line = pad(latin1_to_utf8("S\xE9v\xE9rit\xE9"), NAME);
    for (const json& r : records)
        line += pad(r.contains("segments") ? r["severity"].get<std::string>() : latin1_to_utf8("perfusion refus\xE9" "e"),
                    COL, true);
    std::printf("%s\n", line.c_str());
    // Gated studies: the ejection fraction, never bare when it is flagged.
    if (std::any_of(records.begin(), records.end(), [](const json& r) { return r.contains("function"); })) {
        line = pad(latin1_to_utf8("Fraction d'\xE9jection"), NAME);
        for (const json& r : records) {
            const json f = r.value("function", json::object());
            std::string cell = DASH;  // not gated
            if (f.value("measured", false)) {
                char ef[32];
                std::snprintf(ef, sizeof ef, "%.1f %%", f["ef_percent"].get<double>());
                if (char* dot = std::strchr(ef, '.')) *dot = ',';
                cell = ef + (f["flags"].empty() ? std::string() : latin1_to_utf8(" \xE0 v\xE9rifier"));
            } else if (!f.empty()) {
                cell = latin1_to_utf8("non mesur\xE9" "e");
            }
            line += pad(cell, COL, true);
        }
        std::printf("%s\n", line.c_str());
    }
    if (o.pdf_dir.empty()) return;
    std::printf("\nRapports :\n");
    for (const json& r : records)
        if (r["outputs"]["pdf"].is_string()) std::printf("  %s\n", r["outputs"]["pdf"].get<std::string>().c_str());
}

// A CD's DICOMDIR stands for each nuclear medicine series it lists, analysed as if given alone and
// named after the CD's folder and the series. One that cannot be read stays one entry: its
// process then gives the refusal the desktop shows.
void expand_dicomdirs(Options& o) {
    std::vector<std::string> studies, names;
    std::vector<int> choices;
    for (const std::string& study : o.studies) {
        std::size_t count = 0;
        std::vector<std::string> labels;
#ifdef VESMORA_HAVE_DICOM_IMPORT
        std::string error;
        if (is_dicomdir(study)) {
            const fs::path folder = fs::absolute(study).parent_path();
            for (const DirSeries& s : dicomdir_nm_series(study, error)) {
                std::string label = folder.filename().string() + "-serie" + std::to_string(++count);
                if (!s.description.empty()) label += "-" + s.description;
                for (char& c : label)
                    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
                labels.push_back(label);
            }
        }
#endif
        if (count == 0) {
            studies.push_back(study);
            names.emplace_back();
            choices.push_back(-1);
        }
        for (std::size_t n = 0; n < count; n++) {
            studies.push_back(study);
            names.push_back(labels[n]);
            choices.push_back(static_cast<int>(n));
        }
    }
    o.studies = studies;
    o.names = names;
    o.choices = choices;
}

int analyze_all(Options& o) {
    int s[3];
    if (!o.model.empty()) {
        ModelValues v;
        std::string error;
        if (!read_model_file(o.model, v, error)) {
            std::cerr << "vesmora-cli analyze: " << program_text_to_utf8(error) << "\n";
            return 2;
        }
    } else if (!o.slices.empty() && !parse_slices(o.slices, s)) {
        std::cerr << "vesmora-cli analyze: "
                  << latin1_to_utf8("--slices attend trois coupes I,J,K, chacune de 0 \xE0 255, et non \xAB ") << o.slices
                  << latin1_to_utf8(" \xBB.") << "\n";
        return 2;
    }
#ifndef VESMORA_HAVE_REPORT
    if (!o.pdf_dir.empty() || !o.png_dir.empty()) {
        std::cerr << "vesmora-cli analyze: "
                  << latin1_to_utf8("--pdf et --png demandent la biblioth\xE8que du rapport, absente de cette version.")
                  << "\n";
        return 2;
    }
#endif
#ifndef VESMORA_HAVE_DICOM_EXPORT
    if (!o.dicom_dir.empty()) {
        std::cerr << "vesmora-cli analyze: "
                  << latin1_to_utf8("--dicom demande la biblioth\xE8que d'export DICOM, absente de cette version.") << "\n";
        return 2;
    }
#endif
#ifndef VESMORA_HAVE_DICOM_EXPORT
    if (o.send) {
        std::cerr << "vesmora-cli analyze: "
                  << latin1_to_utf8("--send demande la biblioth\xE8que d'export DICOM, absente de cette version.") << "\n";
        return 2;
    }
#endif
    // --send without --dicom: the objects go through a private folder removed at the end.
    fs::path sent_from;
    struct Remove {
        fs::path& dir;
        ~Remove() { std::error_code ec; if (!dir.empty()) fs::remove_all(dir, ec); }
    } remove_sent{sent_from};
    if (o.send && o.dicom_dir.empty()) {
        char tmpl[] = "/tmp/vesmora-send-XXXXXX";
        if (!mkdtemp(tmpl)) {
            std::cerr << "vesmora-cli analyze: " << latin1_to_utf8("impossible de cr\xE9" "er un dossier temporaire.")
                      << detail(std::strerror(errno)) << "\n";
            return 2;
        }
        o.dicom_dir = (sent_from = tmpl).string();
    }
    if (!ready_folder(o.pdf_dir, "--pdf") || !ready_folder(o.png_dir, "--png") || !ready_folder(o.dicom_dir, "--dicom"))
        return 2;
    if (o.jobs == 0) o.jobs = std::max(1u, std::thread::hardware_concurrency());
    expand_dicomdirs(o);

    const std::vector<StudyOutcome> outcomes = run_all(o);
    json records = json::array();
    std::string csv = csv_header();
    bool refused = false;
    for (const StudyOutcome& r : outcomes) {
        refused = refused || r.record.is_null() || !r.dicom_refused.empty();
        const json& record = r.record.is_null() ? r.function_only : r.record;
        if (record.is_null()) continue;
        records.push_back(record);
        csv += csv_row(record);
    }
    bool written = true;
    if (!o.json_out.empty())
        written = write_out(o.json_out, dump(o.studies.size() == 1 && !records.empty() ? records[0] : records, 2) + "\n");
    if (!o.csv_out.empty()) written = write_out(o.csv_out, csv) && written;
    if (o.json_out != "-" && o.csv_out != "-") print_table(records, o);
    bool stored = true;
#ifdef VESMORA_HAVE_DICOM_EXPORT
    if (o.send && !records.empty()) {
        std::vector<std::string> files;
        for (const json& r : records)
            for (const char* kind : {"sc", "sr"})
                if (r["outputs"][kind].is_string()) files.push_back(r["outputs"][kind].get<std::string>());
        std::string error;
        stored = files.empty() || pacs_send_files(files, error);
        if (stored && !files.empty())
            std::cerr << "vesmora-cli analyze: " << files.size()
                      << latin1_to_utf8(" objets envoy\xE9s \xE0 l'archive (SC et SR de chaque \xE9tude)") << "\n";
        else if (!stored)
            std::cerr << "vesmora-cli analyze: " << program_text_to_utf8(error) << "\n";
    }
#endif
    if (!written) return 2;
    if (!stored) return 4;
    return refused ? 3 : 0;
}

void add_options(CLI::App* cmd, Options& o, bool one) {
    auto* model = cmd->add_option("--model", o.model, "Model file (JSON) to place on every study");
    auto* slices = cmd->add_option("--slices", o.slices,
                                   "Instead of the automatic placement: \"Centrer volume\" at these short-axis, "
                                   "vertical and horizontal long-axis slices I,J,K")
                       ->excludes(model);
    cmd->add_flag("--force-model", o.force_model,
                  "Place the model file also on a study of another patient than the one it was made on")
        ->needs(model);
    cmd->add_option("--pdf", o.pdf_dir, "Folder for each study's PDF report (STEM-rapport.pdf)");
    cmd->add_option("--png", o.png_dir, "Folder for each study's pictures (STEM-NAME.png)");
    cmd->add_option("--dicom", o.dicom_dir,
                    "Folder for each study's DICOM Secondary Capture and Structured Report (STEM-sc.dcm, STEM-sr.dcm)");
    if (one) {
        cmd->add_option("--stem", o.stem, "Stem of the study's outputs");
        cmd->add_option("--choose", o.choose, "The line its chooser gives (a CD's series, from 0)");
        cmd->add_option("--bull-dir", o.bull_dir, "Folder for the bull's-eye of a pair's page");
        return;
    }
    cmd->add_flag("--auto", o.auto_place, "Place the model automatically on each study (the default)")
        ->excludes(model)
        ->excludes(slices);
    cmd->add_option("--json", o.json_out, "JSON records: an object for one study, an array for several; - for standard output");
    cmd->add_option("--csv", o.csv_out, "CSV table, a row per study; - for standard output");
    cmd->add_flag("--send", o.send,
                  "Store each study's Secondary Capture and SR in the archive (vesmora-cli pacs config); without "
                  "--dicom they are written to a temporary folder first");
    cmd->add_option("--jobs", o.jobs, "Studies analysed at once (default: the number of cores)")
        ->check(CLI::Range(1u, 1024u));
    cmd->add_option("--timeout", o.timeout, "Seconds a study may take before it is stopped and refused (default 120)")
        ->check(CLI::Range(0.001, 86400.0));
}

}  // namespace

std::vector<StudyOutcome> analyze_batch(const StudyBatch& b) {
    Options o;
    o.studies = b.studies;
    o.stems = b.stems;
    o.model = b.model;
    o.models = b.models;
    o.slices = b.slices;
    o.pdf_dir = b.pdf_dir;
    o.png_dir = b.png_dir;
    o.dicom_dir = b.dicom_dir;
    o.bull_dir = b.bull_dir;
    o.force_model = b.force_model;
    o.jobs = b.jobs;
    o.timeout = b.timeout;
    return run_all(o);
}

void add_analyze_command(CLI::App& app, int& status) {
    static Options all, one;
    static PairArgs pair;
    auto* cmd = app.add_subcommand("analyze", "Analyse studies: open, place the model, compute the results, export");
    cmd->add_option("STUDY", all.studies, "DICOM files");
    add_options(cmd, all, false);
    add_pair_options(cmd, pair);
    cmd->callback([&status] {
        if (pair.requested()) {
            if (!all.studies.empty()) {
                std::cerr << "vesmora-cli analyze: "
                          << latin1_to_utf8("des \xE9tudes seules et des paires (--stress, --rest, --pairs) ne se "
                                            "m\xEAlent pas dans une m\xEAme commande.")
                          << "\n";
                status = 2;
                return;
            }
            StudyBatch common;
            common.slices = all.slices;
            common.pdf_dir = all.pdf_dir;
            common.png_dir = all.png_dir;
            common.dicom_dir = all.dicom_dir;
            common.force_model = all.force_model;
            common.jobs = all.jobs;
            common.timeout = all.timeout;
            status = analyze_pairs(pair, common, all.model, all.json_out, all.csv_out, all.send);
            return;
        }
        if (all.studies.empty()) {
            std::cerr << "vesmora-cli analyze: "
                      << latin1_to_utf8("aucune \xE9tude : donnez un ou plusieurs fichiers DICOM, ou une paire "
                                        "--stress S --rest R (ou --pairs LISTE.csv).")
                      << "\n";
            status = 2;
            return;
        }
        status = analyze_all(all);
    });

    // One study in a fresh process (its record or refusal as one JSON line on standard output).
    auto* study = app.add_subcommand("analyze-study", "")->group("");
    study->add_option("STUDY", one.studies)->expected(1);
    add_options(study, one, true);
    study->callback([&status] {
        if (one.studies.size() == 1)
            status = analyze_one(one);
        else
            status = 2;
    });
}

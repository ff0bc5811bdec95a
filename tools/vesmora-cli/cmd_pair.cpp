// vesmora-cli analyze --stress S.dcm --rest R.dcm | --pairs LIST.csv
//                     [--model-stress FILE] [--model-rest FILE] [--slices I,J,K] [--force-model]
//                     [--json OUT] [--csv OUT] [--pdf DIR] [--png DIR] [--dicom DIR] [--send] [--jobs N] [--timeout S]
//
// The pair a physician reads: each study analysed exactly as `analyze` analyses it alone (its
// own process, model, normalisation and outputs), then the two compared (src/Stress_Rest.h).
// A pair whose studies are two patients' (Patient IDs differ or are missing) is refused and
// named with both IDs; the run then ends with status 3, as for a refused study. The pair's own
// outputs are named after "STRESS-REST" (the studies' stems): -paire.pdf, -difference.png and,
// with --dicom, -paire-sc.dcm (the page) and -paire-sr.dcm (both studies' segments and the
// comparison), new series in the stress study's study.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Output_Names.h"
#include "Stress_Rest.h"
#include "cli.h"
#include "latin1.h"
#include "main.h"
#include "model_file.h"
#include "pair_record.h"
#include "study_record.h"
#include "write_whole.h"
#ifdef VESMORA_HAVE_REPORT
#include "report.h"
#endif
#ifdef VESMORA_HAVE_DICOM_EXPORT
#include "dicom_export.h"
#include "pacs.h"
#endif

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const char* const ME = "vesmora-cli analyze: ";

std::string u8(const char* latin1) { return latin1_to_utf8(latin1); }

struct Pair {
    std::string stress, rest;
};

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// LIST.csv: "stress,rest" per line; blank lines and lines starting with '#' are skipped, and a
// first line "stress,rest" is a header. A relative path is read from the list's folder.
bool read_pairs(const std::string& list, std::vector<Pair>& pairs, std::string& error) {
    std::ifstream in(list);
    if (!in) {
        error = u8("impossible de lire la liste de paires ") + list + detail(std::strerror(errno));
        return false;
    }
    const fs::path base = fs::path(list).parent_path();
    const auto place = [&base](const std::string& p) { return fs::path(p).is_absolute() || base.empty() ? p : (base / p).string(); };
    std::string line;
    for (int n = 1; std::getline(in, line); n++) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        const auto comma = line.find(',');
        const std::string s = trim(line.substr(0, comma)), r = comma == std::string::npos ? "" : trim(line.substr(comma + 1));
        if (n == 1 && s == "stress" && r == "rest") continue;
        if (s.empty() || r.empty() || r.find(',') != std::string::npos) {
            error = list + u8(", ligne ") + std::to_string(n) +
                    u8(" : une paire s'\xE9" "crit \xAB effort,repos \xBB (deux fichiers s\xE9par\xE9s par une virgule), et non \xAB ") +
                    line + u8(" \xBB.");
            return false;
        }
        pairs.push_back({place(s), place(r)});
    }
    if (pairs.empty()) {
        error = list + u8(" : aucune paire dans cette liste.");
        return false;
    }
    return true;
}

std::string stem_of(const std::string& study) { return output_stem(fs::path(study).stem().string()); }
std::string in_dir(const std::string& dir, const std::string& name) { return (fs::path(dir) / name).string(); }

bool ready_folder(const std::string& dir, const char* option) {
    if (dir.empty()) return true;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!ec && fs::is_directory(dir, ec)) return true;
    std::cerr << ME << option << " " << dir << u8(" : impossible de cr\xE9" "er ce dossier")
              << (ec ? detail(ec.message()) : ".") << "\n";
    return false;
}

bool write_out(const std::string& path, const std::string& text) {
    if (path == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        return true;
    }
    std::string error;
    if (write_whole(path, text, error)) return true;
    std::cerr << ME << program_text_to_utf8(error) << "\n";
    return false;
}

// A private folder under the temporary folder, removed with this object.
struct TempDir {
    fs::path dir;
    bool make() {
        char tmpl[] = "/tmp/vesmora-pair-XXXXXX";
        if (!mkdtemp(tmpl)) return false;
        dir = tmpl;
        return true;
    }
    ~TempDir() {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }
};

#ifdef VESMORA_HAVE_REPORT
std::string now_text() {
    const std::time_t t = std::time(nullptr);
    char buf[32];
    std::strftime(buf, sizeof buf, "%d/%m/%Y %H:%M", std::localtime(&t));
    return buf;
}

Placement placement_of(const json& record) {
    const std::string p = record.value("placement", "");
    return p == "auto" ? Placement::Auto : p == "model-file" ? Placement::ModelFile : p == "slices" ? Placement::Slices
                                                                                                     : Placement::Unknown;
}

PairStudyInfo pair_study(const json& record, const std::string& model, const fs::path& bull) {
    PairStudyInfo s;
    s.file = record["file"].get<std::string>();
    s.sha256 = file_sha256(s.file);
    s.exam_date = utf8_to_latin1(record["patient"]["exam_date"].get<std::string>());
    s.placement = placement_of(record);
    s.model_file = model;
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        s.percent[n] = record["segments"][n - 1]["percent"].get<float>();
        s.score[n] = record["segments"][n - 1]["score"].get<int>();
    }
    std::ifstream in(bull, std::ios::binary);
    s.bull.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (s.bull.size() != static_cast<std::size_t>(RES_BYTES)) s.bull.clear();
    return s;
}
#endif

struct Common {
    StudyBatch batch;
    std::string model_stress, model_rest;
    fs::path bulls;
};

// The pair's page, picture and DICOM object; "" or why they could not be written (UTF-8).
std::string write_pair_outputs(const Common& c, const json& stress, const json& rest, const std::string& s_stem,
                               const std::string& r_stem, json& outputs) {
    const std::string stem = s_stem + "-" + r_stem;
    outputs = {{"pdf", nullptr}, {"png", nullptr}, {"sc", nullptr}, {"sr", nullptr}};
#ifdef VESMORA_HAVE_REPORT
    const StudyBatch& b = c.batch;
    if (b.pdf_dir.empty() && b.png_dir.empty() && b.dicom_dir.empty()) return "";
    PairReportInfo info;
    const json& p = stress["patient"];
    info.patient_name = utf8_to_latin1(p["name"].get<std::string>());
    info.patient_id = utf8_to_latin1(p["id"].get<std::string>());
    info.sex = utf8_to_latin1(p["sex"].get<std::string>());
    info.birth_date = utf8_to_latin1(p["birth_date"].get<std::string>());
    info.age = utf8_to_latin1(p["age"].get<std::string>());
    info.analysed_at = now_text();
    info.stress = pair_study(stress, c.model_stress, c.bulls / (s_stem + ".bgr"));
    info.rest = pair_study(rest, c.model_rest, c.bulls / (r_stem + ".bgr"));
    std::string error;
    report_ensure_gui();
    if (!b.pdf_dir.empty()) {
        const std::string pdf = in_dir(b.pdf_dir, pair_report_pdf_name(stem));
        if (!write_pair_pdf(pdf, info, error)) return program_text_to_utf8(error);
        outputs["pdf"] = pdf;
    }
    if (!b.png_dir.empty()) {
        const std::string png = in_dir(b.png_dir, difference_png_name(stem));
        if (!write_difference_png(png, info, error)) return program_text_to_utf8(error);
        outputs["png"] = png;
    }
#ifdef VESMORA_HAVE_DICOM_EXPORT
    if (!b.dicom_dir.empty()) {  // both objects or neither, one written inside the other
        int w = 0, h = 0;
        const std::vector<unsigned char> page = pair_page_rgb(info, w, h);
        StressRestComparison cmp;
        std::string why;
        if (page.empty() || !COMPARE_STRESS_REST(info.stress.score, info.rest.score, cmp, why))
            return latin1_to_utf8(why.empty() ? "la page de la paire n'a pas pu \xEAtre dessin\xE9" "e." : why);
        const std::string sc = in_dir(b.dicom_dir, pair_secondary_capture_name(stem));
        const std::string sr = in_dir(b.dicom_dir, pair_structured_report_name(stem));
        std::string objects_error;
        const bool ok = write_whole(
            sc,
            [&](const std::string& sc_tmp, std::string& why_sc) {
                return write_whole(
                    sr,
                    [&](const std::string& sr_tmp, std::string&) {
                        return write_secondary_capture(info.stress.file, page.data(), w, h, sc_tmp, objects_error) &&
                               write_pair_structured_report(info.stress.file, info.rest.file, info.stress.percent,
                                                            info.rest.percent, cmp, sr_tmp, objects_error);
                    },
                    why_sc);
            },
            error);
        if (!ok) return program_text_to_utf8(objects_error.empty() ? error : objects_error);
        outputs["sc"] = sc;
        outputs["sr"] = sr;
    }
#endif
#else
    (void)c, (void)stress, (void)rest, (void)stem, (void)outputs;
#endif
    return "";
}

// The stems of all the studies, none twice: a stem met again gets "-2", "-3"...
std::vector<std::string> unique_stems(const std::vector<std::string>& studies) {
    std::set<std::string> used;
    std::vector<std::string> stems;
    for (const std::string& study : studies) {
        std::string stem = stem_of(study);
        for (int n = 2; used.count(stem) != 0; n++) stem = stem_of(study) + "-" + std::to_string(n);
        used.insert(stem);
        stems.push_back(stem);
    }
    return stems;
}

}  // namespace

void add_pair_options(CLI::App* cmd, PairArgs& a) {
    auto* stress = cmd->add_option("--stress", a.stress, "The stress study of a pair (with --rest)");
    auto* rest = cmd->add_option("--rest", a.rest, "The rest study of the same patient (with --stress)");
    stress->needs(rest);
    rest->needs(stress);
    cmd->add_option("--pairs", a.pairs_csv, "CSV list of pairs, \"stress,rest\" per line")->excludes(stress)->excludes(rest);
    cmd->add_option("--model-stress", a.model_stress, "Model file (JSON) to place on the stress studies");
    cmd->add_option("--model-rest", a.model_rest, "Model file (JSON) to place on the rest studies");
}

int analyze_pairs(const PairArgs& a, StudyBatch common, const std::string& model, const std::string& json_out,
                  const std::string& csv_out, bool send) {
    if (!model.empty()) {
        std::cerr << ME << u8("une paire prend --model-stress et --model-rest, et non --model.") << "\n";
        return 2;
    }
    if (!common.slices.empty() && (!a.model_stress.empty() || !a.model_rest.empty())) {
        std::cerr << ME << u8("--slices et --model-stress/--model-rest ne vont pas ensemble.") << "\n";
        return 2;
    }
    if (common.force_model && a.model_stress.empty() && a.model_rest.empty()) {
        std::cerr << ME << u8("--force-model demande --model-stress ou --model-rest.") << "\n";
        return 2;
    }
    int s3[3];
    char tail = 0;
    if (!common.slices.empty() &&
        !(std::sscanf(common.slices.c_str(), "%d,%d,%d%c", &s3[0], &s3[1], &s3[2], &tail) == 3 &&
          std::all_of(s3, s3 + 3, [](int v) { return v >= 0 && v <= 255; }))) {
        std::cerr << ME << u8("--slices attend trois coupes I,J,K, chacune de 0 \xE0 255, et non \xAB ") << common.slices
                  << u8(" \xBB.") << "\n";
        return 2;
    }
    for (const std::string& m : {a.model_stress, a.model_rest}) {
        ModelValues v;
        std::string error;
        if (!m.empty() && !read_model_file(m, v, error)) {
            std::cerr << ME << program_text_to_utf8(error) << "\n";
            return 2;
        }
    }
#ifndef VESMORA_HAVE_REPORT
    if (!common.pdf_dir.empty() || !common.png_dir.empty() || !common.dicom_dir.empty() || send) {
        std::cerr << ME << u8("--pdf, --png, --dicom et --send demandent la biblioth\xE8que du rapport, absente de cette version.")
                  << "\n";
        return 2;
    }
#endif
#ifndef VESMORA_HAVE_DICOM_EXPORT
    if (!common.dicom_dir.empty() || send) {
        std::cerr << ME << u8("--dicom et --send demandent la biblioth\xE8que d'export DICOM, absente de cette version.") << "\n";
        return 2;
    }
#endif
    std::vector<Pair> pairs;
    if (!a.pairs_csv.empty()) {
        std::string error;
        if (!read_pairs(a.pairs_csv, pairs, error)) {
            std::cerr << ME << error << "\n";
            return 2;
        }
    } else {
        pairs.push_back({a.stress, a.rest});
    }
    TempDir sent, bulls;
    if (send && common.dicom_dir.empty()) {
        if (!sent.make()) {
            std::cerr << ME << u8("impossible de cr\xE9" "er un dossier temporaire.") << detail(std::strerror(errno)) << "\n";
            return 2;
        }
        common.dicom_dir = sent.dir.string();
    }
    if (!ready_folder(common.pdf_dir, "--pdf") || !ready_folder(common.png_dir, "--png") ||
        !ready_folder(common.dicom_dir, "--dicom"))
        return 2;
    if (!common.pdf_dir.empty() || !common.dicom_dir.empty()) {
        if (!bulls.make()) {
            std::cerr << ME << u8("impossible de cr\xE9" "er un dossier temporaire.") << detail(std::strerror(errno)) << "\n";
            return 2;
        }
        common.bull_dir = bulls.dir.string();
    }

    std::vector<std::string> all;
    for (const Pair& p : pairs) all.push_back(p.stress);
    for (const Pair& p : pairs) all.push_back(p.rest);
    const std::vector<std::string> stems = unique_stems(all);
    const std::size_t n = pairs.size();
    // The stress studies and the rest studies, each with its own model, on one set of workers.
    StudyBatch b = common;
    b.jobs = common.jobs != 0 ? common.jobs : std::max(1u, std::thread::hardware_concurrency());
    b.studies = all;
    b.stems = stems;
    b.models.assign(n, a.model_stress);
    b.models.resize(2 * n, a.model_rest);
    const std::vector<StudyOutcome> outcomes = analyze_batch(b);
    const std::vector<StudyOutcome> os(outcomes.begin(), outcomes.begin() + n), orr(outcomes.begin() + n, outcomes.end());

    Common c{common, a.model_stress, a.model_rest, bulls.dir};
    json done = json::array();
    std::string csv = pair_csv_header();
    std::vector<std::string> to_send;
    bool refused = false;
    for (std::size_t i = 0; i < n; i++) {
        const auto named = [&](const std::string& why) {
            std::cerr << ME << u8("paire ") << pairs[i].stress << " / " << pairs[i].rest << u8(" refus\xE9" "e : ") << why
                      << "\n";
            refused = true;
        };
        for (const StudyOutcome* o : {&os[i], &orr[i]})
            if (o->record.is_object())
                for (const char* kind : {"sc", "sr"})
                    if (o->record["outputs"][kind].is_string()) to_send.push_back(o->record["outputs"][kind]);
        if (!os[i].dicom_refused.empty() || !orr[i].dicom_refused.empty()) refused = true;
        if (os[i].record.is_null() || orr[i].record.is_null()) {
            named(u8(os[i].record.is_null() ? "l'\xE9tude d'effort n'a pas pu \xEAtre analys\xE9" "e."
                                            : "l'\xE9tude de repos n'a pas pu \xEAtre analys\xE9" "e."));
            continue;
        }
        const json &s = os[i].record, &r = orr[i].record;
        const std::string other = PAIR_PATIENT_MISMATCH(utf8_to_latin1(s["patient"]["id"].get<std::string>()),
                                                        utf8_to_latin1(r["patient"]["id"].get<std::string>()));
        if (!other.empty()) {
            named(latin1_to_utf8(other));
            continue;
        }
        int ss[SECTOR_COUNT + 1], rs[SECTOR_COUNT + 1];
        StressRestComparison cmp;
        std::string why;
        if (!record_scores(s, ss) || !record_scores(r, rs) || !COMPARE_STRESS_REST(ss, rs, cmp, why)) {
            named(why.empty() ? u8("les scores des deux \xE9tudes ne sont pas lisibles.") : latin1_to_utf8(why));
            continue;
        }
        json pair = {{"stress", s}, {"rest", r}, {"comparison", comparison_record(cmp)}};
        const std::string failed = write_pair_outputs(c, s, r, stems[i], stems[n + i], pair["outputs"]);
        if (!failed.empty()) {
            named(failed);
            continue;
        }
        for (const char* kind : {"sc", "sr"})
            if (pair["outputs"][kind].is_string()) to_send.push_back(pair["outputs"][kind]);
        std::fprintf(stderr, "vesmora-cli analyze: %s / %s : SSS %d, SRS %d, SDS %d (%.1f %%, %s)\n", pairs[i].stress.c_str(),
                     pairs[i].rest.c_str(), cmp.sss, cmp.srs, cmp.sds, cmp.percent_ischemic,
                     latin1_to_utf8(ISCHEMIA_FR[cmp.band]).c_str());
        csv += pair_csv_row(pair);
        done.push_back(std::move(pair));
    }
    bool written = true;
    if (!json_out.empty())
        written = write_out(json_out, (n == 1 && !done.empty() ? done[0] : done).dump(2, ' ', false, json::error_handler_t::replace) + "\n");
    if (!csv_out.empty()) written = write_out(csv_out, csv) && written;
    bool stored = true;
#ifdef VESMORA_HAVE_DICOM_EXPORT
    if (send && !to_send.empty()) {
        std::string error;
        stored = pacs_send_files(to_send, error);
        if (stored)
            std::cerr << ME << to_send.size() << u8(" objets envoy\xE9s \xE0 l'archive") << "\n";
        else
            std::cerr << ME << program_text_to_utf8(error) << "\n";
    }
#endif
    if (!written) return 2;
    if (!stored) return 4;
    return refused ? 3 : 0;
}

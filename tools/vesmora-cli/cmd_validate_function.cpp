// vesmora-cli validate-function [--count N] [--first N] [--quiet]: the function of gated
// studies (EDV, ESV, EF) measured on phantoms of known cavity volumes.
//
// Phantom n follows from n alone: 8 or 16 gates in turn, an adult ventricle (an end-diastolic
// cavity of 50 to 140 mL, the scale following from it and the wall), an end-systolic scale
// of 0.5 to 0.65 across the axis, a wall of 7 to 10 voxels, shifts of up to 15 voxels, a base
// plane from 4 voxels before to 8 past the centre, a resolution of 10 to 16 mm, 600 to 1500
// counts per myocardial voxel over the whole cycle (each gate its share, with its Poisson
// noise), a normal heart or a defect of 30 to 70 % in one territory (one in three), and a
// liver of 40 to 100 % of the myocardium's concentration, at its place or 12 voxels nearer.
// Each is written as a DICOM file, loaded as "Ouvrir" loads it, the model placed with
// AUTO_PLACE as `analyze` does, and the function measured with MEASURE_FUNCTION.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

#include "Auto_Place.h"
#include "Dicom.h"
#include "Gated_Function.h"
#include "cli.h"
#include "headless.h"
#include "main.h"
#include "sample_study.h"
#include "write_whole.h"

namespace {

// The targets: EF within 5 points, EDV and ESV within 15 %, on at least 95 % of the phantoms.
constexpr double kEfPoints = 5, kVolumeShare = 0.15, kShare = 0.95;

bool without_noise = false;

sample::Options case_of(int n, int& defect) {
    sample::Rng rng(0xF0C7000u + static_cast<std::uint64_t>(n) * 7919u);
    auto pick = [&rng](double lo, double hi) { return lo + (hi - lo) * rng.uniform(); };
    auto whole = [&rng](int lo, int hi) { return lo + static_cast<int>(rng.next() % static_cast<std::uint64_t>(hi - lo + 1)); };
    sample::Options o;
    o.matrix = 64;
    o.gates = n % 2 == 0 ? 8 : 16;
    o.es_ratio = std::round(pick(0.5, 0.65) * 100) / 100;
    o.wall = std::round(pick(7, 10) * 2) / 2;
    o.shift_i = whole(-15, 15);
    o.shift_j = whole(-15, 15);
    o.shift_k = whole(-15, 15);
    o.base = whole(-4, 8);
    const double ml = std::round(pick(50, 140));
    const double s = sample::scale_for_cavity(o, ml);
    if (s > 0) o.scale = std::round(s * 100) / 100;
    o.fwhm = std::round(pick(10, 16) * 2) / 2;
    o.counts = std::round(pick(600, 1500));
    o.noise = !without_noise;
    defect = (n / 2) % 3 == 2 ? 1 + (n / 6) % 3 : 0;
    const double depth = std::round(pick(30, 70));
    if (defect == 1) o.lad = depth;
    if (defect == 2) o.lcx = depth;
    if (defect == 3) o.rca = depth;
    const int liver = whole(0, 5);
    o.liver = liver % 3 == 0 ? 100 : liver % 3 == 1 ? 70 : 40;
    o.liver_near = liver / 3 == 0 ? 12 : 0;
    o.seed = 5000 + static_cast<std::uint64_t>(n);
    return o;
}

struct Outcome {
    int n = 0, gates = 0, defect = 0;
    double fwhm = 0;
    bool measured = false, flagged = false;
    bool on_end_diastole = false;           // the summed study refused, the model placed on the gates about end diastole
    double edv = 0, esv = 0, ef = 0;        // truth
    double edv_m = 0, esv_m = 0, ef_m = 0;  // measured
    double ms = 0;
    double ef_err() const { return ef_m - ef; }
    double edv_err() const { return (edv_m - edv) / edv; }
    double esv_err() const { return (esv_m - esv) / esv; }
    bool within() const {
        return measured && std::fabs(ef_err()) <= kEfPoints && std::fabs(edv_err()) <= kVolumeShare &&
               std::fabs(esv_err()) <= kVolumeShare;
    }
};

const char* const kDefectName[4] = {"normal", "LAD", "LCx", "RCA"};

Outcome run_case(int n, const std::string& dir, bool verbose) {
    Outcome out;
    out.n = n;
    const sample::Options o = case_of(n, out.defect);
    out.gates = o.gates;
    out.fwhm = o.fwhm;
    out.edv = 0, out.esv = 1e300;
    for (int g = 0; g < o.gates; g++) {
        const double v = sample::gate_cavity_ml(o, g);
        out.edv = std::max(out.edv, v), out.esv = std::min(out.esv, v);
    }
    out.ef = 100 * (out.edv - out.esv) / out.edv;
    const std::string path = dir + "/gated-" + std::to_string(n) + ".dcm";
    const auto bytes = sample::make_dicom(o, sample::make_phantom(o));
    std::string error;
    if (!write_whole(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error)) {
        std::fprintf(stderr, "validate-function: %s\n", program_text_to_utf8(error).c_str());
        return out;
    }
    headless::queue_open_answer(path);
    const bool loaded = LOAD_DCM_FILE() == 1;
    std::remove(path.c_str());
    std::string why;
    if (loaded) {
        load_ok = 1;
        // As `analyze` does: the summed study's placement, else the end-diastolic gates'.
        const bool on_sum = AUTO_PLACE() == 1;
        const char* weakest = auto_place_report.weakest;
        out.on_end_diastole = !on_sum && AUTO_PLACE_ON_END_DIASTOLE() == 1;
        if (on_sum || out.on_end_diastole) {
            const auto t0 = std::chrono::steady_clock::now();
            const GatedFunction f = MEASURE_FUNCTION();
            out.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            out.measured = f.measured;
            out.flagged = f.flagged();
            out.edv_m = f.edv_ml, out.esv_m = f.esv_ml, out.ef_m = f.ef_percent;
            why = f.measured ? "" : latin1_to_utf8(f.reason);
            for (const std::string& flag : f.flags) why += " [" + latin1_to_utf8(flag) + "]";
            if (out.on_end_diastole)
                why += std::string(" [summed study refused") + (weakest ? std::string(" (") + weakest + ")" : "") +
                       ": model on the end-diastolic gates]";
        } else {
            why = "model not placed";
            if (weakest != nullptr) why += std::string(" (") + weakest + ")";
        }
    } else {
        why = "not loaded";
    }
    if (verbose) {
        std::printf("%3d g%-2d %-6s ml %5.1f es %.2f wall %4.1f base %+2.0f fwhm %4.1f counts %4.0f liver %3.0f near %2.0f | "
                    "true EDV %5.1f ESV %5.1f EF %4.1f",
                    n, o.gates, kDefectName[out.defect], out.edv, o.es_ratio, o.wall, o.base, o.fwhm, o.counts, o.liver,
                    o.liver_near, out.edv, out.esv, out.ef);
        if (out.measured)
            std::printf(" | found %5.1f %5.1f %4.1f | EF %+5.1f pt EDV %+5.1f %% ESV %+5.1f %% | %.0f ms%s", out.edv_m,
                        out.esv_m, out.ef_m, out.ef_err(), 100 * out.edv_err(), 100 * out.esv_err(), out.ms,
                        out.within() ? "" : " OUT OF TARGET");
        std::printf("%s%s\n", why.empty() ? "" : " | ", why.c_str());
        std::fflush(stdout);
    }
    return out;
}

double quantile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(std::ceil(q * v.size())) - 1)];
}

struct Tally {
    int total = 0, measured = 0, within = 0, flagged = 0;
    std::vector<double> ef, edv, esv, ms;
    void add(const Outcome& o) {
        total++;
        measured += o.measured;
        within += o.within();
        flagged += o.flagged;
        if (!o.measured) return;
        ef.push_back(o.ef_err()), edv.push_back(100 * o.edv_err()), esv.push_back(100 * o.esv_err());
        ms.push_back(o.ms);
    }
};

double mean(const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x;
    return v.empty() ? 0 : s / static_cast<double>(v.size());
}

std::vector<double> absolute(std::vector<double> v) {
    for (double& x : v) x = std::fabs(x);
    return v;
}

void print_row(const char* what, const Tally& t) {
    std::printf("| %s | %d | %d | %.1f %% | %+.1f / %.1f pt | %+.1f / %.1f %% | %+.1f / %.1f %% | %d | %.0f ms |\n", what,
                t.total, t.total - t.measured, t.total ? 100.0 * t.within / t.total : 0.0, mean(t.ef),
                quantile(absolute(t.ef), 0.95), mean(t.edv), quantile(absolute(t.edv), 0.95), mean(t.esv),
                quantile(absolute(t.esv), 0.95), t.flagged, quantile(t.ms, 0.5));
}

bool report(const std::vector<Outcome>& all) {
    Tally sum, gates[2], blur[3], defect[2];
    for (const Outcome& o : all) {
        sum.add(o);
        gates[o.gates == 16].add(o);
        blur[o.fwhm < 12 ? 0 : o.fwhm < 14 ? 1 : 2].add(o);
        defect[o.defect != 0].add(o);
    }
    std::printf("\n| Phantoms | Count | Not measured | Within target | EF error mean / 95th pct of |error| | "
                "EDV error | ESV error | Flagged | Median time |\n|---|---|---|---|---|---|---|---|---|\n");
    print_row("8 gates", gates[0]);
    print_row("16 gates", gates[1]);
    print_row("10-11.5 mm FWHM", blur[0]);
    print_row("12-13.5 mm FWHM", blur[1]);
    print_row("14-16 mm FWHM", blur[2]);
    print_row("normal", defect[0]);
    print_row("with a defect", defect[1]);
    print_row("**all**", sum);
    // A flagged result is shown with its warnings: the misses should gather there.
    Tally on_gates, flagged, plain;
    for (const Outcome& o : all) {
        if (o.on_end_diastole) on_gates.add(o);
        if (o.measured) (o.flagged ? flagged : plain).add(o);
    }
    if (on_gates.total > 0) print_row("model on the end-diastolic gates (summed study refused)", on_gates);
    if (flagged.total > 0) {
        print_row("measured, flagged", flagged);
        print_row("measured, not flagged", plain);
    }
    const bool met = sum.total > 0 && sum.within >= kShare * sum.total;
    std::printf("\nTargets (EF within %.0f points, EDV and ESV within %.0f %%, on %.0f %% of the phantoms): %s\n",
                kEfPoints, 100 * kVolumeShare, 100 * kShare, met ? "met" : "NOT MET");
    return met;
}

}  // namespace

void add_validate_function_command(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("validate-function", "Measure EDV, ESV and EF on gated phantoms of known volumes");
    static int count = 60, first = 0;
    static bool quiet = false;
    static std::string folder;
    cmd->add_option("--count", count, "Number of phantoms")->capture_default_str();
    cmd->add_option("--first", first, "Number of the first phantom")->capture_default_str();
    cmd->add_flag("--quiet", quiet, "Only the summary, not one line per phantom");
    cmd->add_flag("--no-noise", without_noise, "Phantoms without noise (the method's own error)");
    cmd->add_option("--app-folder", folder, "Folder of log.txt and PALETS (default: the program's folder)");
    cmd->callback([&status] {
        if (!folder.empty()) headless::set_module_path(folder + "/vesmora-cli");
        const std::string dir = std::filesystem::temp_directory_path().string() + "/vesmora-function-" +
                                std::to_string(getpid());
        std::filesystem::create_directories(dir);
        STARTUP();
        std::vector<Outcome> all;
        for (int n = first; n < first + count; n++) all.push_back(run_case(n, dir, !quiet));
        std::filesystem::remove_all(dir);
        status = report(all) ? 0 : 1;
    });
}

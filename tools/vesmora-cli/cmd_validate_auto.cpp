// vesmora-cli validate-auto [--count N] [--first N] [--quiet]: the automatic placement
// measured on phantoms of known geometry, by size band (scale and cavity volume).
//
// Phantom n follows from n alone: matrix 64 or 128 in turn, every other pair an adult
// ventricle (a cavity of 40 to 120 mL) and the others a size in each of the four scale
// bands in turn (0.45 to 1.3 of the sample's), shifts of up to 20 voxels on each axis, a
// wall of 6.5 to 10 voxels (less where the heart is too small for it), a base plane from
// 8 voxels before to 12 past the centre, a resolution of 12 to 18 mm, four noise levels
// (none, 1000, 300, 100 counts), a normal heart, a defect of 30 to 70 % in one territory
// or in two, and a liver of 40, 70 or 100 % of the myocardium's concentration, at its
// place, nearer, or touching the wall. Each is written as a DICOM file, loaded as
// "Ouvrir" loads it and placed with AUTO_PLACE; the model found is compared with the
// phantom's, and "Résultats" is run with both models to compare the 17 scores.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "Auto_Place.h"
#include "Dicom.h"
#include "Display.h"
#include "Model_Place.h"
#include "Results.h"
#include "cli.h"
#include "headless.h"
#include "main.h"
#include "sample_study.h"
#include "write_whole.h"

namespace {

// Segments of each territory in the 17-segment model (as the generator draws them).
const std::vector<int> kTerritory[4] = {{}, {1, 2, 7, 8, 13, 14, 17}, {5, 6, 11, 12, 16}, {3, 4, 9, 10, 15}};
const char* const kTerritoryName[4] = {"-", "LAD", "LCx", "RCA"};

// Size bands: the sample's scale, and the end-diastolic cavity in mL. Adult ventricles
// (40 to 120 mL) are the bands the placement must meet its targets on; below, a refusal
// is safe, a placement out of bounds is not.
constexpr int kBands = 4;
const double kBandEdge[kBands + 1] = {0.45, 0.6, 0.75, 1.0, 1.3};
constexpr int kMlBands = 5;
const double kMlEdge[kMlBands + 1] = {0, 20, 40, 80, 120, 1e9};
constexpr double kHumanLo = 40, kHumanHi = 120;

int ml_band(double ml) {
    int b = 0;
    while (b + 1 < kMlBands && ml >= kMlEdge[b + 1]) b++;
    return b;
}

struct Case {
    sample::Options opt;
    int defect[2] = {0, 0};  // territories with a defect (0: none)
    int band = 0;            // scale band
};

// Half of the phantoms (n / 2 odd) are adult ventricles: a cavity of 40 to 120 mL, the scale
// following from it and the wall; the other half a scale in each of the four bands in turn.
Case case_of(int n) {
    sample::Rng rng(0x5EED0000u + static_cast<std::uint64_t>(n) * 7919u);
    auto pick = [&rng](double lo, double hi) { return lo + (hi - lo) * rng.uniform(); };
    auto whole = [&rng](int lo, int hi) { return lo + static_cast<int>(rng.next() % static_cast<std::uint64_t>(hi - lo + 1)); };
    Case c;
    sample::Options& o = c.opt;
    o.matrix = n % 2 == 0 ? 64 : 128;
    const bool adult = (n / 2) % 2 == 1;
    const int band = (n / 4) % kBands;
    o.scale = std::round(pick(kBandEdge[band], kBandEdge[band + 1]) * 100) / 100;
    const double ml = std::round(pick(kHumanLo, kHumanHi));
    // Normal, one territory (LAD twice as often: the one a misplacement hides), two.
    switch ((n / 16) % 6) {
    case 1: case 4: c.defect[0] = 1; break;
    case 2: c.defect[0] = 2; break;
    case 3: c.defect[0] = 3; break;
    case 5:
        c.defect[0] = 1 + (n / 96) % 3;
        c.defect[1] = 1 + (c.defect[0] % 3);
        break;
    default: break;
    }
    for (int t : c.defect) {
        const double depth = std::round(pick(30, 70));
        if (t == 1) o.lad = depth;
        if (t == 2) o.lcx = depth;
        if (t == 3) o.rca = depth;
    }
    o.shift_i = whole(-20, 20);
    o.shift_j = whole(-20, 20);
    o.shift_k = whole(-20, 20);
    // A wall of 7 to 10 voxels, thinner where the heart leaves no cavity of 4.5 voxels.
    const double wall = std::round(pick(7, 10) * 2) / 2;
    o.base = whole(-8, 12);
    if (adult) {
        o.wall = wall;
        const double s = sample::scale_for_cavity(o, ml);
        if (s > 0) o.scale = std::round(s * 100) / 100;
    }
    o.wall = std::min(wall, std::floor((25 * o.scale - 4.5) * 2) / 2);
    while (c.band + 1 < kBands && o.scale >= kBandEdge[c.band + 1]) c.band++;
    o.fwhm = std::round(pick(12, 18) * 2) / 2;
    const int noise = whole(0, 3);
    o.noise = noise != 0;
    o.counts = noise == 0 ? 1000 : noise == 1 ? 1000 : noise == 2 ? 300 : 100;
    // The liver: 40, 70 or 100 % and at its place, 12 voxels nearer, or touching the wall
    // (its gap of 23 voxels closed); as hot as the wall and touching it in one in nine.
    const int liver = whole(0, 8);
    o.liver = liver % 3 == 0 ? 100 : liver % 3 == 1 ? 70 : 40;
    o.liver_near = liver / 3 == 0 ? 23 : liver / 3 == 1 ? 12 : 0;
    o.seed = 1000 + static_cast<std::uint64_t>(n);
    return c;
}

std::string defect_name(const Case& c) {
    std::string s;
    for (int t : c.defect) {
        if (!t) continue;
        const double depth = t == 1 ? c.opt.lad : t == 2 ? c.opt.lcx : c.opt.rca;
        s += std::string(s.empty() ? "" : "+") + kTerritoryName[t] + std::to_string(static_cast<int>(depth));
    }
    return s.empty() ? "normal" : s;
}

void set_model(const sample::Model& m) {
    ell_ci = m.ell_ci;
    ell_cj = m.ell_cj;
    ell_ck = m.ell_ck;
    ell_ri = m.ell_ri;
    ell_rj = m.ell_rj;
    ell_rk = m.ell_rk;
    ill_ci = m.ill_ci;
    ill_cj = m.ill_cj;
    ill_ck = m.ill_ck;
    ill_ri = m.ill_ri;
    ill_rj = m.ill_rj;
    ill_rk = m.ill_rk;
    plan_i = m.plan_i;
    PLACE_MODEL();
}

struct Outcome {
    int n = 0, band = 0;
    double scale = 0, cavity_ml = 0;
    bool placed = false;
    bool within = false;        // placed, and every quantity within its bound
    double ms = 0, cpu_ms = 0;  // wall time and processor time (both threads) of AUTO_PLACE
    double confidence = 0;
    double err_cj = 0, err_ck = 0, err_apex = 0, err_base = 0, err_rj = 0, err_rk = 0, err_ci = 0, err_ri = 0;
    int equal_scores = 0;
    int seg_equal[18] = {};
    bool territory_missed = false;  // a defect territory scores nowhere with the model found, somewhere with the true one
    bool wrong_territory = false;   // a territory without a defect scores where it does not with the true model
    // Either of the two above that the true model moved one voxel towards the found one
    // (every bounded value by at most 1, see run_case) shows too: a segment on the threshold, which no placement
    // exact to the voxel reads the same way every time. Counted apart, not as a fault.
    bool at_threshold = false;
};

// The drawing keeps a copy of every picture it hands over; only the live ones matter here.
void forget_old_pictures() {
    for (auto& b : headless::state().bitmaps)
        if (!b->alive) std::vector<unsigned char>().swap(b->pixels);
}

Outcome run_case(int n, const std::string& dir, bool verbose, bool details) {
    const Case c = case_of(n);
    const sample::Heart h = sample::heart_of(c.opt);
    Outcome out;
    out.n = n;
    out.band = c.band;
    out.scale = c.opt.scale;
    out.cavity_ml = sample::cavity_ml(c.opt);
    const std::string path = dir + "/phantom-" + std::to_string(n) + ".dcm";
    {
        const auto bytes = sample::make_dicom(c.opt, sample::make_phantom(c.opt));
        std::string error;
        if (!write_whole(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error)) {
            std::fprintf(stderr, "validate-auto: %s\n", program_text_to_utf8(error).c_str());
            return out;
        }
    }
    headless::queue_open_answer(path);
    if (LOAD_DCM_FILE() != 1) {
        std::fprintf(stderr, "validate-auto: %s %d %s\n", latin1_to_utf8("le fant\xF4me").c_str(), n,
                     latin1_to_utf8("n'a pas \xE9t\xE9 charg\xE9").c_str());
        std::remove(path.c_str());
        return out;
    }
    std::remove(path.c_str());
    load_ok = 1;
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    out.placed = AUTO_PLACE() == 1;
    out.cpu_ms = 1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    out.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    out.confidence = auto_place_report.confidence;
    int found_scores[18] = {};
    float found_sectors[18] = {};
    if (out.placed) {
        out.err_cj = ell_cj - h.cj;
        out.err_ck = ell_ck - h.ck;
        out.err_apex = (ell_ci + ell_ri) - (h.ci + h.outer_ri);
        out.err_base = plan_i - h.base_i;
        out.err_rj = (ell_rj - h.outer_rj) / h.outer_rj;
        out.err_rk = (ell_rk - h.outer_rk) / h.outer_rk;
        out.err_ci = ell_ci - h.ci;
        out.err_ri = ell_ri - h.outer_ri;
        out.within = std::fabs(out.err_cj) <= 2 && std::fabs(out.err_ck) <= 2 && std::fabs(out.err_apex) <= 3 &&
                     std::fabs(out.err_base) <= 3 && std::fabs(out.err_rj) <= 0.1 + 1e-9 &&
                     std::fabs(out.err_rk) <= 0.1 + 1e-9;
        EVAL_RES();
        std::copy(SCORE, SCORE + 18, found_scores);
        std::copy(SECTEUR, SECTEUR + 18, found_sectors);
    }
    const int placed_model[10] = {ell_ci, ell_cj, ell_ck, ell_ri, ell_rj, ell_rk, ill_ri, ill_rj, ill_rk, plan_i};
    const sample::Model found{ell_ci, ell_cj, ell_ck, ell_ri, ell_rj, ell_rk,
                              ill_ci, ill_cj, ill_ck, ill_ri, ill_rj, ill_rk, plan_i};
    const sample::Model truth = sample::model_of(c.opt);
    // The true model moved towards the found one by a voxel at most (sample::towards).
    int near_scores[18] = {};
    if (out.placed) {
        set_model(sample::towards(truth, found));
        EVAL_RES();
        std::copy(SCORE, SCORE + 18, near_scores);
    }
    set_model(truth);
    EVAL_RES();
    for (int s = 1; s <= 17; s++) {
        const bool same = out.placed && found_scores[s] == SCORE[s];
        out.seg_equal[s] = same;
        out.equal_scores += same;
    }
    for (int t = 1; t <= 3; t++) {
        const bool has_defect = c.defect[0] == t || c.defect[1] == t;
        int abnormal_true = 0, abnormal_found = 0, abnormal_near = 0, appeared = 0, appeared_near = 0;
        for (int s : kTerritory[t]) {
            abnormal_true += SCORE[s] >= 1;
            abnormal_found += out.placed && found_scores[s] >= 1;
            abnormal_near += out.placed && near_scores[s] >= 1;
            appeared += out.placed && found_scores[s] >= 1 && SCORE[s] == 0;
            appeared_near += out.placed && found_scores[s] >= 1 && SCORE[s] == 0 && near_scores[s] >= 1;
        }
        if (out.placed && has_defect && abnormal_true > 0 && abnormal_found == 0) {
            if (abnormal_near == 0)
                out.at_threshold = true;
            else
                out.territory_missed = true;
        }
        if (!has_defect && appeared > 0) {
            if (appeared_near == appeared)
                out.at_threshold = true;
            else
                out.wrong_territory = true;
        }
    }
    forget_old_pictures();
    if (verbose) {
        const AutoPlaceReport& r = auto_place_report;
        std::printf("%3d m%-3d %-11s size %.2f (%5.1f mL) shift %+3.0f %+3.0f %+3.0f wall %4.1f base %+3.0f fwhm %4.1f "
                    "counts %4.0f%s liver %3.0f near %2.0f | conf %.2f out %.2f apex %.2f gap %2d lit %.2f ag %+.1f "
                    "ah %+.1f fl %.2f cav %.0f (%s) sc %.2f %s",
                    n, c.opt.matrix, defect_name(c).c_str(), c.opt.scale, out.cavity_ml, c.opt.shift_i, c.opt.shift_j,
                    c.opt.shift_k, c.opt.wall, c.opt.base, c.opt.fwhm, c.opt.counts, c.opt.noise ? "" : "(no noise)",
                    c.opt.liver, c.opt.liver_near, out.confidence, r.outside_ratio, r.apex_dim, r.dark_gap, r.lit_share,
                    r.apex_gap, r.apex_held, r.axis_floor, r.cavity, r.weakest ? r.weakest : "", r.scatter,
                    out.placed ? "placed" : "REFUSED");
        if (!out.placed) {
            std::printf(" (rings %d, mid-wall %.0f %.0f %.0f / %.0f %.0f %.0f, base %.0f, wall %.1f, cavity %.1f, points %d)",
                        r.ring_slices, r.ci, r.cj, r.ck, r.ri, r.rj, r.rk, r.base_i, r.wall_mean, r.cavity_mean, r.points);
        }
        if (out.placed)
            std::printf(" c %d %d %d r %d %d %d in %d %d %d base %d | dj %+.1f dk %+.1f apex %+.1f base %+.1f rj %+.0f%% "
                        "rk %+.0f%% | scores %d/17%s%s%s%s | %.1f ms (cpu %.1f ms)",
                        placed_model[0], placed_model[1], placed_model[2], placed_model[3], placed_model[4],
                        placed_model[5], placed_model[6], placed_model[7], placed_model[8], placed_model[9],
                        out.err_cj, out.err_ck, out.err_apex, out.err_base, 100 * out.err_rj, 100 * out.err_rk,
                        out.equal_scores, out.within ? "" : " OUT OF BOUNDS",
                        out.territory_missed ? " TERRITORY MISSED" : "", out.wrong_territory ? " WRONG TERRITORY" : "",
                        out.at_threshold ? " (territory at the threshold)" : "", out.ms, out.cpu_ms);
        // Each segment scored differently: its score and percentage with the model found,
        // then with the phantom's.
        for (int s = 1; s <= 17 && out.placed; s++)
            if (!out.seg_equal[s])
                std::printf(" | seg %d: %d (%.0f %%) / %d (%.0f %%)", s, found_scores[s], found_sectors[s], SCORE[s],
                            SECTEUR[s]);
        if (out.placed && details)
            std::printf(" | sigma %.2f (phantom %.2f) cap edge - apex %+.2f a/b^2 %.3f", auto_place_report.sigma,
                        c.opt.fwhm / 1.1988 / 2.3548, auto_place_report.apex_edge - (h.ci + h.outer_ri),
                        auto_place_report.ri / (auto_place_report.rj * auto_place_report.rk));
        if (out.placed && details) {
            // Before the rounding: the base plane's error and the outer transverse semi-axes' (voxels).
            const AutoPlaceReport& r = auto_place_report;
            std::printf(" | raw base %+.2f rj %+.2f rk %+.2f", r.base_i - h.base_i, r.rj + r.widen + 4 - h.outer_rj,
                        r.rk + r.widen + 4 - h.outer_rk);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return out;
}

double quantile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t at = std::min(v.size() - 1, static_cast<std::size_t>(std::ceil(q * v.size())) - 1);
    return v[at];
}

// The targets: within bounds on 97 % of every band, no placement out of bounds, under 2 %
// refused, 95 % of the scores equal, no territory missed or reported wrongly.
struct Tally {
    int total = 0, placed = 0, within = 0, out_placed = 0, equal = 0, missed = 0, wrong = 0, at_threshold = 0;
    double ml_lo = 1e9, ml_hi = 0, scale_lo = 1e9, scale_hi = 0;
    std::vector<double> ms;
    void add(const Outcome& o) {
        total++;
        placed += o.placed;
        within += o.within;
        out_placed += o.placed && !o.within;
        equal += o.equal_scores;
        missed += o.territory_missed;
        wrong += o.wrong_territory;
        at_threshold += o.at_threshold;
        ml_lo = std::min(ml_lo, o.cavity_ml);
        ml_hi = std::max(ml_hi, o.cavity_ml);
        scale_lo = std::min(scale_lo, o.scale);
        scale_hi = std::max(scale_hi, o.scale);
        ms.push_back(o.ms);
    }
    double pct(int v, int of) const { return of ? 100.0 * v / of : 0; }
    bool met_within() const { return total == 0 || within >= 0.97 * total; }
};

void print_row(const char* size, const char* cavity, const Tally& t) {
    char equal[16] = "—";  // none placed
    if (t.placed) std::snprintf(equal, sizeof equal, "%.1f %%", t.pct(t.equal, 17 * t.placed));
    std::printf("| %s | %s | %d | %.1f %% | %d | %d (%.1f %%) | %s | %d / %d | %.1f ms |\n", size, cavity, t.total,
                t.pct(t.within, t.total), t.out_placed, t.total - t.placed, t.pct(t.total - t.placed, t.total), equal,
                t.missed, t.wrong, quantile(t.ms, 0.5));
}

// The targets: on adult ventricles (a cavity of 40 to 120 mL), within bounds on 97 %, under
// 2 % refused, 95 % of the scores equal; everywhere, no placement out of bounds and no
// territory missed or reported wrongly by a placed model.
bool report(const std::vector<Outcome>& all) {
    const int total = static_cast<int>(all.size());
    Tally sum, band[kBands], ml[kMlBands], human;
    for (const auto& o : all) {
        sum.add(o);
        band[o.band].add(o);
        ml[ml_band(o.cavity_ml)].add(o);
        if (o.cavity_ml >= kHumanLo && o.cavity_ml < kHumanHi) human.add(o);
    }
    std::printf("\n%d phantoms, %d placed, %d refused; %d with a territory scored otherwise only at the threshold "
                "(the true model moved one voxel towards the found one scores it the same way)\n\n",
                total, sum.placed, total - sum.placed, sum.at_threshold);
    const char* head = "| Phantoms | Within bounds | Placed out of bounds | Refused | Scores equal | "
                       "Territory missed / wrong (placed) | Median time |\n";
    std::printf("| Size (scale) | Cavity %s", head);
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    char size[48], cavity[48];
    for (int b = 0; b < kBands; b++) {
        if (band[b].total == 0) continue;
        std::snprintf(size, sizeof size, "%.2f–%.2f", kBandEdge[b], kBandEdge[b + 1]);
        std::snprintf(cavity, sizeof cavity, "%.1f–%.0f mL", band[b].ml_lo, band[b].ml_hi);
        print_row(size, cavity, band[b]);
    }
    std::printf("\n| Cavity | Size (scale) %s", head);
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    for (int b = 0; b <= kMlBands + 1; b++) {
        const Tally& t = b < kMlBands ? ml[b] : b == kMlBands ? human : sum;
        if (t.total == 0) continue;
        if (b == 0)
            std::snprintf(cavity, sizeof cavity, "< %.0f mL", kMlEdge[1]);
        else if (b == kMlBands - 1)
            std::snprintf(cavity, sizeof cavity, "≥ %.0f mL", kMlEdge[b]);
        else if (b < kMlBands)
            std::snprintf(cavity, sizeof cavity, "%.0f–%.0f mL%s", kMlEdge[b], kMlEdge[b + 1],
                          kMlEdge[b] >= kHumanLo && kMlEdge[b + 1] <= kHumanHi ? " (adult)" : "");
        else
            std::snprintf(cavity, sizeof cavity, b == kMlBands ? "**40–120 mL (adult)**" : "all");
        std::snprintf(size, sizeof size, "%.2f–%.2f", t.scale_lo, t.scale_hi);
        print_row(cavity, size, t);
    }
    // Each adult band (40-80 and 80-120 mL) must be within bounds on 97 % by itself: a good
    // large ventricle must not hide a failing small one.
    std::string missed_targets;
    auto target = [&](bool held, const std::string& what) {
        if (!held) missed_targets += (missed_targets.empty() ? "" : "; ") + what;
    };
    target(human.met_within(), "adults within bounds under 97 %");
    for (int b = 0; b < kMlBands; b++)
        if (kMlEdge[b] >= kHumanLo && kMlEdge[b + 1] <= kHumanHi)
            target(ml[b].met_within(), std::to_string(static_cast<int>(kMlEdge[b])) + "-" +
                                           std::to_string(static_cast<int>(kMlEdge[b + 1])) + " mL within bounds under 97 %");
    target(human.total - human.placed < 0.02 * human.total, "adults refused on 2 % or more");
    target(human.equal >= 0.95 * 17 * human.placed, "adult scores equal under 95 %");
    target(sum.out_placed == 0, "placements out of bounds");
    target(sum.missed == 0 && sum.wrong == 0, "territories missed or wrong");
    const bool met = missed_targets.empty();

    struct Row {
        const char* what;
        double target;
        bool relative;
        double Outcome::*field;
    };
    const Row rows[] = {
        {"outer centre j", 2, false, &Outcome::err_cj},
        {"outer centre k", 2, false, &Outcome::err_ck},
        {"apex (outer centre + semi-axis, i)", 3, false, &Outcome::err_apex},
        {"base plane", 3, false, &Outcome::err_base},
        {"outer semi-axis j", 0.10, true, &Outcome::err_rj},
        {"outer semi-axis k", 0.10, true, &Outcome::err_rk},
        {"outer centre i (information)", 0, false, &Outcome::err_ci},
        {"outer semi-axis i (information)", 0, false, &Outcome::err_ri},
    };
    std::printf("\n| Quantity (placed phantoms) | Target | Within target | 95th percentile of the error | Largest error | "
                "Mean error |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Row& r : rows) {
        std::vector<double> e;
        double total_err = 0;
        int within = 0;
        for (const auto& o : all) {
            if (!o.placed) continue;
            const double v = o.*(r.field);
            e.push_back(std::fabs(v));
            total_err += v;
            within += std::fabs(v) <= r.target + 1e-9;
        }
        const double k = r.relative ? 100 : 1;
        const char* unit = r.relative ? " %" : " vx";
        char target[32] = "—", share[32] = "—";
        if (r.target > 0) {
            std::snprintf(target, sizeof target, "%.0f%s", r.target * k, unit);
            std::snprintf(share, sizeof share, "%.1f %%", e.empty() ? 0 : 100.0 * within / e.size());
        }
        std::printf("| %s | %s | %s | %.1f%s | %.1f%s | %+.2f%s |\n", r.what, target, share, quantile(e, 0.95) * k, unit,
                    e.empty() ? 0 : *std::max_element(e.begin(), e.end()) * k, unit,
                    e.empty() ? 0 : total_err / e.size() * k, unit);
    }
    std::printf("\nPer segment (1..17), share of the placed phantoms with the score equal:");
    for (int s = 1; s <= 17; s++) {
        int e = 0;
        for (const auto& o : all) e += o.seg_equal[s];
        std::printf(" %.0f", sum.placed ? 100.0 * e / sum.placed : 0);
    }
    std::printf(" %%\n");
    std::vector<double> cpu;
    for (const auto& o : all) cpu.push_back(o.cpu_ms);
    std::printf("AUTO_PLACE wall time: median %.1f ms, 95th percentile %.1f ms, largest %.1f ms; processor time "
                "(both threads): median %.1f ms, 95th percentile %.1f ms.\n",
                quantile(sum.ms, 0.5), quantile(sum.ms, 0.95),
                sum.ms.empty() ? 0 : *std::max_element(sum.ms.begin(), sum.ms.end()), quantile(cpu, 0.5),
                quantile(cpu, 0.95));
    std::printf("Targets %s%s%s.\n", met ? "met" : "NOT met", met ? "" : ": ", missed_targets.c_str());
    return met;
}

}  // namespace

void add_validate_auto_command(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("validate-auto", "Measure the automatic placement on phantoms of known geometry");
    static int count = 320, first = 0;
    static bool quiet = false, details = false;
    static std::string folder;
    cmd->add_option("--count", count, "Number of phantoms")->capture_default_str();
    cmd->add_option("--first", first, "Number of the first phantom")->capture_default_str();
    cmd->add_flag("--quiet", quiet, "Only the summary, not one line per phantom");
    cmd->add_flag("--details", details,
                  "Also the blur found and the apex edge's offset (the terms of the apex calibration)");
    cmd->add_option("--app-folder", folder, "Folder of log.txt and PALETS (default: the program's folder)");
    cmd->callback([&status] {
        if (!folder.empty()) headless::set_module_path(folder + "/vesmora-cli");
        const std::string dir = std::filesystem::temp_directory_path().string() + "/vesmora-validate-" +
                                std::to_string(getpid());
        std::filesystem::create_directories(dir);
        STARTUP();
        std::vector<Outcome> all;
        for (int n = first; n < first + count; n++) all.push_back(run_case(n, dir, !quiet, details));
        std::filesystem::remove_all(dir);
        status = report(all) ? 0 : 1;
    });
}

// Automatic placement of the ventricle model.
//
//  1. Shrink: block means of the volume on a 128 grid (2 x 2 x 2 voxels, both cores)
//     and on a 64 grid (4 x 4 x 4); the means also tame the noise.
//  2. Find: on the 64 grid, the connected regions above 13 thresholds; a candidate is a
//     region whose short-axis cuts are rings around a dark hole in a run of slices, the
//     holes along one axis. A liver-like blob is solid and never qualifies; a ring opened
//     by a dim territory at one threshold closes at a lower one. A small ventricle whose
//     cavity the blur nearly fills is looked for on the 128 grid too.
//  3. Fit: rays across the wall on the 128 grid, in the short-axis planes from the axis
//     and towards the apex from inside the cavity; the crest of each profile is a mid-wall
//     point. An axis-aligned ellipsoid is fitted to the points (robust Levenberg-Marquardt),
//     the points are moved out by the blur's pull towards the wall's centre of curvature
//     and fitted again; the apex is held where the counts along the axis fall half-way
//     past it. The base plane is the level where the counts along the mid-wall fall
//     half-way from the wall's to the background's, per angle, then the median, so a
//     defect over a whole territory does not move it.
//  4. Check and place: the candidates in turn until one has the sizes of a heart and a
//     cavity darker than its wall; the model is the mid-wall ellipsoid widened and
//     narrowed by half of a typical wall (8 voxels, 9.6 mm) and set as "Centrer volume"
//     and the drags set it.
#include "Auto_Place.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "Display.h"
#include "Model_Place.h"
#include "main.h"
#include "tasks.h"

AutoPlaceReport auto_place_report;

namespace {

constexpr int G2 = 128;  // side of the 2-voxel grid
constexpr int G4 = 64;   // side of the 4-voxel grid
constexpr double kWall = 8.0;  // wall thickness the model assumes (voxels)
constexpr double kPi = 3.14159265358979323846;
// The short-axis crests lie inside the mid-wall, the more so the noisier the study: noise
// lifts the side towards the blurred cavity more often than the side towards the
// background. Their scatter about the fitted surface (rms, voxels) measures the noise; the
// model is moved out by -0.21 + 0.68 x scatter (the slope fitted on validate-auto --first 0
// --count 320 and --first 1000 --count 320; the offset a quarter voxel under the mean: a
// model one voxel too wide beside a liver as hot as the wall takes the liver's counts into
// its wall, and a healthy segment scored). Only the crests of bright wall count: a defect's,
// which the blur draws towards the bright wall, scatter without any noise, and two dim
// territories had widened the model by a voxel (10 % across on a 41 mL ventricle).
constexpr double kCrestBias = -0.21, kCrestNoise = 0.68;
// The base plane found lies 0.34 voxel short of the true one on average (0.2 sd; phantoms 0
// to 319 and 1000 to 1319): it is moved on by that much before the rounding, which had
// left a fifth of the planes one voxel short (a basal segment beside a hot liver scored).
constexpr double kBaseBias = 0.4;
// Below this cavity (voxels; 36 mL at 1.2 mm) the blur, sd 4 to 6 voxels, nearly fills the
// cavity: the apex and the width are unsure there (10 to 20 mL hearts came out 3 to 5
// voxels short at the apex, or a healthy segment scored; a 25 mL one 3.2 short under a
// dim apex, a 28 mL one 4.4 short whose model's cavity read 20 567). Such a model is
// refused. The smallest cavity of an adult ventricle's model (40 mL and more) on phantoms
// 2000 to 2319, 5000 to 5319 and 6000 to 6319 was 22 079.
constexpr double kMinCavity = 21000;
constexpr double kMaxScatter = 2.0;  // crests' rms scatter about the fit past which it is not trusted (voxels)
constexpr double kMaxScatterDimApex = 1.7;  // the same under an apex dimmer than kDimApex of the bright wall
constexpr double kDimApex = 0.55;
// Longest over shortest semi-axis across the axis past which the section is fitted again
// held round: LCx and RCA defects under 100 counts (88 mL) left a section 12 % out of round
// and its long semi-axis 12 % wide (phantom 6226); the round fit is as good as the free one
// on the other sections between 10 and 13 %. 1.08 since an LCx defect under 100 counts (55 mL)
// kept a section 9 % out of round, 12 % narrow across: from 8 % the round fit changed 9 of a set
// of 2 560 phantoms never looked at, none further off across the axis, a wrong territory gone.
constexpr double kMaxOutOfRound = 1.08;
// The most the apex held by the cap's edge and the crests' own may lie apart
// (voxels). 9 placed two LAD defects (85 and 92 mL, 8.1 and 7.0 voxels apart) within the
// bounds but a third (67 mL, 100 counts, 7.5 apart) 5.4 voxels long: kept at 7.
constexpr double kMaxApexGap = 7;
// Past the apex along the axis the counts fall to this share of the apex's crest at most:
// higher, the half-way level lies within the wall's own noise and the edge holds no apex (a
// 76 mL ventricle under a deep LAD defect and a touching liver as hot as the wall came out
// 4.3 voxels short at 0.46; no placement within the bounds
// of phantoms 2000 to 2319, 5000 to 5319 and 6000 to 6319 read over 0.43).
constexpr double kMaxAxisFloor = 0.45;
// The fitted ellipsoid's centre along the axis lies about 4 voxels towards the apex (its long
// semi-axis as much shorter, the apex in place; phantoms 0 to 319 and 1000 to 1319, 2 to 10
// voxels as the base plane lies before or past the centre): the model is moved back by 4 and
// lengthened as much, so its mid-ventricular sections, which the segments read, match.
constexpr double kEquatorShift = 4;
// Weight of a crest dimmer than 0.72 of the bright wall (a defect): almost none, as the
// blur draws it towards the bright part, but enough to hold the fit when two territories
// are dim and the bright wall alone is an arc.
constexpr double kDimWeight = 0.02;
// The apex is read on the cap about the fitted tip: the profiles along the normals of the
// mid-wall ellipsoid within kCapRadius voxels of its tip, averaged, and the edge of a blurred
// step fitted to them over kCapReach voxels past their crest. That edge lies past the outer
// surface by kCapOffset + kCapCurvature * a/b^2 - scatter * (kCapNoise - kCapNoiseLit * apex),
// scatter the crests' rms distance from the fit and apex the tip's counts over the bright
// wall's: noise draws the edge in, the more so under a dim apex. Fitted by least squares on
// validate-auto's phantoms 8000 to 10559 (residual sd 0.52 voxel there, 0.51 on 10560 to
// 13119, the largest 2.7).
constexpr double kCapRadius = 7.5, kCapReach = 24;
constexpr double kCapOffset = 0.327, kCapCurvature = -6.063, kCapNoise = 1.659, kCapNoiseLit = 1.25;

float g2[G2 * G2 * G2];    // block means of 2 x 2 x 2 voxels; cell a is centred on voxel 2a + 0.5
float g4[G4 * G4 * G4];    // block means of 4 x 4 x 4 voxels; cell g is centred on 4g + 1.5
int lab[G2 * G2 * G2];     // region number of each cell at the current threshold (0: below)
int queue_[G2 * G2 * G2];  // cells of the regions, region after region

// A grid of block means: cell g is centred on voxel step * g + off.
struct Grid {
    const float* v;
    int n;
    double step, off;
};

inline int at4(int i, int j, int k) { return (i * G4 + j) * G4 + k; }

// 1. Shrink ------------------------------------------------------------------------------------
void shrink_planes(int a0, int a1) {
    float row[VOL_N];
    for (int a = a0; a < a1; a++) {
        const float* p0 = data + static_cast<long>(2 * a) * 65536;
        const float* p1 = p0 + 65536;
        for (int b = 0; b < G2; b++) {
            const float* r00 = p0 + 2 * b * 256;
            const float* r01 = r00 + 256;
            const float* r10 = p1 + 2 * b * 256;
            const float* r11 = r10 + 256;
            for (int k = 0; k < VOL_N; k++) row[k] = (r00[k] + r01[k]) + (r10[k] + r11[k]);
            float* out = g2 + (a * G2 + b) * G2;
            for (int c = 0; c < G2; c++) out[c] = (row[2 * c] + row[2 * c + 1]) * 0.125f;
        }
    }
}

void shrink() {
    // All workers at once: the volume is read once, as fast as memory allows.
    run_tasks(8, worker_threads(), [](int t) { shrink_planes(t * G2 / 8, (t + 1) * G2 / 8); });
    for (int i = 0; i < G4; i++)
        for (int j = 0; j < G4; j++)
            for (int k = 0; k < G4; k++) {
                float s = 0;
                for (int c = 0; c < 8; c++)
                    s += g2[((2 * i + (c >> 2)) * G2 + 2 * j + ((c >> 1) & 1)) * G2 + 2 * k + (c & 1)];
                g4[at4(i, j, k)] = s * 0.125f;
            }
}

// Counts at a point of the volume (voxel coordinates), trilinear on the 128 grid.
float sample(double x, double y, double z) {
    auto split = [](double v, int& n, float& f) {
        double u = (v - 0.5) * 0.5;
        u = u < 0 ? 0 : u > G2 - 1.001 ? G2 - 1.001 : u;
        n = static_cast<int>(u);
        f = static_cast<float>(u - n);
    };
    int a, b, c;
    float fa, fb, fc;
    split(x, a, fa);
    split(y, b, fb);
    split(z, c, fc);
    const float* p = g2 + (a * G2 + b) * G2 + c;
    const float c00 = p[0] + (p[1] - p[0]) * fc;
    const float c01 = p[G2] + (p[G2 + 1] - p[G2]) * fc;
    const float c10 = p[G2 * G2] + (p[G2 * G2 + 1] - p[G2 * G2]) * fc;
    const float c11 = p[G2 * G2 + G2] + (p[G2 * G2 + G2 + 1] - p[G2 * G2 + G2]) * fc;
    const float c0 = c00 + (c01 - c00) * fb, c1 = c10 + (c11 - c10) * fb;
    return c0 + (c1 - c0) * fa;
}

// 2. Find ---------------------------------------------------------------------------------------
struct Candidate {
    int rings = 0;            // ring slices
    double cj = 0, ck = 0;    // axis (median of the holes), voxels
    double r = 0;             // median ring radius, voxels
    double i_lo = 0, i_hi = 0;  // first and last ring slice, voxels
    double i_top = 0;         // last slice of the region (the apex cap), voxels
    double step = 4;          // voxels between the slices counted in `rings`
};

double median(double* v, int n) {
    if (n <= 0) return 0;
    std::nth_element(v, v + n / 2, v + n);
    double m = v[n / 2];
    if (n % 2 == 0) m = 0.5 * (m + *std::max_element(v, v + n / 2));
    return m;
}

// Solid blobs on the 64 grid (a liver as bright as the wall and touching it): at a
// threshold, the cells a 5 x 5 x 5 cube of cells at or above it fits in, widened by 2
// cells (the blob itself; a third cell ate the wall the liver touches, and a LAD defect
// then left no ring at all). A ventricle's wall is never that thick; taking the blobs out
// parts a ventricle from a liver that touches it (its ring loses an octant or two on that
// side). A cell belongs to a blob at every threshold up to blob_level: the largest, over
// the 5 x 5 x 5 cube around it, of the smallest counts over the 5 x 5 x 5 cube around each cell.
float blob_level[G4 * G4 * G4];
bool blobs_out = false;  // whether label_regions leaves the blobs out

// The smallest (or largest) over a cube of 2r + 1 cells, one axis at a time.
void cube_filter(float* v, int r, bool smallest) {
    static float line[G4];
    for (int stride : {1, G4, G4 * G4}) {
        for (int s0 = 0; s0 < G4 * G4 * G4; s0++) {
            if ((s0 / stride) % G4 != 0) continue;  // the start of each line along the axis
            for (int x = 0; x < G4; x++) line[x] = v[s0 + x * stride];
            for (int x = 0; x < G4; x++) {
                // Outside the grid counts as empty for the smallest, as nothing for the largest.
                float m = line[x];
                for (int d = -r; d <= r; d++) {
                    const int y = x + d;
                    if (y < 0 || y >= G4) {
                        if (smallest) m = 0;
                        continue;
                    }
                    m = smallest ? std::min(m, line[y]) : std::max(m, line[y]);
                }
                v[s0 + x * stride] = m;
            }
        }
    }
}

void find_blobs() {
    std::copy(g4, g4 + G4 * G4 * G4, blob_level);
    cube_filter(blob_level, 2, true);
    cube_filter(blob_level, 2, false);
}

// Labels the cells at or above t; returns the number of regions. The cells of region r
// are queue_[start[r] .. start[r + 1]).
int label_regions(const Grid& g, float t, int* start, int max_regions) {
    const int G = g.n;
    std::fill(lab, lab + G * G * G, 0);
    int regions = 0, tail = 0;
    for (int s = 0; s < G * G * G; s++) {
        if (lab[s] != 0 || g.v[s] < t || (blobs_out && g.n == G4 && blob_level[s] >= t)) continue;
        if (regions == max_regions) break;
        start[regions] = tail;
        regions++;
        lab[s] = regions;
        queue_[tail++] = s;
        for (int h = start[regions - 1]; h < tail; h++) {
            const int q = queue_[h], i = q / (G * G), j = (q / G) % G, k = q % G;
            const int nb[6][3] = {{i - 1, j, k}, {i + 1, j, k}, {i, j - 1, k}, {i, j + 1, k}, {i, j, k - 1}, {i, j, k + 1}};
            for (const auto& n : nb) {
                if (n[0] < 0 || n[0] >= G || n[1] < 0 || n[1] >= G || n[2] < 0 || n[2] >= G) continue;
                const int m = (n[0] * G + n[1]) * G + n[2];
                if (lab[m] == 0 && g.v[m] >= t && !(blobs_out && g.n == G4 && blob_level[m] >= t)) {
                    lab[m] = regions;
                    queue_[tail++] = m;
                }
            }
        }
    }
    start[regions] = tail;
    return regions;
}

// How many short-axis slices of region r are rings around a hole, and where.
Candidate judge_region(const Grid& g, int r, int from, int to, float t) {
    const int G = g.n, s = G / G4;  // s: cells of this grid per cell of the 64 grid
    Candidate c;
    if (to - from < 24 * s * s * s) return c;
    int n[G2] = {};
    double sj[G2] = {}, sk[G2] = {};
    int lo = G, hi = -1;
    for (int h = from; h < to; h++) {
        const int q = queue_[h], i = q / (G * G);
        n[i]++;
        sj[i] += (q / G) % G;
        sk[i] += q % G;
        lo = std::min(lo, i);
        hi = std::max(hi, i);
    }
    // Per slice, the hole: the darkest cell outside the region near the centroid (the
    // centroid of a ring opened by a defect lies off the middle of the cavity).
    int hole_j[G2], hole_k[G2];
    for (int i = lo; i <= hi; i++) {
        hole_j[i] = -1;
        if (n[i] < 6 * s) continue;
        const int cj = static_cast<int>(sj[i] / n[i] + 0.5), ck = static_cast<int>(sk[i] / n[i] + 0.5);
        float dark = 0;
        for (int dj = -2 * s; dj <= 2 * s; dj++)
            for (int dk = -2 * s; dk <= 2 * s; dk++) {
                const int j = cj + dj, k = ck + dk;
                if (dj * dj + dk * dk > 5 * s * s || j < 0 || j >= G || k < 0 || k >= G) continue;
                const int q = (i * G + j) * G + k;
                if (lab[q] == r + 1) continue;
                if (hole_j[i] < 0 || g.v[q] < dark) {
                    hole_j[i] = j;
                    hole_k[i] = k;
                    dark = g.v[q];
                }
            }
        if (dark > 0.8f * t) hole_j[i] = -1;  // no dark hole near the middle: a blob
    }
    // Mean distance of the region's cells from the hole, and the octants around it they fill.
    double rr[G2] = {};
    int octants[G2] = {};
    for (int h = from; h < to; h++) {
        const int q = queue_[h], i = q / (G * G);
        if (hole_j[i] < 0) continue;
        const double dj = (q / G) % G - hole_j[i], dk = q % G - hole_k[i];
        rr[i] += std::sqrt(dj * dj + dk * dk);
        double th = std::atan2(dk, dj);
        if (th < 0) th += 2 * kPi;
        octants[i] |= 1 << std::min(7, static_cast<int>(th / (kPi / 4)));
    }
    double hj[G2], hk[G2], hr[G2];
    Candidate best_run;
    int last_i = -10, last_j = 0, last_k = 0;
    auto close_run = [&] {
        if (c.rings == 0) return;
        c.cj = median(hj, c.rings);
        c.ck = median(hk, c.rings);
        c.r = median(hr, c.rings);
        // The region's last slice past the run: the apex cap.
        c.i_top = c.i_hi;
        for (int i = static_cast<int>((c.i_hi - g.off) / g.step) + 1; i <= hi && n[i] > 0; i++) c.i_top = g.step * i + g.off;
    };
    for (int i = lo; i <= hi; i++) {
        if (hole_j[i] < 0) continue;
        const int bj = hole_j[i], bk = hole_k[i];
        const double mean_r = rr[i] / n[i];
        if (mean_r < 1.5 * s || mean_r > 14 * s) continue;
        int filled = 0;
        for (int o = 0; o < 8; o++) filled += (octants[i] >> o) & 1;
        // A defect may open two octants; on the fine grid, searched only for a small ventricle
        // whose dim territory sinks to the level of its blurred cavity, three.
        if (filled < (s == 1 ? 6 : 5)) continue;
        // The cavity runs along i: a ring counts in the run of rings before it only when
        // its hole lies next to the last one.
        if (c.rings > 0 && (i - last_i > 2 * s || std::abs(bj - last_j) > 2 * s || std::abs(bk - last_k) > 2 * s)) {
            close_run();
            if (c.rings > best_run.rings) best_run = c;
            c = Candidate{};
        }
        last_i = i;
        last_j = bj;
        last_k = bk;
        hj[c.rings] = g.step * bj + g.off;
        hk[c.rings] = g.step * bk + g.off;
        hr[c.rings] = g.step * mean_r;
        if (c.rings == 0) c.i_lo = g.step * i + g.off;
        c.i_hi = g.step * i + g.off;
        c.rings++;
    }
    close_run();
    return best_run.rings > c.rings ? best_run : c;
}

// The best candidates so far, longest ring stretch first, each at its own place.
constexpr int kCandidates = 4;
struct Shortlist {
    Candidate c[kCandidates];
    int n = 0;
    void offer(const Candidate& x) {
        const double len = x.rings * x.step;
        if (len <= 0) return;
        for (int m = 0; m < n; m++) {
            if (std::fabs(c[m].cj - x.cj) < 12 && std::fabs(c[m].ck - x.ck) < 12) {  // the same place
                if (len > c[m].rings * c[m].step) {
                    c[m] = x;
                    sort();
                }
                return;
            }
        }
        if (n < kCandidates) {
            c[n++] = x;
        } else if (len > c[n - 1].rings * c[n - 1].step) {
            c[n - 1] = x;
        }
        sort();
    }
    void sort() {  // insertion: four at most
        for (int m = 1; m < n; m++)
            for (int q = m; q > 0 && c[q].rings * c[q].step > c[q - 1].rings * c[q - 1].step; q--) std::swap(c[q], c[q - 1]);
    }
};

// The regions that are rings in the longest stretches of slices, over the thresholds.
// With `blobs`, the solid blobs at each threshold are taken out first.
void search(const Grid& g, float top, int every, Shortlist& list, bool blobs = false) {
    static const float fractions[] = {0.8f, 0.72f, 0.65f, 0.59f, 0.53f, 0.48f, 0.43f, 0.39f, 0.35f, 0.31f, 0.27f, 0.23f, 0.2f};
    static int start[4097];
    if (blobs) find_blobs();
    blobs_out = blobs;
    for (int f = 0; f < 13; f += every) {
        const float t = fractions[f] * top;
        const int regions = label_regions(g, t, start, 4096);
        for (int r = 0; r < regions; r++) {
            Candidate c = judge_region(g, r, start[r], start[r + 1], t);
            c.step = g.step;
            list.offer(c);
        }
    }
    blobs_out = false;
}

// On the 64 grid first; a small ventricle whose cavity the blur nearly fills shows its
// ring only on the 128 grid, which is searched too (at every other threshold) when the
// 64 grid shows no ring over 8 voxels.
void find_ventricle(float top, Shortlist& list) {
    search(Grid{g4, G4, 4, 1.5}, top, 1, list);
    if (list.n > 0 && list.c[0].rings * list.c[0].step >= 8) return;
    search(Grid{g2, G2, 2, 0.5}, top, 2, list);
}

// 3. Fit ------------------------------------------------------------------------------------------
struct Point {
    double i, j, k;
    double w;  // weight of its kind (apex rays count more: they are few)
};

constexpr int kAngles = 32;      // rays around the axis in each short-axis plane
constexpr int kMaxLevels = 160;  // short-axis planes, two voxels apart (the whole cube)
constexpr int kMaxPoints = kAngles * kMaxLevels + 200;

Point pts[kMaxPoints];
int npts = 0;
double peaks[kMaxPoints];   // counts at each point's crest
int angle_of[kMaxPoints];   // the ray's angle around the axis (-1: a ray towards the apex)
double axis_edge = -1;      // level of the outer half-way point along the axis past the apex
double apex_dim = 0;        // counts at the apex's crest on the axis over the bright wall's
double axis_floor = 0;      // the lowest counts past the apex on the axis over the apex's crest
double widths[kMaxPoints];  // outer half-widths of the short-axis crests
int nwidths = 0;
int dark_gap = 0;           // the widest run of angles around the axis whose wall counts for nothing
double lit_share = 0;       // share of the short-axis crests that count in the fit

float crest_floor = 0;  // the last crest's lowest counts over the next 24 voxels over its own

// The crest of the counts along a ray from (i, j, k) in direction (di, dj, dk), within
// `len` voxels: the highest point before the counts fall by 40 % again. Returns the
// distance (subvoxel) or -1 when the ray never crosses a wall; `peak` gets its counts and
// `outer` the distance from the crest to where the counts are half-way down to the lowest
// of the next 24 voxels (-1 if they never are).
double crest(double i, double j, double k, double di, double dj, double dk, int len, float& peak, double& outer) {
    float p[256];
    len = std::min(len, 250);
    for (int s = 0; s <= len + 1; s++) p[s] = sample(i + s * di, j + s * dj, k + s * dk);
    float q[256];
    q[0] = p[0];
    for (int s = 1; s <= len; s++) q[s] = 0.25f * p[s - 1] + 0.5f * p[s] + 0.25f * p[s + 1];
    int best = 0;
    for (int s = 1; s <= len; s++) {
        if (q[s] > q[best]) best = s;
        if (q[s] < 0.6f * q[best] && best >= 2) {
            if (!(q[best] > 1.15f * q[0])) return -1;  // the start was no darker than the crest
            const double a = q[best - 1], b = q[best], c = q[best + 1];
            const double den = a - 2 * b + c;
            const double off = den < 0 ? 0.5 * (a - c) / den : 0;
            peak = q[best];
            const double at = best + std::clamp(off, -0.5, 0.5);
            float low = q[best];
            const int end = std::min(len, best + 24);
            for (int t = best; t <= end; t++) low = std::min(low, q[t]);
            const float half = 0.5f * (q[best] + low);
            crest_floor = low / q[best];
            outer = -1;
            for (int t = best + 1; t <= end; t++)
                if (q[t] <= half) {
                    outer = t - 1 + (q[t - 1] - half) / (q[t - 1] - q[t]) - at;
                    break;
                }
            return at;
        }
    }
    return -1;
}

struct Ellipsoid {
    double p[6];  // ci, cj, ck, ri, rj, rk
};

// Signed distance, along the line from the centre, from the ellipsoid to a point.
inline double residual(const double* p, const Point& q) {
    const double di = q.i - p[0], dj = q.j - p[1], dk = q.k - p[2];
    const double ui = di / p[3], uj = dj / p[4], uk = dk / p[5];
    const double rho = std::sqrt(ui * ui + uj * uj + uk * uk);
    const double len = std::sqrt(di * di + dj * dj + dk * dk);
    if (rho < 1e-9) return -std::cbrt(p[3] * p[4] * p[5]);
    return len * (1 - 1 / rho);
}

// Whether the fit holds the short-axis section round (both transverse semi-axes one).
bool round_section = false;

// Robust Levenberg-Marquardt: Huber weights first, Tukey's at the end (points farther
// than 4 voxels from the surface then count no more). Returns the points kept.
int fit_ellipsoid(Ellipsoid& e, int first_pass) {
    if (round_section) e.p[4] = e.p[5] = 0.5 * (e.p[4] + e.p[5]);
    double lambda = 1e-3;
    int kept = 0;
    for (int it = 0; it < 30; it++) {
        const bool tukey = it >= first_pass;
        double A[6][7] = {};
        double cost = 0;
        kept = 0;
        for (int n = 0; n < npts; n++) {
            const double r = residual(e.p, pts[n]);
            const double ar = std::fabs(r);
            double w;
            if (tukey) {
                if (ar >= 4) continue;
                const double t = 1 - (r / 4) * (r / 4);
                w = t * t;
            } else {
                w = ar <= 2 ? 1 : 2 / ar;
            }
            w *= pts[n].w;
            kept++;
            double J[6];
            for (int m = 0; m < 6; m++) {
                double p2[6];
                std::copy(e.p, e.p + 6, p2);
                const double h = 1e-3 * std::max(1.0, std::fabs(e.p[m]));
                p2[m] += h;
                if (round_section && m == 4) p2[5] += h;  // one semi-axis for both
                J[m] = round_section && m == 5 ? 0 : (residual(p2, pts[n]) - r) / h;
            }
            for (int a = 0; a < 6; a++) {
                for (int b = 0; b < 6; b++) A[a][b] += w * J[a] * J[b];
                A[a][6] -= w * J[a] * r;
            }
            cost += w * r * r;
        }
        if (kept < 12) return kept;
        if (round_section) A[5][5] = 1;  // no step of its own
        for (int a = 0; a < 6; a++) A[a][a] *= 1 + lambda;
        // Gaussian elimination with partial pivoting.
        for (int c = 0; c < 6; c++) {
            int piv = c;
            for (int r = c + 1; r < 6; r++)
                if (std::fabs(A[r][c]) > std::fabs(A[piv][c])) piv = r;
            for (int m = 0; m < 7; m++) std::swap(A[c][m], A[piv][m]);
            if (std::fabs(A[c][c]) < 1e-12) return 0;
            for (int r = c + 1; r < 6; r++) {
                const double f = A[r][c] / A[c][c];
                for (int m = c; m < 7; m++) A[r][m] -= f * A[c][m];
            }
        }
        double step[6];
        for (int c = 5; c >= 0; c--) {
            double s = A[c][6];
            for (int m = c + 1; m < 6; m++) s -= A[c][m] * step[m];
            step[c] = s / A[c][c];
        }
        Ellipsoid trial = e;
        for (int m = 0; m < 6; m++) trial.p[m] += std::clamp(step[m], -10.0, 10.0);
        for (int m = 3; m < 6; m++) trial.p[m] = std::max(trial.p[m], 3.0);
        if (round_section) trial.p[5] = trial.p[4];
        // Accept when the same weights give a lower cost.
        double trial_cost = 0;
        for (int n = 0; n < npts; n++) {
            const double r0 = residual(e.p, pts[n]), ar = std::fabs(r0);
            double w;
            if (tukey) {
                if (ar >= 4) continue;
                const double t = 1 - (r0 / 4) * (r0 / 4);
                w = t * t;
            } else {
                w = ar <= 2 ? 1 : 2 / ar;
            }
            const double r = residual(trial.p, pts[n]);
            trial_cost += w * pts[n].w * r * r;
        }
        if (trial_cost <= cost) {
            e = trial;
            lambda = std::max(lambda * 0.3, 1e-6);
            double largest = 0;
            for (int m = 0; m < 6; m++) largest = std::max(largest, std::fabs(step[m]));
            if (tukey && it > first_pass + 2 && largest < 0.005) break;  // settled
        } else {
            lambda *= 10;
        }
    }
    return kept;
}

// Radius of the ellipsoid's section at level i in direction th (0 when the level misses it).
double section_radius(const Ellipsoid& e, double i, double th) {
    const double u = (i - e.p[0]) / e.p[3];
    if (u * u >= 1) return 0;
    const double c = std::cos(th) / e.p[4], s = std::sin(th) / e.p[5];
    return std::sqrt(1 - u * u) / std::sqrt(c * c + s * s);
}

// Base plane: per angle, the level where the counts along the mid-wall (best of a few
// voxels across it) fall half-way from the wall's plateau in the middle of the ventricle
// to the lowest counts below; the median over the angles.
double find_base(const Ellipsoid& e, double base0) {
    double found[kAngles];
    int nf = 0;
    // Up to the middle of the ventricle, at least 24 voxels past the base (a base well
    // past the equator leaves little of it), short of the apex's narrow part.
    const int hi = static_cast<int>(std::max(e.p[0] + 0.5 * e.p[3], std::min(base0 + 24, e.p[0] + 0.8 * e.p[3])));
    const int lo = std::max(2, static_cast<int>(std::min(e.p[0] - 0.9 * e.p[3], base0 - 30)));
    const int levels = std::min(hi - lo + 1, 250);
    if (levels < 24) return base0;
    for (int a = 0; a < kAngles; a++) {
        const double th = a * 2 * kPi / kAngles, cs = std::cos(th), sn = std::sin(th);
        float v[256], sm[256];
        for (int s = 0; s < levels; s++) {
            const double i = lo + s;
            // Past the equator towards the base the section narrows; below the
            // ellipsoid's reach the lowest section is used.
            double R = section_radius(e, std::max(i, e.p[0] - 0.95 * e.p[3]), th);
            float m = 0;
            for (int d = -3; d <= 3; d++)
                m = std::max(m, sample(i, e.p[1] + (R + d) * cs, e.p[2] + (R + d) * sn));
            v[s] = m;
        }
        for (int s = 0; s < levels; s++) {
            float t = 0;
            int n = 0;
            for (int d = -2; d <= 2; d++)
                if (s + d >= 0 && s + d < levels) t += v[s + d], n++;
            sm[s] = t / n;
        }
        double plateau[24];
        int np = 0;
        for (int s = levels - 16; s < levels; s++) plateau[np++] = sm[s];
        const double P = median(plateau, np);
        double L = P;
        for (int s = 0; s < levels - 16; s++) L = std::min(L, static_cast<double>(sm[s]));
        if (!(P > L * 1.3)) continue;
        const double half = 0.5 * (P + L);
        for (int s = levels - 10; s > 0; s--) {
            if (sm[s - 1] < half && sm[s] >= half) {
                found[nf++] = lo + s - 1 + (half - sm[s - 1]) / (sm[s] - sm[s - 1]);
                break;
            }
        }
    }
    if (nf < kAngles / 4) return base0;
    return median(found, nf);
}

// Counts across a flat wall of kWall voxels blurred by a Gaussian of sd sigma, x from
// the middle of the wall.
double flat_wall(double x, double sigma) {
    const double h = kWall / 2, s = sigma * std::sqrt(2.0);
    return 0.5 * (std::erf((x + h) / s) - std::erf((x - h) / s));
}

// The blur (sd, voxels) whose flat wall falls to half its crest `outer` voxels past it.
double blur_of(double outer) {
    auto half_width = [](double sigma) {
        const double half = 0.5 * flat_wall(0, sigma);
        double lo = 0, hi = 60;
        for (int it = 0; it < 40; it++) {
            const double mid = 0.5 * (lo + hi);
            (flat_wall(mid, sigma) > half ? lo : hi) = mid;
        }
        return lo;
    };
    double lo = 0.5, hi = 15;
    for (int it = 0; it < 30; it++) {
        const double mid = 0.5 * (lo + hi);
        (half_width(mid) < outer ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

// The blur draws the crest of a curved wall towards its centre of curvature by about
// sigma^2 times the mean curvature; each point is moved back out along the normal.
void undo_blur_shift(const Ellipsoid& e, double sigma) {
    const double a = e.p[3], b = e.p[4], c = e.p[5];
    for (int n = 0; n < npts; n++) {
        Point& q = pts[n];
        const double ui = (q.i - e.p[0]) / a, uj = (q.j - e.p[1]) / b, uk = (q.k - e.p[2]) / c;
        const double rho = std::sqrt(ui * ui + uj * uj + uk * uk);
        if (rho < 1e-6) continue;
        const double x = a * ui / rho, y = b * uj / rho, z = c * uk / rho;  // on the surface
        const double g = x * x / (a * a * a * a) + y * y / (b * b * b * b) + z * z / (c * c * c * c);
        const double H = std::fabs(x * x + y * y + z * z - a * a - b * b - c * c) /
                         (2 * a * a * b * b * c * c * g * std::sqrt(g));
        double ni = x / (a * a), nj = y / (b * b), nk = z / (c * c);
        const double nl = std::sqrt(ni * ni + nj * nj + nk * nk);
        const double d = std::min(sigma * sigma * H, 12.0);
        q.i += d * ni / nl;
        q.j += d * nj / nl;
        q.k += d * nk / nl;
    }
}

// The model's move out across the axis for the crests' noise (voxels), from their scatter.
double widen_of(double scatter) { return std::clamp(kCrestBias + kCrestNoise * scatter, 0.0, 1.5); }

struct Fit {
    Ellipsoid e;
    double base;
    int kept;
    double wall, cavity;
    double sigma;  // the blur found (sd, voxels)
    double apex_gap = 0;  // outer apex held by the cap's edge minus the crests' own
    double apex_held = 0; // outer apex held by the edge minus the one the last fit settled on
    double edge = -1;     // the cap's outer edge past the tip (-1: none read)
    double scatter = 0;   // rms distance of the counted crests from the fitted surface
    double lit_scatter = 0;  // the same, of the crests of bright wall
};

// Collects the mid-wall points at or past level `from`.
void collect_points(const Candidate& c, double axis_j, double axis_k, double from, double apex_from, double reach) {
    npts = 0;
    nwidths = 0;
    axis_edge = -1;
    apex_dim = 0;
    const int len = static_cast<int>(reach);
    for (double i = from; i <= c.i_top + 4 && npts + kAngles < kMaxPoints - 200; i += 2) {
        for (int a = 0; a < kAngles; a++) {
            const double th = a * 2 * kPi / kAngles;
            float peak;
            double outer;
            const double d = crest(i, axis_j, axis_k, 0, std::cos(th), std::sin(th), len, peak, outer);
            if (d < 0) continue;
            if (outer > 0 && nwidths < kMaxPoints) widths[nwidths++] = outer;
            pts[npts] = {i, axis_j + d * std::cos(th), axis_k + d * std::sin(th), 1.0};
            angle_of[npts] = a;
            peaks[npts++] = peak;
        }
    }
    // Towards the apex from inside the cavity, up to 75 degrees off the axis.
    for (int t = 0; t <= 5; t++) {
        const double al = t * 15 * kPi / 180;
        const int around = t == 0 ? 1 : 16;
        for (int a = 0; a < around; a++) {
            const double th = a * 2 * kPi / around;
            float peak;
            double outer;
            const double di = std::cos(al), dj = std::sin(al) * std::cos(th), dk = std::sin(al) * std::sin(th);
            const double d = crest(apex_from, axis_j, axis_k, di, dj, dk, len + 20, peak, outer);
            if (d < 0) continue;
            if (t == 0) {
                axis_edge = outer > 0 ? apex_from + d + outer : -1;
                apex_dim = peak;
                axis_floor = crest_floor;
            }
            pts[npts] = {apex_from + d * di, axis_j + d * dj, axis_k + d * dk, 4.0};
            angle_of[npts] = -1;
            peaks[npts++] = peak;
        }
    }
    // A dim stretch of wall (a defect) beside bright wall has its crest drawn towards the
    // bright part by the blur: such points count less, in proportion to their counts squared.
    double sorted[kMaxPoints];
    std::copy(peaks, peaks + npts, sorted);
    std::sort(sorted, sorted + npts);
    const double bright = npts ? sorted[npts * 3 / 4] : 0;
    apex_dim = bright > 0 ? apex_dim / bright : 0;
    if (bright > 0)
        for (int n = 0; n < npts; n++) {
            const double f = std::min(1.0, peaks[n] / bright);
            pts[n].w *= f < 0.72 ? kDimWeight : f * f;
        }
    // Where the wall counts around the axis: an angle is lit when most of its crests count.
    int lit[kAngles] = {}, seen[kAngles] = {}, sa = 0, sa_lit = 0;
    for (int n = 0; n < npts; n++) {
        if (angle_of[n] < 0) continue;
        seen[angle_of[n]]++;
        sa++;
        if (pts[n].w > 0) lit[angle_of[n]]++, sa_lit++;
    }
    lit_share = sa ? static_cast<double>(sa_lit) / sa : 0;
    dark_gap = 0;
    for (int a = 0, run = 0; a < 2 * kAngles; a++) {
        const int b = a % kAngles;
        run = 2 * lit[b] > seen[b] ? 0 : run + 1;
        dark_gap = std::max(dark_gap, std::min(run, kAngles));
    }
}

// Drops the points on the basal side of the plane (they see the blurred edge).
void keep_past(double level) {
    int m = 0;
    for (int n = 0; n < npts; n++)
        if (pts[n].i >= level) pts[m++] = pts[n];
    npts = m;
}

// rms distance of the short-axis crests the fit counted from its surface (voxels); with
// `lit_only`, of the crests of bright wall alone (not those of a defect).
double scatter_of(const Ellipsoid& e, bool lit_only = false) {
    double ss = 0, sw = 0;
    const double least = lit_only ? 0.5 : 0;
    for (int n = 0; n < npts; n++) {
        const double r = residual(e.p, pts[n]);
        if (pts[n].w > least && pts[n].w < 2 && std::fabs(r) < 4) ss += r * r, sw += 1;
    }
    return sw > 0 ? std::sqrt(ss / sw) : 0;
}

// The outer edge past the tip of the mid-wall ellipsoid e (see kCapRadius), the blur found
// sigma: the level along the tip's normal, or -1 when the profiles show none.
double cap_edge(const Ellipsoid& e, double sigma) {
    const double a = e.p[3], b = e.p[4], c = e.p[5];
    constexpr int kFrom = -24, kSteps = 97;  // half-voxel steps from 12 voxels in to 36 out
    double prof[kSteps] = {};
    int lines = 0;
    for (double rho = 0; rho <= kCapRadius + 1e-9; rho += 1.5) {
        const int around = rho == 0 ? 1 : std::max(6, static_cast<int>(std::lround(2 * kPi * rho / 1.5)));
        for (int q = 0; q < around; q++) {
            const double ph = q * 2 * kPi / around;
            const double xj = rho * std::cos(ph), xk = rho * std::sin(ph);
            const double u = 1 - (xj / b) * (xj / b) - (xk / c) * (xk / c);
            if (u <= 0.05) continue;
            const double xi = a * std::sqrt(u);
            double ni = xi / (a * a), nj = xj / (b * b), nk = xk / (c * c);
            const double nn = std::sqrt(ni * ni + nj * nj + nk * nk);
            ni /= nn, nj /= nn, nk /= nn;
            for (int t = 0; t < kSteps; t++) {
                const double d = (kFrom + t) * 0.5;
                prof[t] += sample(e.p[0] + xi + d * ni, e.p[1] + xj + d * nj, e.p[2] + xk + d * nk);
            }
            lines++;
        }
    }
    if (lines == 0) return -1;
    // The crest from 8 voxels inside the tip to 16 past it; from there over kCapReach voxels,
    // a step blurred by sigma (floor + height x Phi((edge - x) / sigma)) fitted by least
    // squares, its edge every half voxel, then refined between. Every sample past the crest
    // holds it: a level read half-way between the crest and the floor rested on the crest
    // alone, whose noise (at 100 counts and 18 mm, under a dim apex) left the apex 3 to 4
    // voxels short.
    int best = 8;
    for (int t = 8; t <= 56; t++)
        if (prof[t] > prof[best]) best = t;
    const int last = std::min(kSteps - 1, best + static_cast<int>(2 * kCapReach)), span = last - best;
    // The step's value a given number of half voxels past its edge, the same for every edge tried.
    double step[2 * kSteps];
    for (int d = -span; d <= span; d++) step[d + span] = 0.5 * std::erfc(d * 0.5 / (sigma * std::numbers::sqrt2));
    double res[kSteps];
    int nres = 0, at = -1;
    for (int m = best; m <= last; m++) {
        double n = 0, sf = 0, sy = 0, sff = 0, sfy = 0, syy = 0;
        for (int t = best; t <= last; t++) {
            const double f = step[t - m + span];
            const double y = prof[t];
            n += 1, sf += f, sy += y, sff += f * f, sfy += f * y, syy += y * y;
        }
        const double det = n * sff - sf * sf;
        double r = 1e300;
        if (det > 1e-12) {
            const double h = (n * sfy - sf * sy) / det, floor = (sy - h * sf) / n;
            if (h > 0) r = syy - floor * sy - h * sfy;
        }
        res[nres++] = r;
        if (r < 1e299 && (at < 0 || r < res[at])) at = nres - 1;
    }
    if (at < 0) return -1;
    double x = best + at;
    if (at > 0 && at + 1 < nres && res[at - 1] < 1e299 && res[at + 1] < 1e299) {
        const double den = res[at - 1] - 2 * res[at] + res[at + 1];
        if (den > 0) x += std::clamp(0.5 * (res[at - 1] - res[at + 1]) / den, -0.5, 0.5);
    }
    return e.p[0] + a + (kFrom + x) * 0.5;
}

bool fit_model(const Candidate& c, Fit& out) {
    out.apex_gap = out.apex_held = 0;  // none when the axis shows no edge past the apex
    out.edge = -1;
    const double reach = std::min(2.0 * c.r + 12, 100.0);
    // First base guess: where the ring slices begin.
    double base = c.i_lo - 2;
    double axis_j = c.cj, axis_k = c.ck;
    Ellipsoid e{};
    e.p[0] = base;
    e.p[1] = axis_j;
    e.p[2] = axis_k;
    e.p[3] = std::max(c.i_top - base, 12.0);
    e.p[4] = e.p[5] = std::max(c.r, 5.0);
    int kept = 0;
    double sigma = 5.3;  // 15 mm
    for (int pass = 0; pass < 3; pass++) {
        // Rays towards the apex start inside the cavity, a third of the way from the tip back.
        const double tip = e.p[0] + e.p[3];
        const double apex_from = std::max(base + 4, tip - std::max(0.45 * (tip - base), 10.0));
        collect_points(c, axis_j, axis_k, base + 3, apex_from, reach);
        keep_past(base + 3);
        if (pass > 0) undo_blur_shift(e, sigma);
        kept = fit_ellipsoid(e, pass == 0 ? 12 : 6);
        if (pass == 0 && nwidths > 20) sigma = blur_of(median(widths, nwidths));
        if (kept < 40) return false;
        base = find_base(e, base);
        axis_j = e.p[1];
        axis_k = e.p[2];
    }
    // The apex from the outer edge past the tip: unlike the crest, it stays in place when the
    // apex is dim beside a bright apical wall (a LAD defect). The edge's offset depends on
    // the tip's shape, which the refit held by it changes a little: read twice.
    // Only where the axis itself shows an edge past the apex (not past the field of view).
    const double edge = out.edge = axis_edge > 0 ? cap_edge(e, sigma) : -1;
    if (edge > 0 && npts < kMaxPoints) {
        const double noise = scatter_of(e) * (kCapNoise - kCapNoiseLit * std::min(apex_dim, 1.2));
        auto outer_apex = [&] { return edge - (kCapOffset + kCapCurvature * e.p[3] / (e.p[4] * e.p[5]) - noise); };
        out.apex_gap = outer_apex() - (e.p[0] + e.p[3] + kWall / 2);
        double total = 0;
        for (int n = 0; n < npts; n++) total += pts[n].w;
        const Ellipsoid crests = e;
        pts[npts++] = {outer_apex() - kWall / 2, e.p[1], e.p[2], 0.5 * total};
        for (int pass = 0; pass < 2; pass++) {
            pts[npts - 1].i = outer_apex() - kWall / 2;
            e = crests;
            kept = fit_ellipsoid(e, 10);
        }
        out.apex_held = outer_apex() - (e.p[0] + e.p[3] + kWall / 2);
    }
    // Counts on the mid-wall and along the cavity's axis, for the final check.
    double wall = 0, cavity = 0;
    int nw = 0, nc = 0;
    for (int n = 0; n < npts; n++) {
        if (std::fabs(residual(e.p, pts[n])) < 2) {
            wall += sample(pts[n].i, pts[n].j, pts[n].k);
            nw++;
        }
    }
    const double tip_in = e.p[0] + e.p[3] - kWall;
    for (double i = base + 4; i <= tip_in - 4; i += 2) {
        cavity += sample(i, e.p[1], e.p[2]);
        nc++;
    }
    out.e = e;
    out.base = base;
    out.kept = kept;
    out.sigma = sigma;
    out.scatter = scatter_of(e);
    out.lit_scatter = scatter_of(e, true);
    out.wall = nw ? wall / nw : 0;
    out.cavity = nc ? cavity / nc : 0;
    return true;
}

// How the model's wall stands out: rays across it in the short-axis planes from a sixth to
// two thirds of the way from the base to the tip, 32 around. A ray agrees when the wall
// (the best counts within 2 voxels of the mid-wall) is brighter than the cavity's axis and
// than the counts 12 voxels past the mid-wall (past the outer surface). A true ventricle
// agrees all round but where a defect dims the wall or the liver touches it; a model
// spread over a ventricle and a liver-like blob disagrees on a wide share of its rays.
struct Agreement {
    double closure;  // share of the rays that agree
    double outside;  // median of past-the-wall counts over the wall's
};

Agreement agreement_of(const Fit& f) {
    const Ellipsoid& e = f.e;
    const double tip = e.p[0] + e.p[3];
    int agree = 0, rays = 0;
    double ratio[6 * kAngles];
    for (int l = 0; l < 6; l++) {
        const double i = f.base + (tip - f.base) * (1.0 / 6 + l * 0.1);
        const float axis = sample(i, e.p[1], e.p[2]);
        for (int a = 0; a < kAngles; a++) {
            const double th = a * 2 * kPi / kAngles, cs = std::cos(th), sn = std::sin(th);
            const double R = section_radius(e, i, th);
            if (R <= 0) continue;
            float wall = 0;
            for (int d = -2; d <= 2; d++) wall = std::max(wall, sample(i, e.p[1] + (R + d) * cs, e.p[2] + (R + d) * sn));
            const float out = sample(i, e.p[1] + (R + 12) * cs, e.p[2] + (R + 12) * sn);
            ratio[rays++] = wall > 0 ? out / wall : 1;
            agree += wall > 1.15f * axis && wall > 1.25f * out;
        }
    }
    return {rays ? static_cast<double>(agree) / rays : 0, median(ratio, rays)};
}

// The cavity of the fitted model (voxels): its inner ellipsoid on the apex side of the base
// plane, before the move along the axis.
double cavity_of(const Fit& f) {
    const double* p = f.e.p;
    const double h = kWall / 2, w = widen_of(f.lit_scatter);
    const double a = std::max(p[3] - h, 1.0), b = std::max(p[4] + w - h, 0.0), c = std::max(p[5] + w - h, 0.0);
    const double d0 = std::clamp(f.base + kBaseBias - p[0], -a, a);
    return kPi * b * c * ((a - d0) - (a * a * a - d0 * d0 * d0) / (3 * a * a));
}

// The confidence: the lowest of the margins below, each 1 at its threshold; the model is
// placed at 1 or more.
//  - The wall stands out from what lies past it (median ratio at most 0.5): a model spread
//    over the ventricle and a liver-like blob has bright counts past half of its wall.
//  - The wall stands out all round on 45 % of the rays; on a small ventricle (mid-wall
//    semi-axes across the axis of 18 voxels or less, whose cavity the blur fills) on 70 %.
//  - On a small ventricle, the apex on the axis is at least 0.7 of the bright wall: a dim
//    apex there leaves no edge to hold the apex by (it came out 3 to 9 voxels short).
//  - The apex held by the cap's edge lies within 7 voxels of the one the crests
//    alone give: farther apart, a dim apex (a LAD defect) left neither to trust.
//  - Past the apex on the axis the counts fall to 0.45 of its crest or lower: else the edge
//    lies within the wall's noise (a deep LAD defect beside a hot liver).
//  - The short-axis section is round within 10 %: a section longer one way ran past the
//    dim side of the ring when two territories are dim (the caller then fits a round
//    section; `with_round` false leaves this margin out).
//  - The cavity is at least kMinCavity voxels.
//  - The crests scatter about the fitted surface by 2 voxels rms at most: past that the
//    counts are too few for the blur (100 per voxel at 18 mm) and the fit misses the apex
//    and the base by 3 voxels and more. Under a dim apex (below 0.55 of the bright wall, a
//    deep LAD defect) the apex rests on the crests alone, and 1.7 voxels is the most:
//    noisier, an 87 mL ventricle came out 5.6 voxels short at the apex.
// The thresholds were set on validate-auto's phantoms 0 to 159 and, for the round section,
// the apexes and the cavity, on phantoms 0 to 319 and 1000 to 1319, the scatter's on those
// and 2000 to 2319 (the docs report others).
// The margin the confidence is the lowest of: its name, and what it means in the physician's
// words (the refusal box's reason).
struct Weakest {
    const char* name = "";
    const char* why = nullptr;
};

double confidence_of(const Fit& f, const Agreement& ag, bool with_round = true, Weakest* weakest = nullptr) {
    const bool small = std::min(f.e.p[4], f.e.p[5]) <= 18;
    double c = 10;
    Weakest low;
    auto margin = [&](double m, const char* name, const char* why) {
        if (m < c) c = m, low = {name, why};
    };
    const char* apex_unsure = "l'apex, peu fixant, n'est pas situ\xE9 avec assez de s\xFBret\xE9.";
    if (ag.outside > 0) margin(0.5 / ag.outside, "outside", "la paroi trouv\xE9" "e se d\xE9tache trop peu de ce qui l'entoure.");
    margin(ag.closure / (small ? 0.7 : 0.45), "closure", "la paroi trouv\xE9" "e n'entoure pas la cavit\xE9 sur assez de rayons.");
    if (small) margin(apex_dim / 0.7, "dim apex", "l'apex de ce petit ventricule fixe trop peu pour \xEAtre situ\xE9.");
    if (std::fabs(f.apex_gap) > 1e-9) margin(kMaxApexGap / std::fabs(f.apex_gap), "apex gap", apex_unsure);
    if (std::fabs(f.apex_gap) > 1e-9 && axis_floor > 0) margin(kMaxAxisFloor / axis_floor, "axis floor", apex_unsure);
    const double round = std::max(f.e.p[4], f.e.p[5]) / std::min(f.e.p[4], f.e.p[5]);
    if (with_round) margin(kMaxOutOfRound / round, "round", "la coupe petit axe trouv\xE9" "e n'est pas ronde.");
    margin(cavity_of(f) / kMinCavity, "cavity",
           "la cavit\xE9 trouv\xE9" "e, que le flou comble presque, est trop petite pour y placer le mod\xE8le s\xFBrement.");
    if (f.scatter > 0)
        margin((apex_dim < kDimApex ? kMaxScatterDimApex : kMaxScatter) / f.scatter, "scatter",
               "l'\xE9tude est trop bruit\xE9" "e pour sa r\xE9solution.");
    if (weakest) *weakest = low;
    return c;
}

// The box: no ventricle at all, or one not sure enough, with the reason.
int refuse(const char* reason = nullptr) {
    std::string text = reason ? "Aucun ventricule gauche n'a \xE9t\xE9 trouv\xE9 avec assez de s\xFBret\xE9 dans ce volume : "
                                "le mod\xE8le n'est pas plac\xE9.\nRaison : " + std::string(reason) + "\n"
                              : "Aucun ventricule gauche n'a \xE9t\xE9 trouv\xE9 dans ce volume : le mod\xE8le n'est pas plac\xE9.\n";
    MEMS((text + "Placez-le \xE0 la main avec \"Centrer volume\".").c_str());
    return 0;
}

inline int nearest(double v) { return static_cast<int>(std::floor(v + 0.5)); }

}  // namespace

int AUTO_PLACE_AVAILABLE() { return load_ok == 1 ? 1 : 0; }

int AUTO_PLACE() {
    auto_place_report = AutoPlaceReport{};
    if (load_ok != 1) return 0;
    shrink();
    float top = 0;
    for (float v : g4) top = std::max(top, v);
    if (!(top > 0.5f)) return refuse();  // an empty study
    auto& rep = auto_place_report;
    // The candidates in turn, until one fits as a ventricle does: a cavity darker than its
    // wall, the sizes of a heart, a base plane between the centre's neighbourhood and the
    // apex, and a wall that stands out (the confidence).
    Fit f;
    bool found = false;
    // The report tells of the candidate placed or, when none is, of the one that came nearest
    // (of the heart's shape, then the highest confidence): the last one tried is often a
    // liver-like blob far from the ventricle.
    bool reported = false;
    double reported_rank = 0;
    const char* reason = nullptr;  // the refusal's, in the box
    auto try_list = [&](const Shortlist& list) {
        for (int m = 0; m < list.n && !found; m++) {
            const Candidate& c = list.c[m];
            if (c.rings * c.step < 8) break;
            if (!fit_model(c, f)) continue;
            const double* p = f.e.p;
            bool fits = false;
            Agreement ag{};
            double conf = 0, cavity = 0;
            Weakest weakest;
            auto judge = [&] {
                const bool sized = p[3] >= 15 && p[3] <= 125 && p[4] >= 6 && p[4] <= 70 && p[5] >= 6 &&
                                   p[5] <= 70 && p[3] >= 0.8 * std::max(p[4], p[5]);
                const bool based = f.base > p[0] - 0.8 * p[3] && f.base < p[0] + p[3] - 15;
                ag = agreement_of(f);
                conf = confidence_of(f, ag, true, &weakest);
                cavity = cavity_of(f);
                fits = sized && based && f.wall > 1.1 * f.cavity && f.kept >= 60;
            };
            judge();
            // A section out of round, all else sound: two dim territories let the fit run past
            // the dim side of the ring. The fit is done again with a round section (the bright
            // arc then holds the centre) and judged as any other.
            if (fits && conf < 1 && confidence_of(f, ag, false) >= 1) {
                round_section = true;
                const bool refit = fit_model(c, f);
                round_section = false;
                if (!refit) continue;
                judge();
            }
            found = fits && conf >= 1;
            const double rank = fits ? conf : conf - 100;
            if (!found && reported && rank <= reported_rank) continue;
            reported = true;
            reported_rank = rank;
            reason = fits ? weakest.why : "la forme trouv\xE9" "e n'a pas les tailles ni la cavit\xE9 sombre d'un ventricule.";
            rep.weakest = weakest.name;
            rep.cavity = cavity;
            rep.ring_slices = c.rings;
            rep.ci = p[0];
            rep.cj = p[1];
            rep.ck = p[2];
            rep.ri = p[3];
            rep.rj = p[4];
            rep.rk = p[5];
            rep.base_i = f.base;
            rep.wall_mean = f.wall;
            rep.cavity_mean = f.cavity;
            rep.points = f.kept;
            rep.sigma = f.sigma;
            rep.apex_edge = f.edge;
            rep.closure = ag.closure;
            rep.outside_ratio = ag.outside;
            rep.confidence = conf;
            rep.apex_dim = apex_dim;
            rep.dark_gap = dark_gap;
            rep.lit_share = lit_share;
            rep.apex_gap = f.apex_gap;
            rep.apex_held = f.apex_held;
            rep.axis_floor = axis_floor;
            rep.scatter = f.scatter;
        }
    };
    // First the regions apart from solid blobs (a liver touching the ventricle would
    // otherwise join its ring); then the regions as they are.
    static Shortlist list;
    list = Shortlist{};
    search(Grid{g4, G4, 4, 1.5}, top, 1, list, true);
    rep.ring_slices = list.n ? list.c[0].rings : 0;
    try_list(list);
    if (!found) {
        list = Shortlist{};
        find_ventricle(top, list);
        try_list(list);
    }
    if (!found) return refuse(reason);
    const double* p = f.e.p;
    const double h = kWall / 2;
    const double eq = kEquatorShift;
    // The apexes are rounded as a whole, not their centre and semi-axis each (which left an
    // apex up to a voxel farther off than the fit put it).
    ell_ci = ill_ci = nearest(p[0] - eq);
    ell_cj = ill_cj = nearest(p[1]);
    ell_ck = ill_ck = nearest(p[2]);
    ell_ri = nearest(p[0] + p[3] + h) - ell_ci;
    const double out = widen_of(f.lit_scatter);
    rep.widen = out;
    ell_rj = nearest(p[4] + out + h);
    ell_rk = nearest(p[5] + out + h);
    ill_ri = nearest(p[0] + p[3] - h) - ill_ci;
    ill_rj = nearest(p[4] + out - h);
    ill_rk = nearest(p[5] + out - h);
    plan_i = nearest(f.base + kBaseBias);
    // The views through the middle of the ventricle.
    Nsa = nearest(0.5 * (f.base + p[0] + p[3]));
    Nvla = ell_cj;
    Nhla = ell_ck;
    rep.found = 1;
    PLACE_MODEL();
    return 1;
}

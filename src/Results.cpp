// Sector evaluation: from the placed model to the ray table, the 17 sector
// percentages and scores and the bull's-eye values.
//
// Every value here must come out bit for bit as the plain step-by-step
// evaluation gives it (the tests hold the two side by side), so the speed comes
// only from work that cannot change a result:
//  - a voxel whose own term of the outer measure is above 1 can never be a wall
//    voxel (the other two terms are not negative and a float sum never falls
//    below one of its non-negative parts), so only the box of the outer
//    ellipsoid is visited; along k each measure only grows away from its
//    centre, so each row of the box holds at most two runs of wall voxels;
//  - the per-axis terms of both measures, the cosines and sines of the ray
//    angles, the sectors chosen by the angle of each (j, k) column and the
//    bull's-eye lookups are tabulated once per evaluation, each computed by the
//    very same single or double precision operation as in place;
//  - the voxel of each ray point is an exact integer function of the ray's ends
//    (see prepare_rays), and two rays with the same ends give the same value;
//  - rays are independent and each sector sum is its own chain of additions:
//    two threads share the rays and the sectors (mid and basal rings on one
//    side, apical ring and apex on the other), and every chain keeps its order.
#include "Results.h"
#include "commands.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Display.h"
#include "main.h"
#include "sectors.h"
#include "tasks.h"

namespace {

constexpr int ROWS_PER_TASK = 8;
constexpr int BULL_TASKS = 4;
// Largest difference between the two ends of a ray inside the volume.
constexpr int DMAX_TABLE = 255;

// The two groups of sectors the two threads share (masks of sectors.h).
constexpr unsigned GROUP_BITS[2] = {BASAL_BITS | MID_BITS, APICAL_BITS | APEX_BIT};

// File-level state, not program-wide: scratch of one evaluation (sized for the
// fixed tables of the program), filled afresh by every EVAL_RES before use and
// never read outside it, so it has no start value and no place in main.h.
int g_step_j[(2 * DMAX_TABLE + 1) * 101];  // offsets of the ray points for an end difference
int g_step_k[(2 * DMAX_TABLE + 1) * 101];  // d in -dmax..dmax on axes j (x 256) and k, q in 0..100
unsigned g_angle_bits[256 * 256];          // sectors chosen by the angle of column (j, k)
int g_bull_index[400 * 400];               // SAMPLE entry shown by each bull's-eye pixel, or -1
int g_bull_ax = -1, g_bull_ang = -1;       // the ray table's size g_bull_index was made for (-1: none yet)

struct Work {
    // model and table sizes, read once
    int sam_ax, sam_ang, K, L;
    float P[480];
    double cos_phi[480], sin_phi[480];
    int dmax;  // the step tables hold the end differences -dmax..dmax
    // sector sums
    float to_i[256], to_j[256], to_k[256];  // outer measure terms per axis
    float ti_i[256], ti_j[256], ti_k[256];  // inner measure terms per axis
    unsigned ring_bits[256];                // sectors whose level test holds at i
    int i0, i1, j0, j1, k0, k1;             // box of the outer ellipsoid (empty: i0 > i1)
    float sums[2][18];
    int counts[2][18];
};
Work g_work;  // file-level scratch as above

// A ray that lies wholly inside the volume, in the plane `plane` from its
// start voxel on: the point offsets of its two axes come from the step tables.
struct InRay {
    const float* start;
    const int* step_j;
    const int* step_k;
};

// Any ray, point by point as the steps say: the ends may lie outside the volume.
float ray_value(const float* plane, int a0, int b0, int a1, int b1) {
    float e = 0;
    int count = 0;
    for (int q = 0; q <= 100; q++) {
        const float a = a0 + (a1 - a0) * q / 100.0f;
        const float b = b0 + (b1 - b0) * q / 100.0f;
        const int ja = static_cast<int>(a + 0.5);
        const int kb = static_cast<int>(b + 0.5);
        if (ja >= 0 && ja <= 255 && kb >= 0 && kb <= 255) {
            e += plane[ja * 256 + kb];
            count++;
        }
    }
    if (count > 0) e /= count;
    return e;
}

// Four rays inside the volume side by side: four chains of additions, each in
// the order of its points.
void four_rays(const InRay* ray, float* out) {
    float e0 = 0, e1 = 0, e2 = 0, e3 = 0;
    for (int q = 0; q <= 100; q++) {
        e0 += ray[0].start[ray[0].step_j[q] + ray[0].step_k[q]];
        e1 += ray[1].start[ray[1].step_j[q] + ray[1].step_k[q]];
        e2 += ray[2].start[ray[2].step_j[q] + ray[2].step_k[q]];
        e3 += ray[3].start[ray[3].step_j[q] + ray[3].step_k[q]];
    }
    out[0] = e0 / 101;
    out[1] = e1 / 101;
    out[2] = e2 / 101;
    out[3] = e3 / 101;
}

float one_ray(const InRay& ray) {
    float e = 0;
    for (int q = 0; q <= 100; q++) e += ray.start[ray.step_j[q] + ray.step_k[q]];
    return e / 101;
}

// Rows r0 .. r1 - 1 of the ray table.
void eval_rays(const Work& w, int r0, int r1) {
    InRay pending[4];
    int pending_col[4];
    int same_as[480];  // column whose ray has the very same ends (same points, same sum), or -1
    for (int r = r0; r < r1; r++) {
        float* row = &SAMPLE[r * 480];
        const float z = w.P[r];
        const int p = static_cast<int>(z + 0.5);
        const float hz = z - static_cast<float>(ill_ci);
        const float h = 1.0f - hz * hz / static_cast<float>(ill_ri * ill_ri);
        const float tz = z - static_cast<float>(ell_ci);
        const float t = 1.0f - tz * tz / static_cast<float>(ell_ri * ell_ri);
        if (!(t >= 0) || p < 0 || p > 255) {
            // the plane misses the outer ellipsoid or lies outside the volume
            for (int s = 0; s < w.sam_ang; s++) row[s] = 0;
            continue;
        }
        const float* plane = &data[p * 65536];
        const double sh = std::sqrt(static_cast<double>(h));
        const double st = std::sqrt(static_cast<double>(t));
        int npending = 0;
        int last[4] = {0, 0, 0, 0}, last_col = -1;
        for (int s = 0; s < w.sam_ang; s++) {
            int a0 = ell_cj;
            int b0 = ell_ck;
            if (h >= 0) {
                a0 = ill_cj + static_cast<int>(w.cos_phi[s] * ill_rj * sh + 0.5);
                b0 = ill_ck + static_cast<int>(w.sin_phi[s] * ill_rk * sh + 0.5);
            }
            const int a1 = ell_cj + static_cast<int>(w.cos_phi[s] * ell_rj * st + 0.5);
            const int b1 = ell_ck + static_cast<int>(w.sin_phi[s] * ell_rk * st + 0.5);
            // Neighbouring angles often round to the same ends, above all near the tip.
            if (last_col >= 0 && a0 == last[0] && b0 == last[1] && a1 == last[2] && b1 == last[3]) {
                same_as[s] = last_col;
                continue;
            }
            same_as[s] = -1;
            last[0] = a0, last[1] = b0, last[2] = a1, last[3] = b1, last_col = s;
            // The rounded points run monotonically from one end to the other,
            // so with both ends inside the volume every point is.
            const bool inside = std::min(a0, a1) >= 0 && std::max(a0, a1) <= 255 && std::min(b0, b1) >= 0 &&
                                std::max(b0, b1) <= 255 && std::abs(a1 - a0) <= w.dmax &&
                                std::abs(b1 - b0) <= w.dmax;
            if (!inside) {
                row[s] = ray_value(plane, a0, b0, a1, b1);
                continue;
            }
            pending[npending] = InRay{plane + a0 * 256 + b0, &g_step_j[(a1 - a0 + w.dmax) * 101],
                                      &g_step_k[(b1 - b0 + w.dmax) * 101]};
            pending_col[npending++] = s;
            if (npending == 4) {
                float out[4];
                four_rays(pending, out);
                for (int x = 0; x < 4; x++) row[pending_col[x]] = out[x];
                npending = 0;
            }
        }
        for (int x = 0; x < npending; x++) row[pending_col[x]] = one_ray(pending[x]);
        for (int s = 0; s < w.sam_ang; s++)
            if (same_as[s] >= 0) row[s] = row[same_as[s]];
    }
}

// Running sums of the sectors chosen by one angle and level (at most one per
// ring, so at most two in a group): the sums stay in registers while the
// choice stays the same, and go back to the tables when it changes.
struct SectorRun {
    float* sum;
    int* count;
    unsigned cur = 0;
    int na = -1, nb = -1, run = 0;
    float acc_a = 0, acc_b = 0;

    void flush() {
        if (na >= 0) {
            sum[na] = acc_a;
            count[na] += run;
        }
        if (nb >= 0) {
            sum[nb] = acc_b;
            count[nb] += run;
        }
        na = nb = -1;
        run = 0;
        cur = 0;
    }
    void add(unsigned sel, float v) {
        if (sel != cur) {
            flush();
            const unsigned rest = sel & (sel - 1);
            if ((rest & (rest - 1)) != 0) {
                // more than two sectors at once: added one by one
                for (unsigned b = sel; b != 0; b &= b - 1) {
                    sum[__builtin_ctz(b)] += v;
                    count[__builtin_ctz(b)]++;
                }
                return;
            }
            cur = sel;
            na = sel != 0 ? __builtin_ctz(sel) : -1;
            nb = rest != 0 ? __builtin_ctz(rest) : -1;
            acc_a = na >= 0 ? sum[na] : 0;
            acc_b = nb >= 0 ? sum[nb] : 0;
        }
        acc_a += v;
        acc_b += v;
        run++;
    }
};

// Sector sums of one group (0: basal and mid rings, 1: apical ring and apex),
// over the box of the outer ellipsoid, i outermost and k innermost.
void eval_sectors(Work& w, int group) {
    SectorRun acc{w.sums[group], w.counts[group]};
    for (int n = 0; n < 18; n++) {
        acc.sum[n] = 0;
        acc.count[n] = 0;
    }
    for (int i = w.i0; i <= w.i1; i++) {
        const unsigned ibits = w.ring_bits[i] & GROUP_BITS[group];
        if (ibits == 0) continue;
        for (int j = w.j0; j <= w.j1; j++) {
            const float so = w.to_i[i] + w.to_j[j];
            const float si = w.ti_i[i] + w.ti_j[j];
            if (!(so <= 1.0f)) continue;
            // Along k each measure only grows away from its centre, so the
            // voxels inside the outer ellipsoid are one run, and those inside
            // the inner one a single gap in it.
            int lo = w.k0, hi = w.k1;
            while (lo <= hi && !(so + w.to_k[lo] <= 1.0f)) lo++;
            while (hi >= lo && !(so + w.to_k[hi] <= 1.0f)) hi--;
            int gap = lo;
            while (gap <= hi && si + w.ti_k[gap] >= 1.0f) gap++;
            int after = gap;
            while (after <= hi && !(si + w.ti_k[after] >= 1.0f)) after++;
            const float* vol = &data[i * 65536 + j * 256];
            const unsigned* abits = &g_angle_bits[j * 256];
            for (int k = lo; k < gap; k++) acc.add(abits[k] & ibits, vol[k]);
            for (int k = after; k <= hi; k++) acc.add(abits[k] & ibits, vol[k]);
        }
    }
    acc.flush();
}

// Bull's-eye lookups of rows r0 .. r1 - 1.
void eval_bull_index(const Work& w, int r0, int r1) {
    for (int row = r0; row < r1; row++) {
        for (int col = 0; col < 400; col++) {
            const float rho =
                std::sqrt(static_cast<float>((row - 200) * (row - 200) + (col - 200) * (col - 200))) / 180.0f;
            const int o = static_cast<int>(w.sam_ax * rho + 0.5);
            if (!(0 <= o && o < w.sam_ax)) {
                g_bull_index[row * 400 + col] = -1;  // beyond the base row: the angle is not needed
                continue;
            }
            float th = std::atan2(static_cast<float>(row - 200), static_cast<float>(col - 200));
            while (th < 0) th = th + TWO_PI;
            int h = static_cast<int>(w.sam_ang * th / TWO_PI + 0.5);
            if (h < 0) h = 0;
            if (h >= w.sam_ang) h = w.sam_ang - 1;
            g_bull_index[row * 400 + col] = (w.sam_ax - 1 - o) * 480 + h;
        }
    }
}

// Terms of one axis of an ellipsoid measure, each squared semi-axis formed as an integer.
void axis_terms(float* term, int centre, int semi) {
    const float r2 = static_cast<float>(semi * semi);
    for (int x = 0; x < 256; x++) term[x] = static_cast<float>((x - centre) * (x - centre)) / r2;
}

// First and last index whose term is at most 1 (first > last when none is).
void axis_box(const float* term, int& first, int& last) {
    first = 256;
    last = -1;
    for (int x = 0; x < 256; x++) {
        if (term[x] <= 1.0f) {
            first = std::min(first, x);
            last = x;
        }
    }
}

// Sectors chosen by the angle of one column, with the inclusive bounds of each range.
unsigned angle_bits(float th) {
    unsigned b = APEX_BIT;
    if (PI_4 <= th && th <= PI3_4) b |= 1u << 13;
    if (PI3_4 <= th && th <= PI5_4) b |= 1u << 14;
    if (PI5_4 <= th && th <= PI7_4) b |= 1u << 15;
    if (th <= PI_4 || th >= PI7_4) b |= 1u << 16;
    for (int x = 0; x < 6; x++)  // basal sector, and the mid one six more
        if (SIX_LO[x] <= th && th <= SIX_HI[x]) b |= (1u << SIX_BASAL[x]) | (1u << (SIX_BASAL[x] + 6));
    return b;
}

void prepare_sectors(Work& w) {
    axis_terms(w.to_i, ell_ci, ell_ri);
    axis_terms(w.to_j, ell_cj, ell_rj);
    axis_terms(w.to_k, ell_ck, ell_rk);
    axis_terms(w.ti_i, ill_ci, ill_ri);
    axis_terms(w.ti_j, ill_cj, ill_rj);
    axis_terms(w.ti_k, ill_ck, ill_rk);
    axis_box(w.to_i, w.i0, w.i1);
    axis_box(w.to_j, w.j0, w.j1);
    axis_box(w.to_k, w.k0, w.k1);
    for (int i = 0; i < 256; i++) {
        unsigned b = 0;
        if (sect_i[3] <= i && i <= sect_i[4]) b |= APEX_BIT;
        if (sect_i[2] <= i && i <= sect_i[3]) b |= APICAL_BITS;
        if (sect_i[1] <= i && i <= sect_i[2]) b |= MID_BITS;
        if (sect_i[0] <= i && i <= sect_i[1]) b |= BASAL_BITS;
        w.ring_bits[i] = b;
    }
    for (int j = w.j0; j <= w.j1; j++) {
        for (int k = w.k0; k <= w.k1; k++) {
            float th = std::atan2(static_cast<float>(k - ell_ck), static_cast<float>(j - ell_cj));
            while (th < 0) th = th + TWO_PI;
            g_angle_bits[j * 256 + k] = angle_bits(th);
        }
    }
}

void prepare_rays(Work& w) {
    for (int q = 0; q < w.sam_ax; q++) {
        if (q < w.K)
            w.P[q] = static_cast<float>(plan_i) +
                     static_cast<float>(q * (apex_i - plan_i)) / static_cast<float>(w.K);
        else
            w.P[q] = static_cast<float>(apex_i) +
                     static_cast<float>((q - w.K) * (ell_ri + ell_ci - apex_i)) / static_cast<float>(w.L);
    }
    for (int s = 0; s < w.sam_ang; s++) {
        const double phi = s * PI_SHORT / (w.sam_ang / 2);
        w.cos_phi[s] = std::cos(phi);
        w.sin_phi[s] = std::sin(phi);
    }
    // A ray runs at most this far on either axis (ends rounded to whole voxels).
    const long span = std::max(std::abs(static_cast<long>(ell_cj) - ill_cj) + std::abs(static_cast<long>(ell_rj)) +
                                   std::abs(static_cast<long>(ill_rj)),
                               std::abs(static_cast<long>(ell_ck) - ill_ck) + std::abs(static_cast<long>(ell_rk)) +
                                   std::abs(static_cast<long>(ill_rk))) +
                      2;
    w.dmax = static_cast<int>(std::min<long>(span, DMAX_TABLE));
    // Point q of a ray from a0 to a1 = a0 + d lies at a0 + d q / 100, a float
    // sum rounded by adding 0.5 and truncating. Its exact value is a multiple
    // of 0.01 and no float error here reaches 0.01: between 0 and 255 the
    // voxel is a0 + floor((d q + 50) / 100), taken from this table.
    for (int d = -w.dmax; d <= w.dmax; d++) {
        for (int q = 0; q <= 100; q++) {
            const int num = d * q + 50;
            const int fl = num >= 0 ? num / 100 : -((-num + 99) / 100);
            g_step_j[(d + w.dmax) * 101 + q] = fl * 256;
            g_step_k[(d + w.dmax) * 101 + q] = fl;
        }
    }
}

}  // namespace

int SCORE_CLASS(float v) {
    for (int score = 0; score < 4; score++)
        if (v >= SCORE_LOWER_BOUND[score]) return score;
    return 4;  // below 10, an empty sector included
}

int EVAL_RES() {
    Work& w = g_work;
    w.sam_ax = std::clamp(sam_ax, 0, 480);
    w.sam_ang = std::clamp(sam_ang, 0, 480);
    w.K = (3 * w.sam_ax) / 4;
    w.L = w.sam_ax / 4;

    prepare_rays(w);
    prepare_sectors(w);

    // Rays, sector sums and bull's-eye lookups, shared between the worker threads. The lookups
    // depend on the size of the ray table alone: kept from the last evaluation of that size.
    const int ray_tasks = (w.sam_ax + ROWS_PER_TASK - 1) / ROWS_PER_TASK;
    const int bull_tasks = g_bull_ax == w.sam_ax && g_bull_ang == w.sam_ang ? 0 : BULL_TASKS;
    run_tasks(2 + bull_tasks + ray_tasks, worker_threads(), [&](int t) {
        if (t < 2) {
            eval_sectors(w, t);
        } else if (t < 2 + bull_tasks) {
            const int b = t - 2;
            eval_bull_index(w, b * 400 / BULL_TASKS, (b + 1) * 400 / BULL_TASKS);
        } else {
            const int r0 = (t - 2 - bull_tasks) * ROWS_PER_TASK;
            eval_rays(w, r0, std::min(r0 + ROWS_PER_TASK, w.sam_ax));
        }
    });
    g_bull_ax = w.sam_ax, g_bull_ang = w.sam_ang;

    // Ray normalisation: the best ray at 99.5; when every ray is 0 the table stays 0.
    float M = 0;
    for (int r = 0; r < w.sam_ax; r++)
        for (int s = 0; s < w.sam_ang; s++)
            if (SAMPLE[r * 480 + s] > M) M = SAMPLE[r * 480 + s];
    if (M > 0)
        for (int r = 0; r < w.sam_ax; r++)
            for (int s = 0; s < w.sam_ang; s++) SAMPLE[r * 480 + s] *= 99.5 / M;

    // Sector means, the best sector at 99.999; when all are 0 they stay 0.
    for (int n = 0; n < 18; n++) {
        const int g = (GROUP_BITS[1] >> n) & 1u;
        SECTEUR[n] = w.sums[g][n];
        if (w.counts[g][n] > 0) SECTEUR[n] /= w.counts[g][n];
    }
    M = 0;
    for (int n = 0; n < 18; n++)
        if (SECTEUR[n] > M) M = SECTEUR[n];
    if (M > 0)
        for (int n = 0; n < 18; n++) SECTEUR[n] *= 99.999 / M;

    for (int n = 1; n <= 17; n++) SCORE[n] = SCORE_CLASS(SECTEUR[n]);

    for (int x = 0; x < 400 * 400; x++) BULL[x] = g_bull_index[x] >= 0 ? SAMPLE[g_bull_index[x]] : 0.0f;

    res_ok = 1;
    RESULTS_EVALUATED();  // these results hold for the model as it is now
    DISPLAY_RES();
    return 0;
}

// Function of a gated study.
//
//   1. the gates as the load shows them   GATE_SAMPLE (and the scale it shares with `data`)
//   2. the measure                         MEASURE_FUNCTION
#include "Gated_Function.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "tasks.h"

namespace {

// ---- 1. the gates as the load shows them ---------------------------------------------------
//
// The load makes `data` from the summed gates: value = (sum of stored x slope + intercept)
// resampled, times 100 / its largest element. The import brought the sum back into 16 bits
// by one factor when it overflowed and put the factor into the slope (slope / factor) and the
// intercept once per gate (intercept x gates). A gate, shown as the load shows the sum, is
// then (stored x slope x factor + intercept / gates) resampled, times the same 100 / largest,
// so the gates add up to `data`.

struct GateScale {
    const std::int16_t* voxels = nullptr;  // the GATES this was worked out for
    std::size_t n = 0;
    unsigned long generation = 0;          // and the `data` it matches
    double slope = 1, intercept = 0;       // per gate, as the file gave them
    double to_data = 0;                    // 100 / largest
};

std::mutex scale_lock;
GateScale scale_now;

// The load's resampling positions (rows, columns mirrored, frames centred and mirrored).
struct SourcePos {
    float x, y, z;
};
SourcePos source_of(float i, float j, float k, int e, int ncz) {
    const int rap = VOL_N / e;
    return {i / rap, (e - 1) - (255.0f - j) / rap, (ncz - 1) - (255.0f - k) / rap + static_cast<float>(e - ncz) / 2};
}

// Trilinear mix of gate g at a source position with the rescale given; 0 when a corner lies
// outside the source, as the load leaves such elements.
double mix(const GateFrames& G, int g, SourcePos p, double slope, double intercept) {
    const int e = G.size, ncz = G.slices;
    const int x0 = static_cast<int>(std::floor(p.x)), y0 = static_cast<int>(std::floor(p.y)),
              z0 = static_cast<int>(std::floor(p.z));
    if (x0 < 0 || y0 < 0 || z0 < 0 || x0 + 1 >= e || y0 + 1 >= e || z0 + 1 >= ncz) return 0.0;
    const double fx = p.x - x0, fy = p.y - y0, fz = p.z - z0;
    const std::int16_t* base = G.voxels.data() + (static_cast<std::size_t>(g) * ncz + z0) * e * e;
    auto at = [&](int dz, int dx, int dy) {
        const std::int16_t s = base[(static_cast<std::size_t>(dz) * e + x0 + dx) * e + y0 + dy];
        const double stored = G.is_unsigned ? static_cast<double>(static_cast<std::uint16_t>(s)) : s;
        return stored * slope + intercept;
    };
    const double c0 = (at(0, 0, 0) * (1 - fy) + at(0, 0, 1) * fy) * (1 - fx) + (at(0, 1, 0) * (1 - fy) + at(0, 1, 1) * fy) * fx;
    const double c1 = (at(1, 0, 0) * (1 - fy) + at(1, 0, 1) * fy) * (1 - fx) + (at(1, 1, 0) * (1 - fy) + at(1, 1, 1) * fy) * fx;
    return c0 * (1 - fz) + c1 * fz;
}

// The scale of the gates now loaded, worked out once per load (and again after a mirror,
// which moves `data`'s largest element).
const GateScale& current_scale() {
    std::lock_guard<std::mutex> hold(scale_lock);
    GateScale& s = scale_now;
    if (s.voxels == GATES.voxels.data() && s.n == GATES.voxels.size() && s.generation == data_generation) return s;
    s = GateScale{};
    s.voxels = GATES.voxels.data(), s.n = GATES.voxels.size(), s.generation = data_generation;
    const int e = GATES.size, ncz = GATES.slices, n = GATES.count;
    if (n < 1 || e < 2) return s;
    // The import's factor, found again from the gates as it found it.
    const std::size_t frame = static_cast<std::size_t>(ncz) * e * e;
    std::int64_t largest_sum = 0;
    for (std::size_t v = 0; v < frame; v++) {
        std::int64_t sum = 0;
        for (int g = 0; g < n; g++) {
            const std::int16_t x = GATES.voxels[g * frame + v];
            sum += GATES.is_unsigned ? static_cast<std::uint16_t>(x) : x;
        }
        largest_sum = std::max(largest_sum, sum < 0 ? -sum : sum);
    }
    const double limit = GATES.is_unsigned ? 65535.0 : 32767.0;
    const double factor = static_cast<double>(largest_sum) > limit ? limit / static_cast<double>(largest_sum) : 1.0;
    s.slope = RESCALE_SLOPE * factor;
    s.intercept = RESCALE_INTERCEPT / n;
    // `data` is 100 at its largest element; the sum of the gates there is the load's largest.
    // The user may have mirrored the volume since: of the four mirrors, the right one gives
    // the largest sum (no element of the sum is larger).
    std::size_t top = 0;
    for (std::size_t v = 1; v < static_cast<std::size_t>(VOL_SIZE); v++)
        if (data[v] > data[top]) top = v;
    const int ti = static_cast<int>(top >> 16), tj = static_cast<int>((top >> 8) & 255), tk = static_cast<int>(top & 255);
    double largest = 0;
    for (int m = 0; m < 4; m++) {
        const float j = static_cast<float>(m & 1 ? 255 - tj : tj), k = static_cast<float>(m & 2 ? 255 - tk : tk);
        const SourcePos p = source_of(static_cast<float>(ti), j, k, e, ncz);
        double sum = 0;
        for (int g = 0; g < n; g++) sum += mix(GATES, g, p, s.slope, s.intercept);
        largest = std::max(largest, sum);
    }
    s.to_data = largest > 0 ? 100.0 / largest : 0.0;
    return s;
}

}  // namespace

float GATE_SAMPLE(int gate, float i, float j, float k) {
    if (gate < 0 || gate >= GATES.count) return 0.0f;
    const GateScale& s = current_scale();
    const SourcePos p = source_of(i, j, k, GATES.size, GATES.slices);
    return static_cast<float>(mix(GATES, gate, p, s.slope, s.intercept) * s.to_data);
}

// ---- 2. the measure -----------------------------------------------------------------------
//
// Rays across the wall along the normals of the model's mid-wall ellipsoid (its cap from the
// apex to the equator, then a cylinder past the base plane), 32 around the axis. In each gate:
//  - the base plane is where the wall's counts along the axis fall half-way (an edge blurred by
//    the camera, fitted as such, which also gives the blur: the median over the gates is kept);
//  - the wall's thickness is the one whose blurred slab fits the gate's profiles best, and on
//    each ray the slab's position is fitted with it; the crest of a curved wall is drawn
//    inwards by the blur (sigma^2 times the mean curvature), which is given back.
// Then over the gates: the myocardium keeps its volume through the cycle, so the wall of every
// gate is the one that holds the volume the systolic gates' fits give (a wall thinner than
// the blur, at end diastole, is where a fitted thickness is least sure); the cavity is the
// volume inside the endocardium (the slab's inner face) past the base plane.

namespace {

constexpr int N_AROUND = 32;  // rays around the axis
// The cavity inside the fitted endocardium came out 6.2 % small on the validation's phantoms
// 1000 to 1039 (median of EDV and ESV alike, 8 and 16 gates, 10 to 16 mm): every volume is
// scaled back by that much. The ejection fraction, a ratio, does not change.
constexpr double VOLUME_CALIBRATION = 1.065;
constexpr int N_CAP = 14;     // cap levels from the apex (angle 0) to the equator (90 degrees)
constexpr int REACH = 24;     // profile half-length, voxels of the volume
constexpr int N_S = 2 * REACH + 1;
constexpr double SQRT1_2 = 0.70710678118654752;

double phi(double x) { return 0.5 * std::erfc(-x * SQRT1_2); }

struct Ray {
    double pi, pj, pk;  // point on the model's mid-wall
    double ni, nj, nk;  // unit normal, outwards
    double curvature;   // mean curvature of the model's mid-wall there
    int s_min;          // first sample kept: the axis is not crossed
};

struct Geometry {
    double ci, cj, ck, a, b, c;  // the model's mid-wall ellipsoid
    int levels = 0;              // rays per column: cylinder levels (basal first), then the cap
    std::vector<Ray> rays;       // [level * N_AROUND + around], levels from the base to the apex
};

Geometry rays_of_model() {
    Geometry g;
    g.ci = 0.5 * (ell_ci + ill_ci), g.cj = ell_cj, g.ck = ell_ck;
    g.a = 0.5 * (ell_ri + ill_ri), g.b = 0.5 * (ell_rj + ill_rj), g.c = 0.5 * (ell_rk + ill_rk);
    const double pi2 = 6.283185307179586;
    // Cylinder levels every 2 voxels from well before the base plane up to the equator.
    const double lowest = std::min<double>(plan_i, g.ci) - REACH - 6;
    std::vector<double> cyl;
    for (double i = g.ci - 2; i >= lowest; i -= 2) cyl.push_back(i);
    std::reverse(cyl.begin(), cyl.end());
    g.levels = static_cast<int>(cyl.size()) + N_CAP;
    g.rays.resize(static_cast<std::size_t>(g.levels) * N_AROUND);
    for (int l = 0; l < g.levels; l++)
        for (int t = 0; t < N_AROUND; t++) {
            const double th = pi2 * t / N_AROUND, ct = std::cos(th), st = std::sin(th);
            Ray& r = g.rays[l * N_AROUND + t];
            double x, y, z;  // from the centre
            if (l < static_cast<int>(cyl.size())) {
                x = cyl[l] - g.ci, y = g.b * ct, z = g.c * st;
                r.ni = 0, r.nj = ct / g.b, r.nk = st / g.c;
                r.curvature = 0.5 / std::sqrt(y * y + z * z);
            } else {
                const double ang = 1.5707963267948966 * (g.levels - 1 - l) / (N_CAP - 1);  // 90 degrees down to 0
                x = g.a * std::cos(ang), y = g.b * std::sin(ang) * ct, z = g.c * std::sin(ang) * st;
                r.ni = x / (g.a * g.a), r.nj = y / (g.b * g.b), r.nk = z / (g.c * g.c);
                const double h = std::sqrt(x * x / std::pow(g.a, 4) + y * y / std::pow(g.b, 4) + z * z / std::pow(g.c, 4));
                const double abc = g.a * g.b * g.c;
                r.curvature = std::fabs(x * x + y * y + z * z - g.a * g.a - g.b * g.b - g.c * g.c) / (2 * abc * abc * h * h * h);
            }
            const double n = std::sqrt(r.ni * r.ni + r.nj * r.nj + r.nk * r.nk);
            r.ni /= n, r.nj /= n, r.nk /= n;
            r.pi = g.ci + x, r.pj = g.cj + y, r.pk = g.ck + z;
            // Inwards, the axis (or the equator's plane for the apex) is not passed.
            const double radial = std::sqrt(r.nj * r.nj + r.nk * r.nk), across = std::sqrt(y * y + z * z);
            double stop = REACH;
            if (radial > 1e-6) stop = std::min(stop, 0.9 * across / radial);
            if (r.ni > 1e-6) stop = std::min(stop, 0.9 * x / r.ni);
            r.s_min = std::max(0, REACH - static_cast<int>(std::floor(stop)));
        }
    return g;
}

// One gate's profiles: [ray][sample], sample s at REACH + s voxels along the normal.
void sample_gate(const Geometry& g, const GateScale& sc, int gate, std::vector<float>& prof) {
    prof.assign(g.rays.size() * N_S, 0.0f);
    for (std::size_t n = 0; n < g.rays.size(); n++) {
        const Ray& r = g.rays[n];
        for (int s = r.s_min; s < N_S; s++) {
            const double d = s - REACH;
            const SourcePos p = source_of(static_cast<float>(r.pi + d * r.ni), static_cast<float>(r.pj + d * r.nj),
                                          static_cast<float>(r.pk + d * r.nk), GATES.size, GATES.slices);
            prof[n * N_S + s] = static_cast<float>(mix(GATES, gate, p, sc.slope, sc.intercept));
        }
    }
}

// Each profile with its two neighbours around the axis (weights 1, 2, 1): the noise of one gate's
// share of the counts is halved, the wall, nearly the same on neighbouring rays, kept.
void smooth_around(const Geometry& g, std::vector<float>& prof) {
    std::vector<float> out(prof.size());
    for (int l = 0; l < g.levels; l++)
        for (int t = 0; t < N_AROUND; t++) {
            const float* a = &prof[(l * N_AROUND + (t + N_AROUND - 1) % N_AROUND) * N_S];
            const float* b = &prof[(l * N_AROUND + t) * N_S];
            const float* c = &prof[(l * N_AROUND + (t + 1) % N_AROUND) * N_S];
            float* o = &out[(l * N_AROUND + t) * N_S];
            const int from = g.rays[l * N_AROUND + t].s_min;
            for (int s = 0; s < N_S; s++) o[s] = s < from ? 0.0f : 0.25f * (a[s] + 2 * b[s] + c[s]);
        }
    prof.swap(out);
}

// The wall's counts per level of the axis: the brightest sample across the axis, averaged
// around it, at levels from `first` (one per voxel).
std::vector<double> wall_along_axis(const Geometry& g, const GateScale& sc, int gate, int first, int count) {
    std::vector<double> w(count, 0.0);
    constexpr int AROUND = 16;
    for (int l = 0; l < count; l++) {
        double sum = 0;
        for (int t = 0; t < AROUND; t++) {
            const double th = 6.283185307179586 * t / AROUND;
            double best = 0;
            for (double u = 0.15; u <= 1.7; u += 0.05) {
                const SourcePos p = source_of(static_cast<float>(first + l), static_cast<float>(g.cj + u * g.b * std::cos(th)),
                                              static_cast<float>(g.ck + u * g.c * std::sin(th)), GATES.size, GATES.slices);
                best = std::max(best, mix(GATES, gate, p, sc.slope, sc.intercept));
            }
            sum += best;
        }
        w[l] = sum / AROUND;
    }
    return w;
}

// Least squares of y over (1, x): returns the residual and the two coefficients.
double line_fit(const std::vector<double>& x, const std::vector<double>& y, double& c0, double& c1) {
    const double n = static_cast<double>(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    for (std::size_t m = 0; m < x.size(); m++)
        sx += x[m], sy += y[m], sxx += x[m] * x[m], sxy += x[m] * y[m], syy += y[m] * y[m];
    const double det = n * sxx - sx * sx;
    if (std::fabs(det) < 1e-12) return 1e300;
    c1 = (n * sxy - sx * sy) / det;
    c0 = (sy - c1 * sx) / n;
    return syy - c0 * sy - c1 * sxy;
}

// The base edge: the wall's counts along the axis as background + step x phi((i - base) / sigma).
// sigma < 0: fitted too. Returns false when no edge rises there.
bool fit_base(const std::vector<double>& w, int first, double& base, double& sigma) {
    const bool free_sigma = sigma < 0;
    double best = 1e300;
    std::vector<double> x(w.size());
    for (double sg = free_sigma ? 1.5 : sigma; sg <= (free_sigma ? 10.0 : sigma); sg += 0.25)
        for (double b = first + 2; b <= first + static_cast<double>(w.size()) - 6; b += 0.25) {
            for (std::size_t m = 0; m < w.size(); m++) x[m] = phi((first + static_cast<double>(m) - b) / sg);
            double c0 = 0, c1 = 0;
            const double res = line_fit(x, w, c0, c1);
            if (c1 > 0 && res < best) best = res, base = b, sigma = sg;
        }
    return best < 1e300;
}

// The slab model on one ray for a wall of thickness t blurred by sigma, its crest at `mid`
// (samples): the fitted residual, with cavity, wall and outside levels; 1e300 when the wall
// is not brighter than both sides.
struct SlabTable {
    double t = 0, sigma = 0;
    std::vector<double> wall, out;  // at offsets (s - mid) = k / 2 - 2 N_S
    void make(double t_, double s_) {
        t = t_, sigma = s_;
        wall.resize(8 * N_S + 1), out.resize(8 * N_S + 1);
        for (int k = 0; k <= 8 * N_S; k++) {
            const double d = 0.5 * k - 2 * N_S;
            out[k] = phi((d - t / 2) / sigma);
            wall[k] = phi((d + t / 2) / sigma) - out[k];
        }
    }
};

double slab_fit(const float* p, int s_min, double mid, const SlabTable& tb, double* levels) {
    // Three basis functions: 1, wall, outside (the cavity is 1 - wall - outside).
    double n = 0, sw = 0, so = 0, sww = 0, swo = 0, soo = 0, sy = 0, syw = 0, syo = 0, syy = 0;
    const int base = static_cast<int>(std::lround(2 * (2 * N_S - mid)));  // offset index of sample 0
    for (int s = s_min; s < N_S; s++) {
        const int k = base + 2 * s;
        const double w = tb.wall[k], o = tb.out[k], y = p[s];
        n += 1, sw += w, so += o, sww += w * w, swo += w * o, soo += o * o;
        sy += y, syw += y * w, syo += y * o, syy += y * y;
    }
    // Normal equations of (a, bw, bo): a + bw w + bo o.
    const double m[3][3] = {{n, sw, so}, {sw, sww, swo}, {so, swo, soo}};
    const double v[3] = {sy, syw, syo};
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (std::fabs(det) < 1e-9) return 1e300;
    double x[3];
    for (int c = 0; c < 3; c++) {
        double mc[3][3];
        for (int r = 0; r < 3; r++)
            for (int q = 0; q < 3; q++) mc[r][q] = q == c ? v[r] : m[r][q];
        x[c] = (mc[0][0] * (mc[1][1] * mc[2][2] - mc[1][2] * mc[2][1]) - mc[0][1] * (mc[1][0] * mc[2][2] - mc[1][2] * mc[2][0]) +
                mc[0][2] * (mc[1][0] * mc[2][1] - mc[1][1] * mc[2][0])) /
               det;
    }
    // Levels: cavity a, wall a + bw, outside a + bo; the wall must stand out of both.
    if (levels != nullptr) levels[0] = x[0], levels[1] = x[0] + x[1], levels[2] = x[0] + x[2];
    if (x[1] <= 0 || x[1] <= x[2]) return 1e300;
    return syy - (x[0] * v[0] + x[1] * v[1] + x[2] * v[2]);
}

// The best crest on one ray (samples, refined between the grid steps); residual through `res`.
double best_mid(const float* p, int s_min, const SlabTable& tb, double& res) {
    const int lo = std::max(s_min + 1, static_cast<int>(std::ceil(s_min + tb.t / 2 - 2)));
    res = 1e300;
    double mid = -1;
    std::vector<double> r(N_S, 1e300);
    for (int m = lo; m < N_S - 2; m++) {
        r[m] = slab_fit(p, s_min, m, tb, nullptr);
        if (r[m] < res) res = r[m], mid = m;
    }
    if (mid < 0) return -1;
    const int m = static_cast<int>(mid);
    if (m > lo && m < N_S - 3 && r[m - 1] < 1e299 && r[m + 1] < 1e299) {
        const double den = r[m - 1] - 2 * r[m] + r[m + 1];
        if (den > 0) mid += std::clamp(0.5 * (r[m - 1] - r[m + 1]) / den, -0.5, 0.5);
    }
    return mid;
}

// Pooled residual of a gate's rays (every `step`-th of those `use` keeps) for a wall of thickness t.
double pooled(const std::vector<float>& prof, const Geometry& g, const std::vector<char>& use, double t, double sigma,
              int step) {
    SlabTable tb;
    tb.make(t, sigma);
    double total = 0;
    for (std::size_t n = 0; n < g.rays.size(); n += step) {
        if (!use[n]) continue;
        double res;
        if (best_mid(&prof[n * N_S], g.rays[n].s_min, tb, res) >= 0) total += res;
    }
    return total;
}

struct GateResult {
    double base = 0, sigma = 0;     // base plane (i) and the blur found on its edge
    double thickness = 0;           // fitted on the gate's own profiles
    std::vector<double> crest;      // per ray, samples from the model's mid-wall
    double volume_voxels = 0;
    double lost = 0;                // share of the rays whose wall was not found
    bool ok = false;
};

// The cavity inside the endocardium past the base plane, in voxels of the volume.
double cavity_voxels(const Geometry& g, const std::vector<double>& inner, double base) {
    double total = 0;
    for (int t = 0; t < N_AROUND; t++) {
        // The column's endocardial points (i, r), from the base side to the apex, closed on the axis.
        std::vector<std::pair<double, double>> poly;
        for (int l = 0; l < g.levels; l++) {
            const Ray& r = g.rays[l * N_AROUND + t];
            const double d = inner[l * N_AROUND + t];
            const double i = r.pi + d * r.ni, dj = r.pj + d * r.nj - g.cj, dk = r.pk + d * r.nk - g.ck;
            poly.emplace_back(i, std::sqrt(dj * dj + dk * dk));
        }
        poly.emplace_back(poly.back().first, 0.0);
        poly.emplace_back(poly.front().first, 0.0);
        // Clipped to the apex side of the base plane.
        std::vector<std::pair<double, double>> kept;
        for (std::size_t m = 0; m < poly.size(); m++) {
            const auto& a = poly[m];
            const auto& b = poly[(m + 1) % poly.size()];
            const bool ain = a.first >= base, bin = b.first >= base;
            if (ain) kept.push_back(a);
            if (ain != bin) {
                const double f = (base - a.first) / (b.first - a.first);
                kept.emplace_back(base, a.second + f * (b.second - a.second));
            }
        }
        // The solid of revolution of the wedge: its angle times the integral of r over the section.
        double area_r = 0;
        for (std::size_t m = 0; m < kept.size(); m++) {
            const auto& a = kept[m];
            const auto& b = kept[(m + 1) % kept.size()];
            area_r += (b.first - a.first) * (a.second * a.second + a.second * b.second + b.second * b.second) / 6;
        }
        total += std::fabs(area_r) * 6.283185307179586 / N_AROUND;
    }
    return total;
}

// The surface `d` samples out from the crests (inwards when negative), kept off the axis.
std::vector<double> offset_of(const Geometry& g, const std::vector<double>& crest, double d) {
    std::vector<double> s(crest.size());
    for (std::size_t q = 0; q < crest.size(); q++) s[q] = std::max(crest[q] + d, g.rays[q].s_min - REACH + 0.0);
    return s;
}

// The wall of thickness t about the crests, past the base plane.
double shell_voxels(const Geometry& g, const std::vector<double>& crest, double t, double base) {
    return cavity_voxels(g, offset_of(g, crest, t / 2), base) - cavity_voxels(g, offset_of(g, crest, -t / 2), base);
}

}  // namespace

void SET_FUNCTION_CURVE(GatedFunction& f, std::vector<double> volume_ml) {
    f.volume_ml = std::move(volume_ml);
    const auto ed = std::max_element(f.volume_ml.begin(), f.volume_ml.end());
    const auto es = std::min_element(f.volume_ml.begin(), f.volume_ml.end());
    f.edv_ml = *ed, f.esv_ml = *es;
    f.ed_gate = static_cast<int>(ed - f.volume_ml.begin()) + 1;
    f.es_gate = static_cast<int>(es - f.volume_ml.begin()) + 1;
    f.ef_percent = f.edv_ml > 0 ? 100.0 * (f.edv_ml - f.esv_ml) / f.edv_ml : 0.0;
    f.measured = true;
}

GatedFunction MEASURE_FUNCTION() {
    GatedFunction f;
    if (GATES.count == 0 && GATES.not_kept > 0) {
        f.reason = "L'\xE9tude synchronis\xE9" "e compte " + std::to_string(GATES.not_kept) +
                   " intervalles, trop volumineux pour \xEAtre gard\xE9s en m\xE9moire (plus de 64 Mo) : fonction non mesur\xE9" "e.";
        return f;
    }
    if (GATES.count < 2 || GATES.voxels.empty() || GATES.size < 2 || GATES.slices < 2) {
        f.reason = "L'\xE9tude n'est pas synchronis\xE9" "e : aucun intervalle \xE0 mesurer.";
        return f;
    }
    if (!ell_ok) {
        f.reason = "Aucun mod\xE8le n'est plac\xE9 : placez le ventricule avant de mesurer la fonction.";
        return f;
    }
    if (!(VOXEL_SIZE_XY > 0) || !(VOXEL_SIZE_Z > 0)) {
        f.reason = "La taille des voxels de l'\xE9tude est inconnue : les volumes ne peuvent pas \xEAtre calcul\xE9s.";
        return f;
    }
    const GateScale& sc = current_scale();
    const Geometry g = rays_of_model();
    const int n = GATES.count;
    std::vector<GateResult> out(n);
    std::vector<std::vector<float>> prof(n);

    // The base edge in each gate, with the blur; then the base again with the median blur.
    const int first = std::max(2, std::min<int>(plan_i, static_cast<int>(g.ci)) - REACH);
    const int count = std::min<int>(static_cast<int>(g.ci + 0.45 * g.a), 253) - first;
    std::vector<std::vector<double>> along(n);
    run_tasks(n, worker_threads(), [&](int k) {
        sample_gate(g, sc, k, prof[k]);
        smooth_around(g, prof[k]);
        along[k] = wall_along_axis(g, sc, k, first, std::max(count, 12));
        out[k].sigma = -1;
        out[k].ok = fit_base(along[k], first, out[k].base, out[k].sigma);
    });
    std::vector<double> sigmas;
    for (const GateResult& r : out)
        if (r.ok) sigmas.push_back(r.sigma);
    if (sigmas.size() < static_cast<std::size_t>(n)) {
        f.reason = "La base du ventricule n'a pas \xE9t\xE9 retrouv\xE9" "e dans chaque intervalle : fonction non mesur\xE9" "e.";
        return f;
    }
    std::nth_element(sigmas.begin(), sigmas.begin() + n / 2, sigmas.end());
    const double sigma = sigmas[n / 2];

    run_tasks(n, worker_threads(), [&](int k) {
        GateResult& r = out[k];
        r.sigma = sigma;
        fit_base(along[k], first, r.base, r.sigma);
        // The wall's thickness: the best pooled fit on a quarter of the rays, every 2 voxels, then
        // between the best three.
        // Only where the model's normal crosses the wall squarely: past the base's blur, and
        // away from the apex, where the gate's wall may lie aslant of the model's.
        std::vector<char> use(g.rays.size(), 0);
        for (std::size_t q = 0; q < g.rays.size(); q++) {
            const Ray& ry = g.rays[q];
            use[q] = ry.pi >= r.base + 2 * sigma && ry.pi <= g.ci + 0.8 * g.a;
        }
        double best_t = 0, best = 1e300, rt[20] = {};
        int at = -1;
        for (int m = 0; m < 14; m++) {
            rt[m] = pooled(prof[k], g, use, 2 + 2.0 * m, sigma, 2);
            if (rt[m] < best) best = rt[m], at = m, best_t = 2 + 2.0 * m;
        }
        if (at > 0 && at < 13) {
            const double den = rt[at - 1] - 2 * rt[at] + rt[at + 1];
            if (den > 0) best_t += std::clamp((rt[at - 1] - rt[at + 1]) / den, -1.0, 1.0);
        }
        r.thickness = best_t;
        SlabTable tb;
        tb.make(best_t, sigma);
        // The crest on each ray, moved back out by the blur's pull on a curved wall.
        std::vector<double> mid(g.rays.size(), -1);
        int lost = 0, counted = 0;
        for (std::size_t q = 0; q < g.rays.size(); q++) {
            double res;
            const double m = best_mid(&prof[k][q * N_S], g.rays[q].s_min, tb, res);
            const bool past_base = g.rays[q].pi + 2 >= r.base;
            counted += past_base;
            if (m < 0) {
                lost += past_base;
                continue;
            }
            mid[q] = m - REACH;
        }
        r.lost = counted > 0 ? static_cast<double>(lost) / counted : 1.0;
        // Rays without a wall take their level's mean; levels before the base the first level past it.
        std::vector<double> inner(g.rays.size(), 0.0);
        int first_level = -1;
        for (int l = 0; l < g.levels; l++) {
            double sum = 0;
            int c = 0;
            for (int t = 0; t < N_AROUND; t++)
                if (mid[l * N_AROUND + t] > -REACH) sum += mid[l * N_AROUND + t], c++;
            for (int t = 0; t < N_AROUND; t++) {
                double& m = mid[l * N_AROUND + t];
                if (m <= -REACH) m = c > 0 ? sum / c : 0.0;
            }
            if (first_level < 0 && g.rays[l * N_AROUND].pi >= r.base) first_level = l;
        }
        if (first_level < 0) return;
        // Level mean radius of the crest past the base, to scale the model's curvature to this gate.
        double model_r = 0, gate_r = 0;
        for (int t = 0; t < N_AROUND; t++) {
            const Ray& ry = g.rays[first_level * N_AROUND + t];
            const double dj = ry.pj - g.cj, dk = ry.pk - g.ck;
            const double rr = std::sqrt(dj * dj + dk * dk);
            model_r += rr, gate_r += rr + mid[first_level * N_AROUND + t] * std::sqrt(ry.nj * ry.nj + ry.nk * ry.nk);
        }
        const double scale = gate_r > 1 ? model_r / gate_r : 1.0;
        r.crest.resize(g.rays.size());
        for (int l = 0; l < g.levels; l++)
            for (int t = 0; t < N_AROUND; t++) {
                const int src = (l < first_level ? first_level : l) * N_AROUND + t;
                r.crest[l * N_AROUND + t] = mid[src] + sigma * sigma * g.rays[src].curvature * scale;
            }
        r.ok = true;
    });

    // The myocardium keeps its volume over the cycle: the thickness fitted in each gate gives
    // one volume each, and every gate's wall is made to hold the median of them about its
    // crests (the crests are sure; a thickness fitted under a blur wider than the wall is not).
    std::vector<std::pair<double, double>> by_size;  // (volume inside the crests, myocardium)
    for (int k = 0; k < n; k++)
        if (out[k].ok)
            by_size.emplace_back(cavity_voxels(g, out[k].crest, out[k].base),
                                 shell_voxels(g, out[k].crest, out[k].thickness, out[k].base));
    if (by_size.size() == static_cast<std::size_t>(n)) {
        // The systolic half: a wall thicker than the blur is the one whose thickness the fit can tell.
        std::sort(by_size.begin(), by_size.end());
        std::vector<double> myocardium;
        for (int k = 0; k < (n + 1) / 2; k++) myocardium.push_back(by_size[k].second);
        std::sort(myocardium.begin(), myocardium.end());
        const double held = myocardium[myocardium.size() / 2];
        run_tasks(n, worker_threads(), [&](int k) {
            GateResult& r = out[k];
            double lo = 0.5, hi = 3 * REACH;
            for (int it = 0; it < 30; it++) {
                const double t = 0.5 * (lo + hi);
                (shell_voxels(g, r.crest, t, r.base) < held ? lo : hi) = t;
            }
            r.thickness = 0.5 * (lo + hi);
            r.volume_voxels = cavity_voxels(g, offset_of(g, r.crest, -r.thickness / 2), r.base);
        });
    }

    // Volume voxels: rows and columns of VOXEL_SIZE_XY, frames of VOXEL_SIZE_Z (cm), each
    // spread over 256 / size steps of the volume.
    const double per = static_cast<double>(GATES.size) / VOL_N;
    const double voxel_ml = (VOXEL_SIZE_XY * per) * (VOXEL_SIZE_XY * per) * (VOXEL_SIZE_Z * per);  // cm3 = mL
    double worst_lost = 0;
    for (int k = 0; k < n; k++) {
        if (!out[k].ok) {
            f.reason = "Le ventricule n'a pas \xE9t\xE9 retrouv\xE9 dans l'intervalle " + std::to_string(k + 1) +
                       " : fonction non mesur\xE9" "e.";
            return f;
        }
        f.volume_ml.push_back(out[k].volume_voxels * voxel_ml * VOLUME_CALIBRATION);
        worst_lost = std::max(worst_lost, out[k].lost);
    }
    SET_FUNCTION_CURVE(f, std::move(f.volume_ml));

    char text[200];
    if (n < FUNCTION_MIN_GATES) {
        std::snprintf(text, sizeof text,
                      "Seulement %d intervalles (moins de %d) : la t\xE9l\xE9systole peut \xEAtre manqu\xE9" "e.", n,
                      FUNCTION_MIN_GATES);
        f.flags.push_back(text);
    }
    if (f.ef_percent < 5) {
        std::snprintf(text, sizeof text,
                      "Courbe de volume plate (FE %.0f %%, moins de 5 %%) : synchronisation ou mesure \xE0 v\xE9rifier.",
                      f.ef_percent);
        f.flags.push_back(text);
    }
    if (f.ef_percent > 90) {
        std::snprintf(text, sizeof text, "FE invraisemblable (%.0f %%, plus de 90 %%) : mesure \xE0 v\xE9rifier.", f.ef_percent);
        f.flags.push_back(text);
    }
    if (f.edv_ml < 20) {
        std::snprintf(text, sizeof text,
                      "VTD invraisemblable (%.0f mL, moins de 20 mL) : ventricule trop petit pour cette mesure.", f.edv_ml);
        f.flags.push_back(text);
    }
    if (worst_lost > 0.25) {
        std::snprintf(text, sizeof text,
                      "Paroi non retrouv\xE9" "e sur %.0f %% des rayons d'un intervalle : volumes \xE0 v\xE9rifier.",
                      100 * worst_lost);
        f.flags.push_back(text);
    }
    return f;
}

// Function of a gated study.
//
//   1. the gates as the load shows them   GATE_SAMPLE (and the scale it shares with `data`)
//   2. the measure                         MEASURE_FUNCTION
#include "Gated_Function.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <numbers>

#include "Auto_Place.h"
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

// A stored element's value, as the file's sign says.
double stored_value(const GateFrames& G, std::int16_t s) {
    return G.is_unsigned ? static_cast<double>(static_cast<std::uint16_t>(s)) : s;
}

// Trilinear mix at a source position of a volume of ncz frames of e x e elements (frame,
// row, column), element m read as value(m); false when a corner lies outside the source.
template <class Value>
bool trilinear(int e, int ncz, SourcePos p, Value value, double& out) {
    const int x0 = static_cast<int>(std::floor(p.x)), y0 = static_cast<int>(std::floor(p.y)),
              z0 = static_cast<int>(std::floor(p.z));
    if (x0 < 0 || y0 < 0 || z0 < 0 || x0 + 1 >= e || y0 + 1 >= e || z0 + 1 >= ncz) return false;
    const double fx = p.x - x0, fy = p.y - y0, fz = p.z - z0;
    auto at = [&](int dz, int dx, int dy) {
        return value((static_cast<std::size_t>(z0 + dz) * e + x0 + dx) * e + y0 + dy);
    };
    const double c0 = (at(0, 0, 0) * (1 - fy) + at(0, 0, 1) * fy) * (1 - fx) + (at(0, 1, 0) * (1 - fy) + at(0, 1, 1) * fy) * fx;
    const double c1 = (at(1, 0, 0) * (1 - fy) + at(1, 0, 1) * fy) * (1 - fx) + (at(1, 1, 0) * (1 - fy) + at(1, 1, 1) * fy) * fx;
    out = c0 * (1 - fz) + c1 * fz;
    return true;
}

// Trilinear mix of gate g at a source position with the rescale given; 0 when a corner lies
// outside the source, as the load leaves such elements.
double mix(const GateFrames& G, int g, SourcePos p, double slope, double intercept) {
    const std::int16_t* gate = G.voxels.data() + static_cast<std::size_t>(g) * G.slices * G.size * G.size;
    double v = 0;
    return trilinear(G.size, G.slices, p, [&](std::size_t m) { return stored_value(G, gate[m]) * slope + intercept; }, v)
               ? v
               : 0.0;
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
//    the camera, fitted as such);
//  - the wall about each ray is a shell about the ray's centre of curvature (a cylinder about
//    the axis, a ball at the apex, the two mixed between), blurred by the camera: the cavity
//    and the opposite wall blur into the profile as they do in the gate, and the crest of a
//    curved wall is drawn inwards as the blur draws it. The wall's thickness is the one whose
//    shells fit the gate's profiles best, and on each ray the shell's place is fitted with it.
// The blur itself: a profile tells the wall's counts and its blurred width, not its thickness
// apart from the blur; but the myocardium's concentration is the same at end systole and end
// diastole, so the blur is the one under which both gates' fitted walls have the same contrast.
// Then over the gates: the myocardium keeps its volume through the cycle, so the wall of every
// gate is the one that holds the volume the systolic gates' fits give (a wall thinner than
// the blur, at end diastole, is where a fitted thickness is least sure); the cavity is the
// volume inside the endocardium (the shell's inner face) past the base plane.

namespace {

constexpr int N_AROUND = 32;  // rays around the axis
// The cavity inside the fitted endocardium came out 1 % small on the validation's phantoms
// 2000 to 2039 (median of EDV and ESV alike, 8 and 16 gates, 10 to 16 mm): every volume is
// scaled back by that much. The ejection fraction, a ratio, does not change.
constexpr double VOLUME_CALIBRATION = 1.01;
constexpr int N_CAP = 14;     // cap levels from the apex (angle 0) to the equator (90 degrees)
constexpr int REACH = 24;     // profile half-length, voxels of the volume
constexpr int N_S = 2 * REACH + 1;
constexpr double SQRT1_2 = 0.70710678118654752;
// A wall bent less than this (voxels to its centre of curvature) is taken as bent this much:
// nearly flat under any blur the camera gives.
constexpr double MAX_CENTRE = 80;
constexpr int CREST_REACH = 8;  // samples either side of a profile's brightest one
// An end-systolic cavity whose equivalent sphere's radius is under this share of the blur's
// full width at half maximum is flagged.
constexpr double SMALL_SYSTOLE = 0.95;

double phi(double x) { return 0.5 * std::erfc(-x * SQRT1_2); }

// A voxel of the volume in mL: rows and columns of VOXEL_SIZE_XY, frames of VOXEL_SIZE_Z (cm),
// each spread over 256 / size steps of the volume.
double volume_voxel_ml() {
    const double per = static_cast<double>(GATES.size) / VOL_N;
    return (VOXEL_SIZE_XY * per) * (VOXEL_SIZE_XY * per) * (VOXEL_SIZE_Z * per);
}

struct Ray {
    double pi, pj, pk;  // point on the model's mid-wall
    double ni, nj, nk;  // unit normal, outwards
    double curvature;   // mean curvature of the model's mid-wall there
    // The wall about this ray is taken as a shell about a centre `centre` voxels inwards along
    // the normal (where the normal meets the axis): a cylinder about the axis where the wall
    // bends only around it, a sphere at the apex where it bends as much along the axis, and in
    // between the two mixed, the sphere's share `ball` the ratio of the two bends. Both give
    // the blur's pull on the crest its mean curvature.
    double centre;
    double ball;
    int s_min;          // first sample kept: the axis is not crossed
};

struct Geometry {
    double ci, cj, ck, a, b, c;  // the model's mid-wall ellipsoid
    int levels = 0;              // rays per column: cylinder levels (basal first), then the cap
    std::vector<Ray> rays;       // [level * N_AROUND + around], levels from the base to the apex
};

Geometry rays_of_model(double longer) {
    Geometry g;
    g.ci = 0.5 * (ell_ci + ill_ci), g.cj = ell_cj, g.ck = ell_ck;
    g.a = 0.5 * (ell_ri + ill_ri) + longer, g.b = 0.5 * (ell_rj + ill_rj), g.c = 0.5 * (ell_rk + ill_rk);
    const double pi2 = 2 * std::numbers::pi;
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
            // Around the axis the wall bends by radial / across; along it by the rest of twice
            // the mean curvature.
            const double around = across > 1e-6 ? radial / across : 1e6;
            const double along = 2 * r.curvature - around;
            r.ball = across < 1e-6 ? 1.0 : std::clamp(along / around, 0.0, 1.0);
            r.centre = std::min(across < 1e-6 ? 1.0 / std::max(r.curvature, 1e-6) : 1.0 / around, MAX_CENTRE);
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
            const double th = 2 * std::numbers::pi * t / AROUND;
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

// The blurred inside of a disc (a cylinder about the axis, blurred across it) or of a ball of
// radius rho, at a distance r from its centre, both in units of the blur's sigma: tables every
// 1/8 sigma up to 48 sigma, made once, read between their points. Farther out the wall is flat.
class Inside {
public:
    static const Inside& tables() {
        static const Inside made;
        return made;
    }
    double at(bool sphere, double r, double rho) const {
        if (rho <= 0) return 0.0;
        r = std::fabs(r);
        if (std::max(r, rho) > U - 1) return phi(rho - r);
        const double x = r / STEP, y = rho / STEP;
        const int a = static_cast<int>(x), b = static_cast<int>(y);
        const double fx = x - a, fy = y - b;
        const float* t = (sphere ? ball_ : disc_).data() + a * N + b;
        return (t[0] * (1 - fy) + t[1] * fy) * (1 - fx) + (t[N] * (1 - fy) + t[N + 1] * fy) * fx;
    }

private:
    static constexpr double U = 48, STEP = 0.125;
    static constexpr int N = static_cast<int>(U / STEP) + 2;
    std::vector<float> disc_, ball_;

    // e^-z I0(z), the modified Bessel function scaled (polynomials to 2e-7).
    static double i0e(double z) {
        if (z < 3.75) {
            const double t = (z / 3.75) * (z / 3.75);
            return std::exp(-z) *
                   (1 + t * (3.5156229 + t * (3.0899424 + t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813))))));
        }
        const double t = 3.75 / z;
        return (0.39894228 + t * (0.01328592 + t * (0.00225319 + t * (-0.00157565 + t * (0.00916281 +
                t * (-0.02057706 + t * (0.02635537 + t * (-0.01647633 + t * 0.00392377)))))))) / std::sqrt(z);
    }

    Inside() : disc_(static_cast<std::size_t>(N) * N), ball_(static_cast<std::size_t>(N) * N) {
        constexpr int SUB = 4;  // integration steps per table step
        const double h = STEP / SUB, root2 = std::sqrt(2.0), k = 1 / std::sqrt(2 * std::numbers::pi);
        for (int a = 0; a < N; a++) {
            const double r = a * STEP;
            // The disc: the blurred ring at radius x, x e^-(x^2 + r^2)/2 I0(x r), added up from x = 0.
            auto ring = [r](double x) { return x * std::exp(-(x - r) * (x - r) / 2) * i0e(x * r); };
            double sum = 0, prev = ring(0);
            disc_[static_cast<std::size_t>(a) * N] = 0;
            for (int b = 1; b < N; b++) {
                for (int q = 1; q <= SUB; q++) {
                    const double x = ((b - 1) * SUB + q) * h, next = ring(x);
                    sum += 0.5 * h * (prev + next);
                    prev = next;
                }
                disc_[static_cast<std::size_t>(a) * N + b] = static_cast<float>(sum);
            }
            // The ball, in closed form (its limit at the centre for r = 0).
            for (int b = 0; b < N; b++) {
                const double rho = b * STEP;
                const double v = r < 1e-9 ? std::erf(rho / root2) - 2 * rho * k * std::exp(-rho * rho / 2)
                                          : 0.5 * (std::erf((rho - r) / root2) + std::erf((rho + r) / root2)) -
                                                k / r * (std::exp(-(rho - r) * (rho - r) / 2) - std::exp(-(rho + r) * (rho + r) / 2));
                ball_[static_cast<std::size_t>(a) * N + b] = static_cast<float>(v);
            }
        }
    }
};

// The shell model for a wall of thickness t blurred by sigma.
struct Shell {
    double t, sigma;
};

// Solves m x = v for a 3 x 3 system (Cramer's rule); false when m is singular.
bool solve3(const double m[3][3], const double v[3], double x[3]) {
    auto det3 = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double det = det3(m);
    if (std::fabs(det) < 1e-9) return false;
    for (int c = 0; c < 3; c++) {
        double mc[3][3];
        for (int r = 0; r < 3; r++)
            for (int q = 0; q < 3; q++) mc[r][q] = q == c ? v[r] : m[r][q];
        x[c] = det3(mc) / det;
    }
    return true;
}

// The fitted residual on one ray, the shell's crest `mid` samples along it, with cavity, wall
// and outside levels; 1e300 when the wall is not brighter than both sides.
double shell_fit(const float* p, const Ray& ry, double mid, const Shell& sh, double* levels) {
    // Three basis functions: 1, wall, outside (the cavity is 1 - wall - outside), the wall's and
    // the outside's blurred shares at each sample from the tables (radii in units of sigma).
    const Inside& in = Inside::tables();
    const double crest = (ry.centre + (mid - REACH)) / sh.sigma, half = sh.t / (2 * sh.sigma);
    const double face_out = crest + half, face_in = crest - half;
    double n = 0, sw = 0, so = 0, sww = 0, swo = 0, soo = 0, sy = 0, syw = 0, syo = 0, syy = 0, cavity = 0;
    for (int s = ry.s_min; s < N_S; s++) {
        const double r = (ry.centre + (s - REACH)) / sh.sigma;
        double outer = 0, inner = 0;
        if (ry.ball < 1) outer += (1 - ry.ball) * in.at(false, r, face_out), inner += (1 - ry.ball) * in.at(false, r, face_in);
        if (ry.ball > 0) outer += ry.ball * in.at(true, r, face_out), inner += ry.ball * in.at(true, r, face_in);
        const double w = outer - inner, o = 1 - outer;
        const double y = p[s];
        n += 1, sw += w, so += o, sww += w * w, swo += w * o, soo += o * o;
        sy += y, syw += y * w, syo += y * o, syy += y * y;
        cavity = std::max(cavity, 1 - w - o);
    }
    if (cavity < 0.02) {
        // No cavity on this ray (a wall that fills the apex): outside level c0, wall c0 + c1.
        const double det = n * sww - sw * sw;
        if (std::fabs(det) < 1e-9) return 1e300;
        const double c1 = (n * syw - sw * sy) / det, c0 = (sy - c1 * sw) / n;
        if (levels != nullptr) levels[0] = levels[1] = c0 + c1, levels[2] = c0;
        if (c1 <= 0) return 1e300;
        return syy - c0 * sy - c1 * syw;
    }
    // Normal equations of (a, bw, bo): a + bw w + bo o.
    const double m[3][3] = {{n, sw, so}, {sw, sww, swo}, {so, swo, soo}};
    const double v[3] = {sy, syw, syo};
    double x[3];
    if (!solve3(m, v, x)) return 1e300;
    // Levels: cavity a, wall a + bw, outside a + bo; the wall must stand out of both.
    if (levels != nullptr) levels[0] = x[0], levels[1] = x[0] + x[1], levels[2] = x[0] + x[2];
    if (x[1] <= 0 || x[1] <= x[2]) return 1e300;
    return syy - (x[0] * v[0] + x[1] * v[1] + x[2] * v[2]);
}

// The best crest on one ray (samples, refined between the grid steps); residual through `res`.
// The crest lies near the profile's brightest sample (the blur moves it by a voxel or two):
// the search starts there and goes downhill, no further than CREST_REACH samples.
double best_mid(const float* p, const Ray& ry, const Shell& sh, double& res) {
    const int peak = static_cast<int>(std::max_element(p + ry.s_min, p + N_S) - p);
    const int lo = std::max(ry.s_min + 1, peak - CREST_REACH), hi = std::min(N_S - 3, peak + CREST_REACH);
    res = 1e300;
    if (lo > hi) return -1;
    double r[N_S];
    std::fill(r, r + N_S, -1.0);
    auto at = [&](int m) {
        if (r[m] < 0) r[m] = shell_fit(p, ry, m, sh, nullptr);
        return r[m];
    };
    int m = std::clamp(peak, lo, hi);
    while (true) {
        const double here = at(m);
        if (m > lo && at(m - 1) < here) m--;
        else if (m < hi && at(m + 1) < here) m++;
        else break;
    }
    if (at(m) >= 1e299) {
        // No wall where the search began: every place in reach is tried.
        for (int q = lo; q <= hi; q++)
            if (at(q) < at(m)) m = q;
        if (at(m) >= 1e299) return -1;
    }
    res = at(m);
    double mid = m;
    if (m > lo && m < hi && at(m - 1) < 1e299 && at(m + 1) < 1e299) {
        const double den = r[m - 1] - 2 * r[m] + r[m + 1];
        if (den > 0) mid += std::clamp(0.5 * (r[m - 1] - r[m + 1]) / den, -0.5, 0.5);
    }
    return mid;
}

// Pooled residual of a gate's rays (every `step`-th of those `use` keeps) for a wall of thickness t.
double pooled(const std::vector<float>& prof, const Geometry& g, const std::vector<char>& use, double t, double sigma,
              int step) {
    const Shell sh{t, sigma};
    double total = 0;
    for (std::size_t n = 0; n < g.rays.size(); n += step) {
        if (!use[n]) continue;
        double res;
        if (best_mid(&prof[n * N_S], g.rays[n], sh, res) >= 0) total += res;
    }
    return total;
}

// The wall's thickness whose pooled fit is best, from 2 to 28 voxels: every 4 voxels, then
// every 2 about the best, then a parabola fitted by least squares to every voxel within 3 of it.
// The pooled residual is jagged at the scale of a voxel (each ray's crest steps from one sample
// to the next as t changes), and a parabola through the best three alone followed the jags: a
// voxel of the model's apex moved a noiseless end-systolic volume by up to four fifths.
double best_thickness(const std::vector<float>& prof, const Geometry& g, const std::vector<char>& use, double sigma,
                      int step, double* residual) {
    constexpr double LO = 2, HI = 28;
    std::vector<std::pair<double, double>> tried;  // (t, residual)
    auto at = [&](double t) {
        for (const auto& p : tried)
            if (std::fabs(p.first - t) < 1e-9) return p.second;
        const double r = pooled(prof, g, use, t, sigma, step);
        tried.emplace_back(t, r);
        return r;
    };
    double best_t = LO, best = 1e300;
    for (double t = LO; t <= HI; t += 4)
        if (at(t) < best) best = at(t), best_t = t;
    for (double t : {best_t - 2, best_t + 2})
        if (t >= LO && t <= HI && at(t) < best) best = at(t), best_t = t;
    // r(best_t + x) ~ k0 + k1 x + k2 x^2 over x = -3..3: the normal equations.
    double S[5] = {}, T[3] = {};
    int n = 0;
    for (int x = -3; x <= 3; x++) {
        const double t = best_t + x;
        if (t < LO || t > HI || at(t) >= 1e299) continue;
        const double y = at(t);
        for (int e = 0, p = 1; e < 5; e++, p *= x) S[e] += p;
        T[0] += y, T[1] += y * x, T[2] += y * x * x;
        n++;
    }
    const double M[3][3] = {{S[0], S[1], S[2]}, {S[1], S[2], S[3]}, {S[2], S[3], S[4]}};
    double k[3];
    if (n >= 5 && solve3(M, T, k) && k[2] > 0) {
        const double x = std::clamp(-k[1] / (2 * k[2]), -3.0, 3.0);
        if (residual != nullptr) *residual = k[0] + k[1] * x + k[2] * x * x;
        return best_t + x;
    }
    if (residual != nullptr) *residual = best;
    return best_t;
}

// The wall's contrast over the cavity on each ray the fit finds (0 where it finds none), for a
// wall of thickness t blurred by sigma.
std::vector<double> contrasts(const std::vector<float>& prof, const Geometry& g, const std::vector<char>& use, double t,
                              double sigma, int step) {
    const Shell sh{t, sigma};
    std::vector<double> c(g.rays.size(), 0.0);
    for (std::size_t n = 0; n < g.rays.size(); n += step) {
        if (!use[n]) continue;
        double res, levels[3];
        const double mid = best_mid(&prof[n * N_S], g.rays[n], sh, res);
        if (mid >= 0 && shell_fit(&prof[n * N_S], g.rays[n], mid, sh, levels) < 1e299) c[n] = levels[1] - levels[0];
    }
    return c;
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
        total += std::fabs(area_r) * 2 * std::numbers::pi / N_AROUND;
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

// One gate's wall: the thickness whose pooled fit is best on the rays `use` keeps, then the
// crest on each ray (rays without a wall take their level's mean; levels before the base the
// first level past it). `r.base` is set; the rest is filled in.
void fit_gate(const std::vector<float>& prof, const Geometry& g, const std::vector<char>& use, double sigma, GateResult& r) {
    r.ok = false;
    r.thickness = best_thickness(prof, g, use, sigma, 2, nullptr);
    const Shell sh{r.thickness, sigma};
    std::vector<double> mid(g.rays.size(), -1);
    int lost = 0, counted = 0;
    for (std::size_t q = 0; q < g.rays.size(); q++) {
        double res;
        const double m = best_mid(&prof[q * N_S], g.rays[q], sh, res);
        const bool past_base = g.rays[q].pi + 2 >= r.base;
        counted += past_base;
        if (m < 0) {
            lost += past_base;
            continue;
        }
        mid[q] = m - REACH;
    }
    r.lost = counted > 0 ? static_cast<double>(lost) / counted : 1.0;
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
    r.crest.resize(g.rays.size());
    for (int l = 0; l < g.levels; l++)
        for (int t = 0; t < N_AROUND; t++) r.crest[l * N_AROUND + t] = mid[(l < first_level ? first_level : l) * N_AROUND + t];
    r.ok = true;
}

// One measure of every gate's cavity, with the rays of geometry g: the volumes (mL, gate 1
// first), the blur found across the wall and the largest share of a gate's rays without a
// wall; `reason` set when a gate's base or wall is not found.
struct Measured {
    std::vector<double> volume_ml;
    double wall_sigma = 0, worst_lost = 0;
    std::string reason;
};

Measured measure_on(const Geometry& g, const GateScale& sc) {
    Measured m;
    const int n = GATES.count;
    std::vector<GateResult> out(n);
    std::vector<std::vector<float>> prof(n);

    // The base edge in each gate, with its blur; then the base again with the gates' blur.
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
        m.reason = "La base du ventricule n'a pas \xE9t\xE9 retrouv\xE9" "e dans chaque intervalle : fonction non mesur\xE9" "e.";
        return m;
    }
    // The middle half of the gates' blurs, averaged (each is fitted every quarter voxel).
    std::sort(sigmas.begin(), sigmas.end());
    double sigma = 0;
    const int from = n / 4, to = n - n / 4;
    for (int k = from; k < to; k++) sigma += sigmas[k];
    sigma /= to - from;

    for (int k = 0; k < n; k++) {
        out[k].sigma = sigma;
        fit_base(along[k], first, out[k].base, out[k].sigma);
    }
    // The rays that tell the wall's thickness: where the model's normal crosses the wall
    // squarely, past the base's blur and away from the apex, where the gate's wall may lie
    // aslant of the model's.
    auto squarely = [&](int k) {
        std::vector<char> use(g.rays.size(), 0);
        for (std::size_t q = 0; q < g.rays.size(); q++)
            use[q] = g.rays[q].pi >= out[k].base + 2 * sigma && g.rays[q].pi <= g.ci + 0.8 * g.a;
        return use;
    };
    // The blur across the wall. Under a blur wider than the wall a profile tells only the wall's
    // counts and its blurred width, not its thickness; but the myocardium's concentration does
    // not change over the cycle, so the blur is the one under which the wall's fitted contrast
    // is the same at end systole (the thickest wall) as at end diastole (the thinnest): too wide
    // a blur makes the thin wall thinner still and brighter. The base's edge gives the blur
    // when the contrasts cannot tell it. End systole and end diastole: the gates whose wall's
    // brightest samples lie furthest in and furthest out.
    std::vector<std::vector<char>> uses(n);
    int es = 0, ed = 0;
    double deepest = 1e300, outmost = -1e300;
    for (int k = 0; k < n; k++) {
        uses[k] = squarely(k);
        double sum = 0;
        int c = 0;
        for (std::size_t q = 0; q < g.rays.size(); q++) {
            if (!uses[k][q]) continue;
            const float* p = &prof[k][q * N_S];
            sum += static_cast<double>(std::max_element(p + g.rays[q].s_min, p + N_S) - p), c++;
        }
        if (c == 0) continue;
        if (sum / c < deepest) deepest = sum / c, es = k;
        if (sum / c > outmost) outmost = sum / c, ed = k;
    }
    // log(contrast at end systole / at end diastole) under the blur sg, the median over the
    // rays where both find the wall; NaN when too few do. With 12 gates and more, the gates on
    // either side of each lie within a twelfth of the cycle and show nearly the same wall: the
    // pairs before and after are read too, weighted 1, 2, 1, for three times the counts (on
    // 16-gate phantoms the end-systolic volume's error fell from 8 to 6-7 % sd). An eighth of
    // the cycle apart, as with 8 gates, the neighbours' walls differ too much to help.
    auto pair_ratio = [&](int s, int d, double sg) {
        const std::vector<double> a = contrasts(prof[s], g, uses[s], best_thickness(prof[s], g, uses[s], sg, 4, nullptr), sg, 2);
        const std::vector<double> b = contrasts(prof[d], g, uses[d], best_thickness(prof[d], g, uses[d], sg, 4, nullptr), sg, 2);
        std::vector<double> r;
        for (std::size_t q = 0; q < a.size(); q++)
            if (a[q] > 0 && b[q] > 0) r.push_back(std::log(a[q] / b[q]));
        if (r.size() < 8) return std::nan("");
        std::nth_element(r.begin(), r.begin() + r.size() / 2, r.end());
        return r[r.size() / 2];
    };
    auto log_ratio = [&](double sg) {
        if (n < 12) return pair_ratio(es, ed, sg);
        double sum = 0;
        for (int d = -1; d <= 1; d++) sum += (d == 0 ? 2 : 1) * pair_ratio((es + d + n) % n, (ed + d + n) % n, sg);
        return sum / 4;  // NaN when any pair is
    };
    std::vector<double> sgs, ratio;
    for (double sg = 3.0; sg <= 7.51; sg += 0.5) sgs.push_back(sg);
    ratio.assign(sgs.size(), 0.0);
    run_tasks(static_cast<int>(sgs.size()), worker_threads(), [&](int m) { ratio[m] = log_ratio(sgs[m]); });
    // The ratio falls through 1 as the blur widens past the true one (the end-diastolic wall
    // thins away under it); the first such fall, narrowed by halves.
    double& wall_sigma = m.wall_sigma;
    wall_sigma = sigma;
    for (std::size_t m = 0; m + 1 < sgs.size(); m++)
        if (ratio[m] > 0 && ratio[m + 1] <= 0) {
            double lo = sgs[m], hi = sgs[m + 1];
            for (int it = 0; it < 4; it++) {
                const double mid = 0.5 * (lo + hi), v = log_ratio(mid);
                (v > 0 ? lo : hi) = mid;
            }
            wall_sigma = 0.5 * (lo + hi);
            break;
        }

    run_tasks(n, worker_threads(), [&](int k) { fit_gate(prof[k], g, uses[k], wall_sigma, out[k]); });

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

    const double voxel_ml = volume_voxel_ml();
    for (int k = 0; k < n; k++) {
        if (!out[k].ok) {
            m.reason = "Le ventricule n'a pas \xE9t\xE9 retrouv\xE9 dans l'intervalle " + std::to_string(k + 1) +
                       " : fonction non mesur\xE9" "e.";
            return m;
        }
        m.volume_ml.push_back(out[k].volume_voxels * voxel_ml * VOLUME_CALIBRATION);
        m.worst_lost = std::max(m.worst_lost, out[k].lost);
    }
    return m;
}

}  // namespace

void SMOOTH_FUNCTION_CURVE(std::vector<double>& v) {
    const int n = static_cast<int>(v.size());
    if (2 * CURVE_HARMONICS >= n) return;  // 8 gates and fewer: every harmonic they hold is kept
    std::vector<double> kept(n, 0.0), c(n), s(n);
    for (int m = 0; m <= CURVE_HARMONICS; m++) {
        double a = 0, b = 0;
        for (int k = 0; k < n; k++) {
            c[k] = std::cos(2 * std::numbers::pi * m * k / n), s[k] = std::sin(2 * std::numbers::pi * m * k / n);
            a += v[k] * c[k], b += v[k] * s[k];
        }
        const double norm = (m == 0 ? 1.0 : 2.0) / n;
        for (int k = 0; k < n; k++) kept[k] += norm * (a * c[k] + b * s[k]);
    }
    v = std::move(kept);
}

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
    // The volumes are read three times, with the rays of the model as placed and with its long
    // axis a voxel shorter and longer, weighted 2, 1, 1: each gate's crests step from one sample
    // to the next as the rays move, and from one voxel of the model's apex to the next a
    // noiseless end-systolic volume went up and down by up to a fifth; the weights cancel such a
    // seesaw. When the model as placed gives no measure, none is given.
    const int n = GATES.count;
    std::vector<double> sum(n, 0.0);
    double wall_sigma = 0, worst_lost = 0, weights = 0;
    for (const double longer : {0.0, -1.0, 1.0}) {
        const Measured m = measure_on(rays_of_model(longer), sc);
        if (!m.reason.empty()) {
            if (longer == 0) {
                f.reason = m.reason;
                return f;
            }
            continue;
        }
        const double w = longer == 0 ? 2 : 1;
        for (int k = 0; k < n; k++) sum[k] += w * m.volume_ml[k];
        wall_sigma += w * m.wall_sigma;
        worst_lost = std::max(worst_lost, m.worst_lost);
        weights += w;
    }
    for (int k = 0; k < n; k++) f.volume_ml.push_back(sum[k] / weights);
    wall_sigma /= weights;
    const double voxel_ml = volume_voxel_ml();
    SMOOTH_FUNCTION_CURVE(f.volume_ml);
    SET_FUNCTION_CURVE(f, std::move(f.volume_ml));

    char text[256];
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
    // A cavity about as wide as the blur at end systole: the smallest volume is the least sure
    // (on the validation's phantoms half of those under 0.95 missed the targets, against one
    // in twenty of the rest). The blur is the one found across the wall, resampling included.
    const double fwhm_mm = 10 * 2.3548 * wall_sigma * std::cbrt(voxel_ml);
    const double radius_mm = 10 * std::cbrt(3 * f.esv_ml / (4 * std::numbers::pi));
    if (radius_mm < SMALL_SYSTOLE * fwhm_mm) {
        std::snprintf(text, sizeof text,
                      "Cavit\xE9 t\xE9l\xE9systolique petite devant la r\xE9solution (VTS %.0f mL, rayon %.0f mm pour un "
                      "flou de %.0f mm \xE0 mi-hauteur) : VTS et FE peu pr\xE9" "cis.",
                      f.esv_ml, radius_mm, fwhm_mm);
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

// ---- 3. a model for the function alone ----------------------------------------------------
//
// A ventricle of 50 to 60 mL at end diastole shows in the summed study a cavity averaged over
// the cycle, about two thirds of that, under the size the automatic placement trusts; the
// gates about end diastole show it whole.

int AUTO_PLACE_ON_END_DIASTOLE() {
    const int n = GATES.count, e = GATES.size, ncz = GATES.slices;
    if (n < 3 || e < 2 || ncz < 2 || GATES.voxels.empty()) return 0;
    const GateScale sc = current_scale();  // a copy: worked out on the summed study, kept for it
    const std::size_t frame = static_cast<std::size_t>(ncz) * e * e;
    std::vector<float> stored(frame, 0.0f);
    for (int g : {n - 1, 0, 1})
        for (std::size_t v = 0; v < frame; v++)
            stored[v] += static_cast<float>(stored_value(GATES, GATES.voxels[g * frame + v]));
    // Three gates' share of the counts brought to the whole cycle's, as the load shows the sum:
    // the same resampling as GATE_SAMPLE's, element by element.
    const double to_sum = n / 3.0;
    std::vector<float> summed(data, data + VOL_SIZE);
    run_tasks(VOL_N, worker_threads(), [&](int i) {
        for (int j = 0; j < VOL_N; j++)
            for (int k = 0; k < VOL_N; k++) {
                const SourcePos p = source_of(static_cast<float>(i), static_cast<float>(j), static_cast<float>(k), e, ncz);
                double mixed = 0;
                const bool inside = trilinear(e, ncz, p, [&](std::size_t m) { return static_cast<double>(stored[m]); }, mixed);
                data[(static_cast<std::size_t>(i) << 16) + (j << 8) + k] =
                    inside ? static_cast<float>((mixed * sc.slope + 3 * sc.intercept) * to_sum * sc.to_data) : 0.0f;
            }
    });
    DATA_CHANGED();
    const int placed = AUTO_PLACE();
    std::copy(summed.begin(), summed.end(), data);
    DATA_CHANGED();
    return placed;
}

#include "sample_study.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "latin1.h"

namespace sample {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Relative concentrations; the myocardium is 1 and is scaled by Options::counts (the
// liver's is Options::liver).
constexpr double kBody = 0.08;
constexpr double kCavity = 0.10;

double sq(double x) { return x * x; }

// Whether the myocardium at this position belongs to a territory; di is the distance
// from the centre along i, theta the angle around the long axis as the program measures
// it (atan2 of k over j: anterior +k, lateral +j, septal -j, inferior -k); apical_di and
// apex_di are where the apical ring and the apex cap start, from the centre.
bool in_lad(double di, double theta, double apical_di, double apex_di) {
    if (di >= apex_di) return true;                                  // apex
    if (di >= apical_di) return theta >= kPi / 4 && theta <= 5 * kPi / 4;  // apical ant./septal
    return theta >= kPi / 3 && theta <= kPi;                         // anterior, anteroseptal
}

bool in_lcx(double di, double theta, double apical_di, double apex_di) {
    if (di >= apex_di) return false;
    if (di >= apical_di) return theta <= kPi / 4 || theta >= 7 * kPi / 4;  // apical lateral
    return theta <= kPi / 3 || theta >= 5 * kPi / 3;                 // anterolateral, inferolateral
}

bool in_rca(double di, double theta, double apical_di, double apex_di) {
    if (di >= apex_di) return false;
    if (di >= apical_di) return theta >= 5 * kPi / 4 && theta <= 7 * kPi / 4;  // apical inferior
    return theta >= kPi && theta <= 5 * kPi / 3;                     // inferoseptal, inferior
}

// The phantom at a position of the program's volume (continuous voxel coordinates).
double object_at(const Options& o, const Heart& h, double I, double J, double K) {
    using G = Geometry;
    if (sq((I - G::body_ci) / G::body_ri) + sq((J - G::body_cj) / G::body_rj) +
            sq((K - G::body_ck) / G::body_rk) > 1)
        return 0;
    if (sq((I - h.liver_ci) / G::liver_ri) + sq((J - h.liver_cj) / G::liver_rj) +
            sq((K - h.liver_ck) / G::liver_rk) <= 1)
        return o.liver / 100;
    const double di = I - h.ci, dj = J - h.cj, dk = K - h.ck;
    if (di < h.base_i - h.ci) return kBody;  // basal side: atria and vessels, no myocardium
    if (sq(di / h.inner_ri) + sq(dj / h.inner_rj) + sq(dk / h.inner_rk) <= 1) return kCavity;
    if (sq(di / h.outer_ri) + sq(dj / h.outer_rj) + sq(dk / h.outer_rk) > 1) return kBody;
    double theta = std::atan2(dk, dj);
    if (theta < 0) theta += 2 * kPi;
    const double apical_di = h.apical_i - h.ci, apex_di = h.apex_i - h.ci;
    double uptake = 1;
    if (o.lad > 0 && in_lad(di, theta, apical_di, apex_di)) uptake = std::min(uptake, 1 - o.lad / 100);
    if (o.lcx > 0 && in_lcx(di, theta, apical_di, apex_di)) uptake = std::min(uptake, 1 - o.lcx / 100);
    if (o.rca > 0 && in_rca(di, theta, apical_di, apex_di)) uptake = std::min(uptake, 1 - o.rca / 100);
    return uptake;
}

// Gaussian blur along one axis of a frames x rows x cols block; the kernel is cut at
// 3.5 sigma and renormalised at the edges of the field (no dark rim).
void blur_axis(std::vector<double>& v, int nf, int nr, int nc, int axis, double sigma) {
    const int radius = static_cast<int>(std::ceil(3.5 * sigma));
    std::vector<double> w(2 * radius + 1);
    for (int t = -radius; t <= radius; ++t) w[t + radius] = std::exp(-0.5 * sq(t / sigma));
    const int n = axis == 0 ? nf : axis == 1 ? nr : nc;
    const long stride = axis == 0 ? static_cast<long>(nr) * nc : axis == 1 ? nc : 1;
    const long lines = static_cast<long>(nf) * nr * nc / n;
    std::vector<double> line(n);
    for (long l = 0; l < lines; ++l) {
        // Start of line l: every index except the blurred axis.
        long start;
        if (axis == 0) {
            start = l;
        } else if (axis == 1) {
            start = (l / nc) * static_cast<long>(nr) * nc + l % nc;
        } else {
            start = l * nc;
        }
        for (int t = 0; t < n; ++t) line[t] = v[start + t * stride];
        for (int t = 0; t < n; ++t) {
            double sum = 0, norm = 0;
            const int lo = std::max(0, t - radius), hi = std::min(n - 1, t + radius);
            for (int u = lo; u <= hi; ++u) {
                sum += w[u - t + radius] * line[u];
                norm += w[u - t + radius];
            }
            v[start + t * stride] = sum / norm;
        }
    }
}

// FNV-1a, for identifiers that follow from the options (same file on every run).
std::uint64_t fnv1a(const std::string& s, std::uint64_t h = 1469598103934665603ull) {
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// A UID under the 2.25 root made of two 64-bit hashes of the text.
std::string make_uid(const std::string& what) {
    std::uint64_t a = fnv1a(what), b = fnv1a(what, a);
    if (a == 0) a = 1;
    char buf[64];
    std::snprintf(buf, sizeof buf, "2.25.%llu%020llu", static_cast<unsigned long long>(a),
                  static_cast<unsigned long long>(b % 10000000000000000000ull));
    return buf;
}

std::string format_mm(double mm) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", mm);
    return buf;
}

// Elements kept sorted by tag, so the file has them in ascending order whatever the
// order they were added in.
class DataSet {
public:
    void add(std::uint16_t group, std::uint16_t element, const char* vr, std::string value) {
        // Even lengths: UI pads with a zero byte, OB/OW/US with zero, text with a space.
        if (value.size() % 2 != 0) {
            const bool zero = !std::strcmp(vr, "UI") || !std::strcmp(vr, "OB") || !std::strcmp(vr, "OW");
            value.push_back(zero ? '\0' : ' ');
        }
        elements_[(static_cast<std::uint32_t>(group) << 16) | element] = {vr, std::move(value)};
    }
    void add_us(std::uint16_t group, std::uint16_t element, std::uint16_t v) {
        add(group, element, "US", std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)});
    }
    void add_ul(std::uint16_t group, std::uint16_t element, std::uint32_t v) {
        std::string b(4, '\0');
        for (int t = 0; t < 4; ++t) b[t] = static_cast<char>((v >> (8 * t)) & 0xFF);
        add(group, element, "UL", b);
    }
    void write(std::vector<std::uint8_t>& out) const {
        for (const auto& [tag, e] : elements_) write_one(out, tag, e.vr, e.value);
    }
    std::size_t size() const {
        std::vector<std::uint8_t> tmp;
        write(tmp);
        return tmp.size();
    }

    static void write_one(std::vector<std::uint8_t>& out, std::uint32_t tag, const std::string& vr,
                          const std::string& value) {
        auto u16 = [&out](std::uint32_t v) {
            out.push_back(static_cast<std::uint8_t>(v & 0xFF));
            out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        };
        u16(tag >> 16);
        u16(tag & 0xFFFF);
        out.push_back(static_cast<std::uint8_t>(vr[0]));
        out.push_back(static_cast<std::uint8_t>(vr[1]));
        // OB, OW, SQ, UN, UT and the other long forms: two reserved bytes and a 32-bit length.
        static const char* const long_form[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "UC", "UN", "UR", "UT"};
        bool is_long = false;
        for (const char* l : long_form) is_long = is_long || vr == l;
        if (is_long) {
            u16(0);
            u16(static_cast<std::uint32_t>(value.size() & 0xFFFF));
            u16(static_cast<std::uint32_t>(value.size() >> 16));
        } else {
            u16(static_cast<std::uint32_t>(value.size()));
        }
        out.insert(out.end(), value.begin(), value.end());
    }

private:
    struct Element {
        std::string vr, value;
    };
    std::map<std::uint32_t, Element> elements_;
};

}  // namespace

std::uint64_t Rng::next() {
    // splitmix64: small, fast and the same on every platform.
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Rng::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

long Rng::poisson(double mean) {
    if (mean <= 0) return 0;
    if (mean < 10) {
        // Multiplication of uniforms (Knuth).
        const double limit = std::exp(-mean);
        long k = 0;
        double p = uniform();
        while (p > limit) {
            ++k;
            p *= uniform();
        }
        return k;
    }
    // Transformed rejection with squeeze (Hoermann's PTRS).
    const double slam = std::sqrt(mean), loglam = std::log(mean);
    const double b = 0.931 + 2.53 * slam, a = -0.059 + 0.02483 * b;
    const double invalpha = 1.1239 + 1.1328 / (b - 3.4), vr = 0.9277 - 3.6224 / (b - 2);
    for (;;) {
        const double u = uniform() - 0.5, v = uniform();
        const double us = 0.5 - std::fabs(u);
        const double k = std::floor((2 * a / us + b) * u + mean + 0.43);
        if (us >= 0.07 && v <= vr) return static_cast<long>(k);
        if (k < 0 || (us < 0.013 && v > us)) continue;
        if (std::log(v) + std::log(invalpha) - std::log(a / (us * us) + b) <=
            -mean + k * loglam - std::lgamma(k + 1))
            return static_cast<long>(k);
    }
}

Heart heart_of(const Options& o) {
    using G = Geometry;
    Heart h;
    h.ci = G::ci + o.shift_i;
    h.cj = G::cj + o.shift_j;
    h.ck = G::ck + o.shift_k;
    h.outer_ri = G::outer_ri * o.scale;
    h.outer_rj = G::outer_rj * o.scale;
    h.outer_rk = G::outer_rk * o.scale;
    h.inner_ri = h.outer_ri - o.wall;
    h.inner_rj = h.outer_rj - o.wall;
    h.inner_rk = h.outer_rk - o.wall;
    h.base_i = h.ci + o.base;
    // The territories' levels follow the program's rule: the apex level three quarters of
    // the way from the base to the tip, the apical ring from two thirds of that.
    const double span = h.ci + h.outer_ri - h.base_i;
    h.apex_i = h.base_i + span * 0.75;
    h.apical_i = h.base_i + span * 0.75 * 2.0 / 3.0;
    // The liver keeps its direction from the heart and its gap to the wall as the heart
    // grows or shrinks, unless it is moved nearer on purpose.
    const double oj = G::liver_cj - G::cj, ok = G::liver_ck - G::ck;
    const double len = std::sqrt(oj * oj + ok * ok);
    const double move = G::outer_rj * (o.scale - 1) - o.liver_near;
    h.liver_ci = h.ci + (G::liver_ci - G::ci);
    h.liver_cj = h.cj + (oj + move * oj / len);
    h.liver_ck = h.ck + (ok + move * ok / len);
    return h;
}

Model model_of(const Options& o) {
    const Heart h = heart_of(o);
    auto r = [](double v) { return static_cast<int>(std::lround(v)); };
    Model m;
    m.ell_ci = m.ill_ci = r(h.ci);
    m.ell_cj = m.ill_cj = r(h.cj);
    m.ell_ck = m.ill_ck = r(h.ck);
    m.ell_ri = r(h.outer_ri);
    m.ell_rj = r(h.outer_rj);
    m.ell_rk = r(h.outer_rk);
    m.ill_ri = r(h.inner_ri);
    m.ill_rj = r(h.inner_rj);
    m.ill_rk = r(h.inner_rk);
    m.plan_i = r(h.base_i);
    return m;
}

Model towards(const Model& truth, const Model& found) {
    const auto step = [](int t, int f) { return t + std::clamp(f - t, -1, 1); };
    const int apex = step(truth.ell_ci + truth.ell_ri, found.ell_ci + found.ell_ri);
    const int inner_apex = step(truth.ill_ci + truth.ill_ri, found.ill_ci + found.ill_ri);
    return {found.ell_ci, step(truth.ell_cj, found.ell_cj), step(truth.ell_ck, found.ell_ck),
            apex - found.ell_ci, step(truth.ell_rj, found.ell_rj), step(truth.ell_rk, found.ell_rk),
            found.ill_ci, step(truth.ill_cj, found.ill_cj), step(truth.ill_ck, found.ill_ck),
            inner_apex - found.ill_ci, step(truth.ill_rj, found.ill_rj), step(truth.ill_rk, found.ill_rk),
            step(truth.plan_i, found.plan_i)};
}

namespace {

// Volume of the part of an ellipsoid (semi-axes a along i, b, c) past a plane at d0 from its
// centre along i, towards +i: the integral of its section pi b c (1 - x^2 / a^2).
double cap_voxels(double a, double b, double c, double d0) {
    d0 = std::clamp(d0, -a, a);
    return kPi * b * c * ((a - d0) - (a * a * a - d0 * d0 * d0) / (3 * a * a));
}

double voxels_to_ml(double voxels) {
    const double mm = kFovMm / 256;
    return voxels * mm * mm * mm / 1000;
}

}  // namespace

Heart gate_heart(const Options& o, int gate) {
    Heart h = heart_of(o);
    if (o.gates < 2 || gate <= 0) return h;
    // A cosine over the cycle: 1 at end diastole (gate 0), es_ratio half-way.
    const double phase = 2 * kPi * gate / o.gates;
    const double across = 1 - (1 - o.es_ratio) * (1 - std::cos(phase)) / 2;
    const double along = 1 - 0.4 * (1 - across);
    const double d0 = h.base_i - h.ci;  // the base plane keeps its place relative to the centre
    const double myocardium = cap_voxels(h.outer_ri, h.outer_rj, h.outer_rk, d0) -
                              cap_voxels(h.inner_ri, h.inner_rj, h.inner_rk, d0);
    const double tip = h.ci + h.inner_ri;  // the apex's endocardium stays where it is
    const double ri = h.inner_ri * along, rj = h.inner_rj * across, rk = h.inner_rk * across;
    // The wall that keeps the myocardium's volume (it grows with the wall: bisection).
    double lo = 0, hi = 6 * o.wall + 20;
    for (int it = 0; it < 60; it++) {
        const double w = 0.5 * (lo + hi);
        (cap_voxels(ri + w, rj + w, rk + w, d0) - cap_voxels(ri, rj, rk, d0) < myocardium ? lo : hi) = w;
    }
    const double w = 0.5 * (lo + hi);
    const double move = tip - ri - h.ci;
    h.ci += move;
    h.base_i += move;
    h.apex_i += move;
    h.apical_i += move;
    h.inner_ri = ri, h.inner_rj = rj, h.inner_rk = rk;
    h.outer_ri = ri + w, h.outer_rj = rj + w, h.outer_rk = rk + w;
    return h;
}

double gate_cavity_ml(const Options& o, int gate) {
    const Heart h = gate_heart(o, gate);
    return voxels_to_ml(cap_voxels(h.inner_ri, h.inner_rj, h.inner_rk, h.base_i - h.ci));
}

bool default_geometry(const Options& o) {
    return o.shift_i == 0 && o.shift_j == 0 && o.shift_k == 0 && o.scale == 1 && o.wall == 8 && o.base == 0 &&
           o.fwhm == kFwhmMm && o.liver == 40 && o.liver_near == 0;
}

double cavity_ml(const Options& o) {
    const Heart h = heart_of(o);
    const double a = h.inner_ri, b = h.inner_rj, c = h.inner_rk;
    // The inner ellipsoid on the apex side of the base plane: the integral of its section
    // pi b c (1 - x^2 / a^2) from the plane to the tip.
    const double d0 = std::clamp(h.base_i - h.ci, -a, a);
    const double voxels = kPi * b * c * ((a - d0) - (a * a * a - d0 * d0 * d0) / (3 * a * a));
    const double mm = kFovMm / 256;
    return voxels * mm * mm * mm / 1000;
}

double scale_for_cavity(const Options& o, double ml) {
    Options t = o;
    double lo = 0.45, hi = 1.5;
    for (int it = 0; it < 60; it++) {
        t.scale = 0.5 * (lo + hi);
        // A wall that leaves no cavity counts as none.
        const double v = t.wall < Geometry::outer_rj * t.scale ? cavity_ml(t) : 0;
        (v < ml ? lo : hi) = t.scale;
    }
    t.scale = 0.5 * (lo + hi);
    return std::fabs(cavity_ml(t) - ml) <= 0.01 * ml ? t.scale : 0;
}

std::string kind_of(const Options& o) {
    std::string k;
    if (o.lad > 0) k += "LAD";
    if (o.lcx > 0) k += std::string(k.empty() ? "" : "+") + "LCX";
    if (o.rca > 0) k += std::string(k.empty() ? "" : "+") + "RCA";
    return k.empty() ? "NORMAL" : k;
}

bool latin1_of(const std::string& utf8, std::string& latin1) {
    return utf8_to_latin1_strict(utf8, latin1);
}

std::string check(const Options& o) {
    if (o.matrix != 64 && o.matrix != 128) return "the matrix must be 64 or 128";
    const int frames = o.frames == 0 ? o.matrix : o.frames;
    if (frames < 2 || frames > 512) return "the frame count must be 2 to 512";
    for (double d : {o.lad, o.lcx, o.rca})
        if (!(d >= 0 && d <= 100)) return "a defect depth must be 0 to 100 percent";
    if (!(o.counts > 0 && o.counts <= 20000)) return "the counts must be above 0 and at most 20000";
    for (double d : {o.shift_i, o.shift_j, o.shift_k})
        if (!(d >= -40 && d <= 40)) return "a shift must be -40 to 40 voxels";
    if (!(o.scale >= 0.45 && o.scale <= 1.5)) return "the size scale must be 0.45 to 1.5";
    if (!(o.wall >= 2 && o.wall <= Geometry::outer_rj * o.scale - 4))
        return "the wall must be at least 2 voxels thick and leave a cavity of 4";
    if (!(o.base >= -40 && o.base <= Geometry::outer_ri * o.scale - 20))
        return "the base must lie -40 voxels from the centre to 20 short of the tip";
    if (!(o.fwhm >= 1 && o.fwhm <= 40)) return "the resolution (FWHM) must be 1 to 40 mm";
    if (!(o.liver >= 0 && o.liver <= 400)) return "the liver's concentration must be 0 to 400 percent";
    if (!(o.liver_near >= -40 && o.liver_near <= 30)) return "the liver can be moved -40 to 30 voxels nearer";
    if (o.birth_date.size() != 8 || o.acq_date.size() != 8) return "dates are YYYYMMDD";
    if (o.sex.size() > 1 || o.age.size() != 4) return "the sex is one letter (or empty), the age like 058Y";
    if (o.name.size() > 64) return "the name is at most 64 characters";
    if (o.gates != 0 && (o.gates < 2 || o.gates > 32)) return "a gated study has 2 to 32 gates";
    if (o.gates != 0 && frames * o.gates > 4096) return "a gated study has at most 4096 frames in all";
    if (!(o.es_ratio >= 0.3 && o.es_ratio <= 1)) return "the end-systolic ratio must be 0.3 to 1";
    return "";
}

namespace {

// One volume of the phantom (the whole study, or one gate with its share of the counts).
std::vector<std::int16_t> make_volume(const Options& o, const Heart& h, double counts, std::uint64_t seed) {
    const int ech = o.matrix;
    const int ncz = o.frames == 0 ? ech : o.frames;
    const int rap = 256 / ech;
    // Sub-samples per source pixel and axis, so that the wall's partial volume is right (a
    // gated study has many volumes: fewer, the blur of 10 mm and more hiding the difference).
    const int sub = o.gates >= 2 ? (ech <= 64 ? 3 : 2) : ech <= 64 ? 4 : 2;
    std::vector<double> v(static_cast<std::size_t>(ncz) * ech * ech);
    // The loader puts source (frame f, row r, column q) at volume i = RAP r,
    // j = 255 - RAP (ech-1-q), k = 255 - RAP ((NCZ-1) + (ech-NCZ)/2 - f), so the phantom,
    // defined in volume voxels, is sampled there.
    const double frame_shift = (ncz - 1) + (ech - ncz) / 2.0;
    for (int f = 0; f < ncz; ++f) {
        for (int r = 0; r < ech; ++r) {
            for (int q = 0; q < ech; ++q) {
                double sum = 0;
                for (int a = 0; a < sub; ++a) {
                    const double ff = f + (a + 0.5) / sub - 0.5;
                    const double K = 255 - rap * (frame_shift - ff);
                    for (int b = 0; b < sub; ++b) {
                        const double I = rap * (r + (b + 0.5) / sub - 0.5);
                        for (int c = 0; c < sub; ++c) {
                            const double J = 255 - rap * (ech - 1 - (q + (c + 0.5) / sub - 0.5));
                            sum += object_at(o, h, I, J, K);
                        }
                    }
                }
                v[(static_cast<std::size_t>(f) * ech + r) * ech + q] = sum / (sub * sub * sub);
            }
        }
    }
    // Source voxels are cubes of kFovMm / ech.
    const double sigma = o.fwhm / (2 * std::sqrt(2 * std::log(2.0))) / (kFovMm / ech);
    for (int axis = 0; axis < 3; ++axis) blur_axis(v, ncz, ech, ech, axis, sigma);

    Rng rng(seed);
    std::vector<std::int16_t> out(v.size());
    for (std::size_t t = 0; t < v.size(); ++t) {
        const double mean = v[t] * counts;
        const long c = o.noise ? rng.poisson(mean) : std::lround(mean);
        out[t] = static_cast<std::int16_t>(std::clamp<long>(c, 0, 32767));
    }
    return out;
}

}  // namespace

std::vector<std::int16_t> make_phantom(const Options& o) {
    if (o.gates < 2) return make_volume(o, heart_of(o), o.counts, o.seed);
    std::vector<std::int16_t> out;
    for (int g = 0; g < o.gates; g++) {
        const std::vector<std::int16_t> one = make_volume(o, gate_heart(o, g), o.counts / o.gates, o.seed + 7919 * g);
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
}

std::vector<std::uint8_t> make_dicom(const Options& o, const std::vector<std::int16_t>& pixels) {
    const int ech = o.matrix;
    const int ncz = o.frames == 0 ? ech : o.frames;
    const std::string kind = kind_of(o);
    const std::string name = o.name.empty() ? "ANONYME^" + kind : o.name;
    char desc[160];
    std::snprintf(desc, sizeof desc, "%s m%d f%d lad%g lcx%g rca%g c%g n%d s%llu %s", kind.c_str(), ech, ncz,
                  o.lad, o.lcx, o.rca, o.counts, o.noise ? 1 : 0, static_cast<unsigned long long>(o.seed),
                  name.c_str());
    if (!o.phase.empty()) std::snprintf(desc + std::strlen(desc), sizeof desc - std::strlen(desc), " %s", o.phase.c_str());
    if (o.gates >= 2)
        std::snprintf(desc + std::strlen(desc), sizeof desc - std::strlen(desc), " gates %d es %g", o.gates, o.es_ratio);
    std::string described = desc;
    if (!default_geometry(o)) {
        char geo[200];
        std::snprintf(geo, sizeof geo, " shift %g,%g,%g scale %g wall %g base %g fwhm %g liver %g near %g", o.shift_i,
                      o.shift_j, o.shift_k, o.scale, o.wall, o.base, o.fwhm, o.liver, o.liver_near);
        described += geo;
    }
    const std::string study_uid = make_uid(std::string("study ") + described);
    const std::string series_uid = make_uid(std::string("series ") + described);
    const std::string instance_uid = make_uid(std::string("instance ") + described);
    const std::string nm_storage = "1.2.840.10008.5.1.4.1.1.20";
    const std::string spacing = format_mm(kFovMm / ech);

    DataSet meta;
    meta.add(0x0002, 0x0001, "OB", std::string("\0\1", 2));
    meta.add(0x0002, 0x0002, "UI", nm_storage);
    meta.add(0x0002, 0x0003, "UI", instance_uid);
    meta.add(0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");  // explicit VR little endian
    meta.add(0x0002, 0x0012, "UI", "2.25.190519660523181342701836524612290512339");
    meta.add(0x0002, 0x0013, "SH", "VESMORA_SAMPLE");

    DataSet ds;
    ds.add(0x0008, 0x0005, "CS", "ISO_IR 100");
    ds.add(0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY\\RECON TOMO\\EMISSION");
    ds.add(0x0008, 0x0016, "UI", nm_storage);
    ds.add(0x0008, 0x0018, "UI", instance_uid);
    ds.add(0x0008, 0x0020, "DA", o.acq_date);
    ds.add(0x0008, 0x0022, "DA", o.acq_date);
    ds.add(0x0008, 0x0030, "TM", "093000");
    ds.add(0x0008, 0x0032, "TM", "093000");
    ds.add(0x0008, 0x0050, "SH", "");
    ds.add(0x0008, 0x0060, "CS", "NM");
    ds.add(0x0008, 0x0070, "LO", "Vesmora sample generator");
    ds.add(0x0008, 0x0090, "PN", "");
    ds.add(0x0008, 0x1030, "LO", "Myocardial perfusion SPECT (phantom)");
    ds.add(0x0008, 0x103E, "LO",
           "LV phantom " + kind + " short axis" + (o.phase == "stress" ? " stress" : o.phase == "rest" ? " repos" : ""));
    ds.add(0x0010, 0x0010, "PN", name);
    ds.add(0x0010, 0x0020, "LO", o.patient_id.empty() ? "ANON-" + kind : o.patient_id);
    ds.add(0x0010, 0x0030, "DA", o.birth_date);
    ds.add(0x0010, 0x0040, "CS", o.sex);
    ds.add(0x0010, 0x1010, "AS", o.age);
    ds.add(0x0012, 0x0062, "CS", "YES");  // patient identity removed
    ds.add(0x0018, 0x0050, "DS", spacing);
    ds.add(0x0018, 0x0088, "DS", spacing);
    ds.add(0x0020, 0x000D, "UI", study_uid);
    ds.add(0x0020, 0x000E, "UI", series_uid);
    ds.add(0x0020, 0x0010, "SH", "1");
    ds.add(0x0020, 0x0011, "IS", "1");
    ds.add(0x0020, 0x0013, "IS", "1");
    ds.add_us(0x0028, 0x0002, 1);
    ds.add(0x0028, 0x0004, "CS", "MONOCHROME2");
    const int slots = o.gates >= 2 ? o.gates : 1;
    ds.add(0x0028, 0x0008, "IS", std::to_string(ncz * slots));
    if (slots > 1)  // Frame Increment Pointer: gate after gate (Time Slot Vector, 0054,0070), then slices
        ds.add(0x0028, 0x0009, "AT", std::string("\x54\x00\x70\x00\x54\x00\x80\x00", 8));
    else  // the frames follow the Slice Vector (0054,0080)
        ds.add(0x0028, 0x0009, "AT", std::string("\x54\x00\x80\x00", 4));
    ds.add_us(0x0028, 0x0010, static_cast<std::uint16_t>(ech));
    ds.add_us(0x0028, 0x0011, static_cast<std::uint16_t>(ech));
    ds.add(0x0028, 0x0030, "DS", spacing + "\\" + spacing);
    ds.add_us(0x0028, 0x0100, 16);
    ds.add_us(0x0028, 0x0101, 16);
    ds.add_us(0x0028, 0x0102, 15);
    ds.add_us(0x0028, 0x0103, 1);
    std::string slices, times;
    const auto push_us = [](std::string& to, int v) {
        to.push_back(static_cast<char>(v & 0xFF));
        to.push_back(static_cast<char>(v >> 8));
    };
    for (int g = 1; g <= slots; ++g)
        for (int f = 1; f <= ncz; ++f) {
            push_us(slices, f);
            push_us(times, g);
        }
    if (slots > 1) {
        ds.add(0x0054, 0x0070, "US", times);
        ds.add_us(0x0054, 0x0071, static_cast<std::uint16_t>(slots));
    }
    ds.add(0x0054, 0x0080, "US", slices);
    ds.add_us(0x0054, 0x0081, static_cast<std::uint16_t>(ncz));
    std::string block(pixels.size() * 2, '\0');
    for (std::size_t t = 0; t < pixels.size(); ++t) {
        const auto u = static_cast<std::uint16_t>(pixels[t]);
        block[2 * t] = static_cast<char>(u & 0xFF);
        block[2 * t + 1] = static_cast<char>(u >> 8);
    }
    // Pixel Data is the last element: the program reads the block from the end of the file.
    ds.add(0x7FE0, 0x0010, "OW", std::move(block));

    std::vector<std::uint8_t> out(132, 0);  // the preamble's 128 zeros, then the mark
    out[128] = 'D', out[129] = 'I', out[130] = 'C', out[131] = 'M';
    DataSet group_length;
    group_length.add_ul(0x0002, 0x0000, static_cast<std::uint32_t>(meta.size()));
    group_length.write(out);
    meta.write(out);
    ds.write(out);
    return out;
}

}  // namespace sample

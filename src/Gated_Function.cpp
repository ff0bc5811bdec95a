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

// ---- 2. the measure ------------------------------------------------------------------------

GatedFunction MEASURE_FUNCTION() {
    GatedFunction f;
    if (GATES.count < 2 || GATES.voxels.empty()) {
        f.reason = "L'\xE9tude n'est pas synchronis\xE9" "e : aucun intervalle \xE0 mesurer.";
        return f;
    }
    if (!ell_ok) {
        f.reason = "Aucun mod\xE8le n'est plac\xE9 : placez le ventricule avant de mesurer la fonction.";
        return f;
    }
    f.reason = "Mesure de la fonction non disponible dans cette version.";
    return f;
}

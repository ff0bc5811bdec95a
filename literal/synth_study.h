// A synthetic myocardium for the evaluation tests and benchmarks, written
// straight into `data`, and the model placed as "Centrer volume" places it.
//
// The study is an ellipsoidal shell around the default model's wall (mid-wall
// semi-axes 55, 35, 35 about the volume centre, about 12 voxels thick), with
// an uptake that varies around the long axis and along it, sampled on a
// matrix x matrix x matrix source grid and spread over the 256 cube by
// trilinear mixing, as a loaded 64 or 128 study is: smooth, 0..100, with the
// last source step of each axis left at 0. Header only: the benchmarks use it
// too.
#ifndef VESMORA_SYNTH_STUDY_H
#define VESMORA_SYNTH_STUDY_H

#include <algorithm>
#include <cmath>
#include <vector>

#include "Display.h"
#include "main.h"

namespace synth {

// Uptake at a point of the volume (voxel units).
inline float shell_uptake(double i, double j, double k) {
    const double di = (i - 128.0) / 55.0, dj = (j - 128.0) / 35.0, dk = (k - 128.0) / 35.0;
    const double rho = std::sqrt(di * di + dj * dj + dk * dk);
    const double wall = std::exp(-((rho - 1.0) * 38.0 / 6.0) * ((rho - 1.0) * 38.0 / 6.0));
    const double th = std::atan2(k - 128.0, j - 128.0);
    const double around = 0.75 + 0.25 * std::cos(th - 2.0) + 0.05 * std::sin(3.0 * th);
    const double along = 0.85 + 0.15 * std::cos((i - 128.0) / 40.0);
    return static_cast<float>(3.0 + 97.0 * wall * around * along);
}

// Fills `data` with the shell seen through a source matrix of `matrix` (64 or 128).
inline void fill_study(int matrix) {
    const int rap = 256 / matrix;
    std::vector<float> src(static_cast<std::size_t>(matrix) * matrix * matrix);
    for (int x = 0; x < matrix; x++)
        for (int y = 0; y < matrix; y++)
            for (int z = 0; z < matrix; z++)
                src[(static_cast<std::size_t>(x) * matrix + y) * matrix + z] =
                    shell_uptake(x * rap + 0.5 * (rap - 1), y * rap + 0.5 * (rap - 1), z * rap + 0.5 * (rap - 1));
    // Per-axis source step and weight of every volume index (-1: no sample).
    std::vector<int> lo(256);
    std::vector<float> fr(256);
    for (int v = 0; v < 256; v++) {
        const float pos = static_cast<float>(v) / static_cast<float>(rap);
        const int p0 = static_cast<int>(pos);
        lo[v] = p0 + 1 < matrix ? p0 : -1;
        fr[v] = pos - static_cast<float>(p0);
    }
    float top = 0;
    for (int i = 0; i < 256; i++)
        for (int j = 0; j < 256; j++)
            for (int k = 0; k < 256; k++) {
                float v = 0;
                if (lo[i] >= 0 && lo[j] >= 0 && lo[k] >= 0) {
                    for (int c = 0; c < 8; c++) {
                        const int x = lo[i] + (c >> 2), y = lo[j] + ((c >> 1) & 1), z = lo[k] + (c & 1);
                        const float w = ((c >> 2) ? fr[i] : 1 - fr[i]) * (((c >> 1) & 1) ? fr[j] : 1 - fr[j]) *
                                        ((c & 1) ? fr[k] : 1 - fr[k]);
                        v += w * src[(static_cast<std::size_t>(x) * matrix + y) * matrix + z];
                    }
                }
                data[i * 65536 + j * 256 + k] = v;
                top = std::max(top, v);
            }
    for (int x = 0; x < VOL_SIZE; x++) data[x] = std::clamp(data[x] * 100.0f / top, 0.0f, 100.0f);
    DATA_CHANGED();
}

// The state after a load and "Centrer volume" at the slices 128, 128, 128:
// default semi-axes, both centres and the base plane there, then the levels.
inline void place_default_model() {
    load_ok = 1;
    Nhla = Nvla = Nsa = 128;
    ell_ri = 80;
    ell_rj = 50;
    ell_rk = 50;
    ill_ri = 30;
    ill_rj = 20;
    ill_rk = 20;
    plan_i = ill_ci = ell_ci = 128;
    ell_cj = ill_cj = 128;
    ell_ck = ill_ck = 128;
    ell_ok = 1;
    EVAL_APEX();
}

}  // namespace synth

#endif

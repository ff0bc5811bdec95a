// A synthetic study, palettes and overlay colours for the slice-view tests and
// the DISPLAY benchmark (header only, so the benchmarks can use it as well).
#ifndef VESMORA_DISPLAY_STUDY_H
#define VESMORA_DISPLAY_STUDY_H

#include "main.h"

// Palettes whose three planes differ, so a swapped channel shows: step v of
// palette p is red 255 - v - p, green 2v + 1 (always odd, so never equal to an
// overlay colour, whose greens are all even), blue (v * 3 + 7 p) & 255.
inline void fill_test_palettes() {
    for (int p = 0; p < 16; p++)
        for (int v = 0; v <= 100; v++) {
            palette[p * 303 + v] = static_cast<unsigned char>((v * 3 + 7 * p) & 255);
            palette[p * 303 + 101 + v] = static_cast<unsigned char>(2 * v + 1);
            palette[p * 303 + 202 + v] = static_cast<unsigned char>(255 - v - p);
        }
}

// The fixed overlay table: a normal row and a pale row of (R, G, B).
inline void fill_overlay_colours() {
    static const unsigned char table[36] = {250, 250, 250, 0,   0,   0,   0,   0,   250, 0,   250, 0,
                                            250, 0,   0,   250, 250, 0,   150, 150, 150, 100, 100, 100,
                                            150, 150, 250, 150, 250, 150, 250, 150, 150, 250, 250, 200};
    for (int n = 0; n < 36; n++) couleurs[n] = table[n];
}

// An ellipsoidal shell of uptake inside a faint textured background: the wall
// lies between an outer ellipsoid (centre 120, 128, 132; semi-axes 72, 46, 44)
// and an inner one (centre 112, 128, 132; semi-axes 48, 26, 25), its value
// rising from 55 to 100 along k; the background is 5..24.8 in a diagonal
// texture. Values have fractions, so truncation shows. Sets load_ok and, as
// every writer of data must, calls DATA_CHANGED().
inline void fill_synthetic_study() {
    for (int i = 0; i < 256; i++) {
        const float oi = (i - 120) / 72.0f, ni = (i - 112) / 48.0f;
        for (int j = 0; j < 256; j++) {
            const float oj = (j - 128) / 46.0f, nj = (j - 128) / 26.0f;
            float* row = data + i * 65536 + j * 256;
            for (int k = 0; k < 256; k++) {
                const float ok = (k - 132) / 44.0f, nk = (k - 132) / 25.0f;
                const float outer = oi * oi + oj * oj + ok * ok;
                const float inner = ni * ni + nj * nj + nk * nk;
                if (outer <= 1.0f && inner >= 1.0f) {
                    float v = 55.0f + 45.0f * (k - 88) / 88.0f + 0.37f;
                    row[k] = v > 100.0f ? 100.0f : (v < 0.0f ? 0.0f : v);
                } else {
                    row[k] = 5.0f + static_cast<float>((i * 7 + j * 3 + k) % 23) * 0.9f;
                }
            }
        }
    }
    DATA_CHANGED();
    load_ok = 1;
}

// The model placed on the study as "Centrer volume" would, then moved a little.
inline void place_study_model() {
    ell_ok = 1;
    ell_ci = 120, ell_cj = 128, ell_ck = 132;
    ell_ri = 74, ell_rj = 48, ell_rk = 46;
    ill_ci = 110, ill_cj = 128, ill_ck = 132;
    ill_ri = 46, ill_rj = 24, ill_rk = 23;
    plan_i = 80;
    apex_i = 160;
    sect_i[0] = 80, sect_i[1] = 106, sect_i[2] = 133, sect_i[3] = 160, sect_i[4] = 194;
    Nhla = 132, Nvla = 128, Nsa = 140;
    set_ombre = 1;
}

#endif

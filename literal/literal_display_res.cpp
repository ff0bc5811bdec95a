// Literal transcription of DISPLAY_RES: every pixel computed step by step, the
// grid recomputed with its sines and cosines at every call. The baseline of
// bench_display_res and the reference of the tests of the fast version.
//
// Precision of each operation, as the C rules give it for these types: round()
// adds the double 0.5 to the widened float; the turn r, the scale g, z, A,
// alpha, beta, gamma, D and x are doubles; psi is a float (atan2f of the float
// A and x, minus r in double, rounded to float, stepped by 6.2831853 with a
// rounding to float at each step); sam_ang * psi is a float product, divided by
// 6.2831853 in double; the grid's d is a float, its angles float constants whose
// sines and cosines are taken in double.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "literal.h"
#include "main.h"

namespace {

// round(): add 0.5 and truncate toward zero; values past the int range saturate.
int lit_round(double x) {
    x += 0.5;
    if (!(x == x)) return 0;
    if (x >= 2147483647.0) return 2147483647;
    if (x <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(x);
}

void lit_put(int row, int col, int b, int g, int r) {
    unsigned char* px = BMPres + (row * 400 + col) * 3;
    px[0] = static_cast<unsigned char>(b);
    px[1] = static_cast<unsigned char>(g);
    px[2] = static_cast<unsigned char>(r);
}

void lit_put_pal(int row, int col, int v) {
    lit_put(row, col, palette[palet * 303 + v], palette[palet * 303 + 101 + v], palette[palet * 303 + 202 + v]);
}

void lit_grid(int b, int g, int r) {
    for (int k = 1; k <= 4; k++) {
        const int R = 45 * k;
        for (int t = 0; t < 2400; t++) {
            const double a = t * 6.2831853 / 2400;
            lit_put(static_cast<int>(std::cos(a) * R + 200.5), static_cast<int>(std::sin(a) * R + 200.5), b, g, r);
        }
    }
    for (int p = -1000; p < 1000; p++) {
        const float d = static_cast<float>(p * 200) / 1000.0f;
        const float ad = d < 0 ? -d : d;
        if (ad >= 45 && ad <= 90) {
            const float angles[2] = {0.7853982f, -0.7853982f};
            for (float a : angles)
                lit_put(static_cast<int>(std::sin(static_cast<double>(a)) * d + 200.5),
                    static_cast<int>(std::cos(static_cast<double>(a)) * d + 200.5), b, g, r);
        }
        if (ad >= 90 && ad <= 180) {
            const float angles[3] = {0.0f, 1.0471976f, 2.0943952f};
            for (float a : angles)
                lit_put(static_cast<int>(std::sin(static_cast<double>(a)) * d + 200.5),
                    static_cast<int>(std::cos(static_cast<double>(a)) * d + 200.5), b, g, r);
        }
    }
}

unsigned char lit_mask[400 * 400];

void lit_lateral() {
    const int ob = couleurs[couleur * 3 + 2], og = couleurs[couleur * 3 + 1], orr = couleurs[couleur * 3];
    for (int row = 0; row < 400; row++)
        for (int col = 0; col < 400; col++) lit_put_pal(row, col, 0);
    std::memset(lit_mask, 0, sizeof lit_mask);
    if (Tot_ang == 0) return;  // no turn can be formed
    const double r = res3D_ang * 6.2831853 / Tot_ang;

    double g = 300.0 / std::abs(ell_ri + ell_ci - plan_i);
    if (g > 150.0 / ell_rj) g = 150.0 / ell_rj;
    if (g > 150.0 / ell_rk) g = 150.0 / ell_rk;
    const bool surface = g > 0 && std::isfinite(g);

    int C[5] = {0, 0, 0, 0, 0};
    const int K = (3 * sam_ax) / 4, L = sam_ax / 4;
    if (surface) {
        for (int e = 0; e < 5; e++) C[e] = lit_round((sect_i[e] - plan_i) * g) + 80;
        for (int s = 0; s < 400; s++) {
            for (int col = 80; col < 400; col++) {
                const double z = plan_i + (col - 80) / g;
                double w;
                if (z <= apex_i)
                    w = K * (z - plan_i) / (apex_i - plan_i) + 0.5;
                else
                    w = L * (z - apex_i) / (ell_ri + ell_ci - apex_i) + K + 0.5;
                if (!(w > -1.0 && w < sam_ax)) continue;
                const int o = static_cast<int>(w);
                const double A = (s - 200) / g;
                const int rj2 = ell_rj * ell_rj, rk2 = ell_rk * ell_rk, ri2 = ell_ri * ell_ri;
                const double alpha = std::cos(r) * std::cos(r) / rj2 + std::sin(r) * std::sin(r) / rk2;
                const double beta = 2 * A * std::sin(r) * std::cos(r) * (1.0 / rj2 - 1.0 / rk2);
                const double gamma = A * A * (std::sin(r) * std::sin(r) / rj2 + std::cos(r) * std::cos(r) / rk2) +
                                     (z - ell_ci) * (z - ell_ci) / ri2 - 1;
                const double D = beta * beta - 4 * alpha * gamma;
                if (!(D >= 0)) continue;
                const double x = (-beta + std::sqrt(D)) / (2 * alpha);
                float psi = static_cast<float>(std::atan2(static_cast<float>(A), static_cast<float>(x)) - r);
                while (psi < 0) psi = static_cast<float>(psi + 6.2831853);
                while (psi >= 6.2831853) psi = static_cast<float>(psi - 6.2831853);
                const double wm = sam_ang * psi / 6.2831853 + 0.5;
                if (!(wm == wm)) continue;
                const int m = static_cast<int>(wm);
                int h = sam_ang - m - 1;
                if (h < 0) h = 0;
                if (h > sam_ang - 1) h = sam_ang - 1;
                int v = lit_round(SAMPLE[o * 480 + h]);
                if (v < 1) v = 1;
                if (v > 100) v = 100;
                lit_put_pal(s, col, v);
                lit_mask[s * 400 + col] = 1;
                if (h % (sam_ang / 4) == sam_ang / 8 && C[2] <= col && col <= C[3]) lit_put(s, col, ob, og, orr);
                if (h % (sam_ang / 6) == 0 && C[0] <= col && col <= C[2]) lit_put(s, col, ob, og, orr);
            }
        }
        for (int e = 0; e < 4; e++) {
            const int c = C[e];
            if (c < 0 || c > 399) continue;
            for (int s = 0; s < 400; s++) {
                if (s >= 343 && c <= 56) continue;
                if (lit_mask[s * 400 + c]) lit_put(s, c, ob, og, orr);
            }
        }
    }
    for (int q = 0; q <= 10; q++) {
        const double a = -2 * res3D_ang * 3.14159265 / Tot_ang + 1.570796325;
        lit_put(static_cast<int>(std::cos(a) * q + 200.5), static_cast<int>(std::sin(a) * q + 27.5), ob, og, orr);
    }
}

}  // namespace

int literal_DISPLAY_RES() {
    if (res_ok != 0) {
        const int ob = couleurs[couleur * 3 + 2], og = couleurs[couleur * 3 + 1], orr = couleurs[couleur * 3];
        char text[64];
        if (RES_DISP == 0) {
            for (int row = 0; row < 400; row++)
                for (int col = 0; col < 400; col++) {
                    int v = lit_round(BULL[row * 400 + col]);
                    if (v < 0) v = 0;
                    if (v > 100) v = 100;
                    lit_put_pal(row, col, v);
                }
            lit_grid(ob, og, orr);
        } else if (RES_DISP == 1) {
            for (int row = 0; row < 400; row++)
                for (int col = 0; col < 400; col++) {
                    const int n = mesh_sect[row * 400 + col];
                    int v = 0;
                    if (n >= 1) {
                        v = lit_round(SECTEUR[n]);
                        if (v < 0) v = 0;
                        if (v > 100) v = 100;
                    }
                    lit_put_pal(row, col, v);
                }
            for (int n = 1; n <= 17; n++) {
                std::snprintf(text, sizeof text, "%d", lit_round(SECTEUR[n]));
                std::strcat(text, " %");
                plat_set_dlg_item_text(winsect[n], 40, text);
            }
            lit_grid(0, 0, 0);
        } else if (RES_DISP == 12) {
            for (int row = 0; row < 400; row++)
                for (int col = 0; col < 400; col++) {
                    const int n = mesh_sect[row * 400 + col];
                    int v = 0;
                    if (n >= 1) {
                        v = 100 - 20 * SCORE[n];
                        if (v < 0) v = 0;
                        if (v > 100) v = 100;
                    }
                    lit_put_pal(row, col, v);
                }
            for (int n = 1; n <= 17; n++) {
                std::snprintf(text, sizeof text, "[%d]  %d", n, SCORE[n]);
                plat_set_dlg_item_text(winsect[n], 40, text);
            }
            lit_grid(0, 0, 0);
        } else if (RES_DISP == 2) {
            lit_lateral();
        }
    }
    plat_delete_bitmap(bmpres);
    bmpres = plat_create_bitmap(WINDOW, &bmpinfo_, BMPres);
    plat_set_image(STATICres, bmpres);
    return 0;
}

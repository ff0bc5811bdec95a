// Drawing: the palette bar, the slice views with their strips and the model
// drawn over them, the limits of the model, the polar sector map, the apex and
// ring levels, and the result pictures.
//
// Sections (each owns its block; helpers used by one section stay inside it):
//   1. palette bar             CREATE_PALBMP
//   2. slice views             DISPLAY, VERIF_DISP, EVAL_DIST (+ model overlays)
//   3. polar sector map        INIT_SECT
//   4. apex and ring levels    EVAL_APEX, EVAL_SECT
//   5. result pictures         DISPLAY_RES
#include "Display.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "main.h"

// =============================================================================================
// 1. Palette bar
// =============================================================================================
int CREATE_PALBMP() {
    const unsigned char* pal = palette + palet * 303;  // planes blue, green, red
    const unsigned char* grid = couleurs + couleur * 3;  // normal shade, R, G, B
    for (int y = 0; y < 56; y++) {
        unsigned char* line = BMPpal + y * 220 * 3;
        for (int x = 0; x < 220; x++) {
            // Column x shows step x * 100 / 220 (0..99): step 100 never appears.
            const int s = static_cast<int>(x * 100.0 / 220.0);
            unsigned char b = pal[s], g = pal[101 + s], r = pal[202 + s];
            if (y % 14 == 0 || x % 22 == 0) {  // a line every ten steps, and every 14 rows
                r = grid[0];
                g = grid[1];
                b = grid[2];
            }
            if (y == 0 || y == 55 || x == 0 || x == 219) r = g = b = 0;  // the frame wins over the grid
            line[x * 3] = b;
            line[x * 3 + 1] = g;
            line[x * 3 + 2] = r;
        }
    }
    HWND_ ctl = plat_get_dlg_item(WINDOW, 60);
    plat_delete_bitmap(bmppal);
    bmppal = plat_create_bitmap(WINDOW, &bmpinfo_p, BMPpal);
    plat_set_image(ctl, bmppal);
    return 0;
}

// =============================================================================================
// 2. Slice views, strips, model overlays, limits of the model
// =============================================================================================
float EVAL_DIST(int i, int j, int k) {
    // TODO(views)
    (void)i;
    (void)j;
    (void)k;
    return 0.0f;
}

int DISPLAY() {
    // TODO(views): views, strips, overlays, hand-over of the six pictures.
    return 0;
}

int VERIF_DISP() {
    // TODO(views): limits of the slices and of the model, then EVAL_SECT and DISPLAY.
    return 0;
}

// =============================================================================================
// 3. Polar sector map
// =============================================================================================
int INIT_SECT() {
    // Angles counter-clockwise from the right, rows counting upwards; pi is
    // 3.14159265, so the single-precision angle pi on the left radius lies just
    // above it and that radius belongs to the lower-left sectors.
    const double PI3 = 1.04719755, PI23 = 2.0943951, PI = 3.14159265, PI43 = 4.1887902, PI53 = 5.23598775,
                 PI2 = 6.2831853;
    const double PI4 = 0.7853981625, PI34 = 2.3561944875, PI54 = 3.9269908125, PI74 = 5.4977871375;
    for (int row = 0; row < 400; row++) {
        for (int col = 0; col < 400; col++) {
            const int y = row - 200, x = col - 200;
            const float rho = std::sqrt(static_cast<float>(y * y + x * x)) / 180.0f;
            float th = std::atan2(static_cast<float>(y), static_cast<float>(x));
            while (th < 0) th = static_cast<float>(th + PI2);
            int n;
            if (rho > 1) {
                n = 0;
            } else if (rho <= 0.25) {
                n = 17;
            } else if (rho <= 0.5) {
                n = 16;
                if (th >= PI4 && th < PI34)
                    n -= 3;
                else if (th >= PI34 && th < PI54)
                    n -= 2;
                else if (th >= PI54 && th < PI74)
                    n -= 1;
            } else {
                n = rho <= 0.75 ? 12 : 6;
                if (th >= PI3 && th < PI23)
                    n -= 5;
                else if (th >= PI23 && th < PI)
                    n -= 4;
                else if (th >= PI && th < PI43)
                    n -= 3;
                else if (th >= PI43 && th < PI53)
                    n -= 2;
                else if (th >= PI53 && th < PI2)
                    n -= 1;
            }
            mesh_sect[row * 400 + col] = n;
        }
    }
    return 0;
}

// =============================================================================================
// 4. Apex and ring levels
// =============================================================================================
int EVAL_APEX() {
    // The apex sits three quarters of the way from the base plane to the tip.
    amplii = ell_ri + ell_ci - plan_i;
    apex_i = static_cast<int>(plan_i + 0.75 * amplii);
    EVAL_SECT();
    return 0;
}

int EVAL_SECT() {
    // d in single precision: with the apex beyond the base it is negative and
    // the levels then rise from entry 0 to entry 4.
    const float d = static_cast<float>(plan_i - apex_i) / 3.0f;
    sect_i[0] = plan_i;
    sect_i[1] = static_cast<int>(static_cast<float>(plan_i) - d);
    sect_i[2] = static_cast<int>(static_cast<float>(plan_i) - 2.0f * d);
    sect_i[3] = apex_i;
    sect_i[4] = ell_ri + ell_ci;
    WRITE_LOGFILE("Secteurs\n");
    for (int e = 0; e < 5; e++) {
        std::snprintf(chaine, CHAINE_SIZE, "%d\n", sect_i[e]);
        WRITE_LOGFILE(chaine);
    }
    return 0;
}

// =============================================================================================
// 5. Result pictures
// =============================================================================================
namespace {

// round(): add 0.5 (in double: a float value is widened first) and truncate
// toward zero. Values past the int range saturate and NaN gives 0, so a
// damaged table can only give a wrong colour, never undefined behaviour.
inline int res_round(double x) {
    x += 0.5;
    if (!(x == x)) return 0;
    if (x >= 2147483647.0) return 2147483647;
    if (x <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(x);
}

// round() limited to lo..hi (lo >= 0), decided in double: below lo after
// adding 0.5 truncates to lo or less, at hi or above to hi or more; NaN gives lo.
inline int res_round_clamped(double x, int lo, int hi) {
    const double y = x + 0.5;
    if (!(y >= lo)) return lo;
    if (y >= hi) return hi;
    return static_cast<int>(y);
}

struct Bgr {
    unsigned char b, g, r;
};

inline Bgr pal_colour(int v) {
    const unsigned char* p = palette + palet * 303;
    return Bgr{p[v], p[101 + v], p[202 + v]};
}

inline Bgr overlay_colour() {
    const unsigned char* c = couleurs + couleur * 3;  // R, G, B
    return Bgr{c[2], c[1], c[0]};
}

inline void res_put(int idx, Bgr c) {
    unsigned char* px = BMPres + idx * 3;
    px[0] = c.b;
    px[1] = c.g;
    px[2] = c.r;
}

// The grid of pictures 0, 1 and 12 depends on nothing but constants: its pixels
// are found once (with the same sines and cosines as the literal drawing) and
// kept as a list without repeats; every later call only paints them.
int grid_idx[4 * 2400 + 2000 * 5];
int grid_count = -1;

void build_grid() {
    static unsigned char seen[400 * 400];
    std::memset(seen, 0, sizeof seen);
    int n = 0;
    auto add = [&n](int row, int col) {
        const int idx = row * 400 + col;
        if (!seen[idx]) {
            seen[idx] = 1;
            grid_idx[n++] = idx;
        }
    };
    // Ring circles of radius 45, 90, 135 and 180.
    for (int k = 1; k <= 4; k++) {
        const int R = 45 * k;
        for (int t = 0; t < 2400; t++) {
            const double a = t * 6.2831853 / 2400;
            add(static_cast<int>(std::cos(a) * R + 200.5), static_cast<int>(std::sin(a) * R + 200.5));
        }
    }
    // Spokes: the apical ones (45 and 135 degrees) from radius 45 to 90, the
    // others (0, 60, 120 degrees) from 90 to 180; d runs -200..199.8 by 0.2.
    for (int p = -1000; p < 1000; p++) {
        const float d = static_cast<float>(p * 200) / 1000.0f;
        const float ad = d < 0 ? -d : d;
        if (ad >= 45 && ad <= 90) {
            const float angles[2] = {0.7853982f, -0.7853982f};
            for (float a : angles)
                add(static_cast<int>(std::sin(a) * d + 200.5), static_cast<int>(std::cos(a) * d + 200.5));
        }
        if (ad >= 90 && ad <= 180) {
            const float angles[3] = {0.0f, 1.0471976f, 2.0943952f};
            for (float a : angles)
                add(static_cast<int>(std::sin(a) * d + 200.5), static_cast<int>(std::cos(a) * d + 200.5));
        }
    }
    grid_count = n;
}

void draw_grid(Bgr c) {
    if (grid_count < 0) build_grid();
    for (int i = 0; i < grid_count; i++) res_put(grid_idx[i], c);
}

// Picture 0: the bull's-eye values in the palette.
void draw_bull() {
    Bgr lut[101];
    for (int v = 0; v <= 100; v++) lut[v] = pal_colour(v);
    for (int idx = 0; idx < 400 * 400; idx++) res_put(idx, lut[res_round_clamped(BULL[idx], 0, 100)]);
}

// Pictures 1 and 12: every pixel takes the colour of its sector (colour 0 outside).
void draw_sector_map(const Bgr (&colour)[18]) {
    for (int idx = 0; idx < 400 * 400; idx++) {
        const int n = mesh_sect[idx];
        res_put(idx, colour[n >= 1 && n <= 17 ? n : 0]);
    }
}

unsigned char res_mask[400 * 400];  // surface pixels of the lateral view

// Ray-table column m of an angle t = atan2f(A, x) of the lateral view, exactly
// step by step: psi = t - r in single precision, brought into 0..2pi by steps
// of 6.2831853 rounded to single precision, m = round(sam_ang * psi / 6.2831853).
inline int lateral_m(float t, double r) {
    float psi = static_cast<float>(t - r);
    while (psi < 0) psi = static_cast<float>(psi + 6.2831853);
    while (psi >= 6.2831853) psi = static_cast<float>(psi - 6.2831853);
    const double wm = sam_ang * psi / 6.2831853 + 0.5;
    return wm == wm ? static_cast<int>(wm) : -1;
}

// atan2(y, x) in double to within 1e-7 (x, y finite, not both 0), with one
// division: the first octant angle atan(ay / ax) is taken as atan(u) with
// |u| <= tan(pi/8) (u = ay / ax, or -ax / ay from pi/2, or (ay - ax) / (ay + ax)
// from pi/4) and the odd series of atan up to u^15 (remainder below u^17 / 17 < 2e-8).
inline double near_atan2(double y, double x) {
    const double ax = x < 0 ? -x : x, ay = y < 0 ? -y : y;
    double u, t;
    if (ay <= 0.41421356237309503 * ax) {
        u = ay / ax;
        t = 0.0;
    } else if (ax <= 0.41421356237309503 * ay) {
        u = -ax / ay;
        t = 1.5707963267948966;
    } else {
        u = (ay - ax) / (ay + ax);
        t = 0.78539816339744831;
    }
    // The series in u^2 = z, grouped by pairs (Estrin) so that its terms are
    // formed side by side rather than one after the other.
    const double z = u * u, z2 = z * z, z4 = z2 * z2;
    const double p01 = 1.0 - z * (1.0 / 3), p23 = 1.0 / 5 - z * (1.0 / 7);
    const double p45 = 1.0 / 9 - z * (1.0 / 11), p67 = 1.0 / 13 - z * (1.0 / 15);
    t += u * ((p01 + z2 * p23) + z4 * (p45 + z2 * p67));
    if (x < 0) t = 3.1415926535897931 - t;
    return y < 0 ? -t : t;
}

// How far the single-precision chain of lateral_m may stray from the same
// chain in double, for one turn r: atan2f within 1e-5 of the true angle (glibc
// keeps it within a few units in the last place, below 1e-6), near_atan2 within
// 1e-7, each of at most k + 2 roundings to single precision within one unit in
// the last place of |r| + 11, the product sam_ang * psi within one part in 2^23.
struct LateralBounds {
    double r;
    double r_red;       // r brought into 0..6.2831853 in double
    double margin_psi;  // radians, on psi after its normalisation
    double margin_w;    // on sam_ang * psi / 6.2831853 + 0.5
    double to_w;        // sam_ang / 6.2831853
};

LateralBounds lateral_bounds(double r) {
    LateralBounds b;
    b.r = r;
    b.r_red = r - 6.2831853 * std::floor(r / 6.2831853);
    if (!(b.r_red >= 0.0 && b.r_red < 6.2831853)) b.r_red = 0.0;  // only for a turn past any use
    const double mag = (r < 0 ? -r : r) + 11.0;
    const double steps = std::ceil(mag / 6.2831853) + 2.0;
    b.margin_psi = 1.1e-5 + steps * mag * 1.2e-7;
    b.margin_w = (sam_ang * b.margin_psi + sam_ang * 6.3 * 1.2e-7) / 6.2831853 + 1e-9;
    b.to_w = sam_ang / 6.2831853;
    return b;
}

// The column m for atan2f(A, x), without calling atan2f where it cannot matter:
// the same chain is followed in double from near_atan2, and when its result lies
// farther than the bounds above from every place where the single-precision
// chain could take another turn (a normalisation step more or less, or the next
// integer of m), both chains give the same m. Otherwise (a fraction of a percent
// of the pixels at the usual turns) the chain itself runs on atan2f.
inline int lateral_m_fast(float Af, float xf, const LateralBounds& b) {
    if (!(xf == xf) || (Af == 0.0f && xf == 0.0f) || xf > 3.0e38f || xf < -3.0e38f)
        return lateral_m(std::atan2(Af, xf), b.r);
    // The angle lies in -pi..pi and r_red in 0..2pi: at most two steps up.
    double psi = near_atan2(Af, xf) - b.r_red;
    psi += psi < 0 ? 6.2831853 : 0.0;
    psi += psi < 0 ? 6.2831853 : 0.0;
    if (psi > b.margin_psi && psi < 6.2831853 - b.margin_psi) {
        const double w = psi * b.to_w + 0.5;  // 0.5..sam_ang + 0.5: truncation is floor
        const int m = static_cast<int>(w);
        const double frac = w - m;
        if (frac > b.margin_w && frac < 1.0 - b.margin_w) return m;
    }
    return lateral_m(std::atan2(Af, xf), b.r);
}

// Picture 2: the outer ellipsoid seen from the side, turned by res3D_ang.
// The arithmetic is that of the literal drawing, term for term and in the same
// order (double precision, the angle psi in single precision); only terms that
// depend on the row alone or the column alone are taken out of the pixel loop.
void draw_lateral() {
    const Bgr ov = overlay_colour();
    // Background: one line in palette colour 0, copied to the 400 lines.
    const Bgr bg = pal_colour(0);
    for (int col = 0; col < 400; col++) res_put(col, bg);
    for (int row = 1; row < 400; row++) std::memcpy(BMPres + row * 1200, BMPres, 1200);
    std::memset(res_mask, 0, sizeof res_mask);
    if (Tot_ang == 0) return;  // no turn can be formed: background only
    const double r = res3D_ang * 6.2831853 / Tot_ang;

    // Scale: base-to-tip over at most 300 pixels, each transverse semi-axis over at most 150.
    const int span = ell_ri + ell_ci - plan_i;
    double g = 300.0 / (span < 0 ? -span : span);
    if (g > 150.0 / ell_rj) g = 150.0 / ell_rj;
    if (g > 150.0 / ell_rk) g = 150.0 / ell_rk;
    // A model never placed (all semi-axes and the base-to-tip distance 0) has
    // no surface to show; only the needle is drawn.
    if (g > 0 && std::isfinite(g)) {
        int C[5];
        for (int e = 0; e < 5; e++) C[e] = res_round((sect_i[e] - plan_i) * g) + 80;
        const int K = (3 * sam_ax) / 4, L = sam_ax / 4;
        const int rj2 = ell_rj * ell_rj, rk2 = ell_rk * ell_rk, ri2 = ell_ri * ell_ri;
        const double cr = std::cos(r), sr = std::sin(r);
        const double alpha = cr * cr / rj2 + sr * sr / rk2;
        const double a4 = 4 * alpha, a2 = 2 * alpha;
        const double diff = 1.0 / rj2 - 1.0 / rk2;
        const double S = sr * sr / rj2 + cr * cr / rk2;
        const int quarter = sam_ang / 4, eighth = sam_ang / 8, sixth = sam_ang / 6;
        const LateralBounds bounds = lateral_bounds(r);
        const int n_ang = sam_ang;  // kept in a register across the byte stores
        Bgr lut[101];
        for (int v = 0; v <= 100; v++) lut[v] = pal_colour(v);

        // Per column: ray-table row o (or none), the level term of gamma, the boundary ranges.
        int col_o[400];
        double col_T[400];
        unsigned char col_apical[400], col_basal[400];
        int first = -1, last = -1;
        for (int col = 80; col < 400; col++) {
            col_o[col] = -1;
            const double z = plan_i + (col - 80) / g;
            double w;
            if (z <= apex_i)
                w = K * (z - plan_i) / (apex_i - plan_i) + 0.5;
            else
                w = L * (z - apex_i) / (ell_ri + ell_ci - apex_i) + K + 0.5;
            // A row outside the table, or one that cannot be formed (apex on the
            // base plane or on the tip), is skipped.
            if (!(w > -1.0 && w < sam_ax)) continue;
            col_o[col] = static_cast<int>(w);
            col_T[col] = (z - ell_ci) * (z - ell_ci) / ri2;
            col_apical[col] = C[2] <= col && col <= C[3];
            col_basal[col] = C[0] <= col && col <= C[2];
            if (first < 0) first = col;
            last = col;
        }

        // Per row: the transverse position and the terms of beta and gamma it fixes.
        double row_beta[400], row_b2[400], row_AAS[400];
        float row_Af[400];
        for (int s = 0; s < 400; s++) {
            const double A = (s - 200) / g;
            row_beta[s] = 2 * A * sr * cr * diff;
            row_b2[s] = row_beta[s] * row_beta[s];
            row_AAS[s] = A * A * S;
            row_Af[s] = static_cast<float>(A);
        }

        // Column by column, so that one column reads one row of the ray table.
        for (int col = first; first >= 0 && col <= last; col++) {
            const int o = col_o[col];
            if (o < 0) continue;
            const float* ray = SAMPLE + o * 480;
            const double T = col_T[col];
            const bool apical = col_apical[col], basal = col_basal[col];
            for (int s = 0; s < 400; s++) {
                const double gamma = row_AAS[s] + T - 1;
                const double D = row_b2[s] - a4 * gamma;
                if (!(D >= 0)) continue;  // off the ellipsoid (or not a number)
                const double x = (-row_beta[s] + std::sqrt(D)) / a2;
                const int m = lateral_m_fast(row_Af[s], static_cast<float>(x), bounds);
                if (m < 0) continue;  // not a number
                int h = n_ang - m - 1;
                if (h < 0) h = 0;
                if (h > n_ang - 1) h = n_ang - 1;
                const int idx = s * 400 + col;
                res_put(idx, lut[res_round_clamped(ray[h], 1, 100)]);
                res_mask[idx] = 1;
                // Sector boundaries on the surface: apical ones at odd multiples of
                // pi/4, basal and mid ones at multiples of pi/3.
                if ((h % quarter == eighth && apical) || (h % sixth == 0 && basal)) res_put(idx, ov);
            }
        }

        // Level lines on the surface (not the tip).
        for (int e = 0; e < 4; e++) {
            const int c = C[e];
            if (c < 0 || c > 399) continue;
            for (int s = 0; s < 400; s++) {
                if (s >= 343 && c <= 56) continue;
                if (res_mask[s * 400 + c]) res_put(s * 400 + c, ov);
            }
        }
    }

    // Orientation needle, 11 pixels from row 200, column 27.
    const double a = -2 * res3D_ang * 3.14159265 / Tot_ang + 1.570796325;
    for (int q = 0; q <= 10; q++)
        res_put(static_cast<int>(std::cos(a) * q + 200.5) * 400 + static_cast<int>(std::sin(a) * q + 27.5), ov);
}

}  // namespace

int DISPLAY_RES() {
    // Before the first evaluation (and after a load) the buffer is handed over as it is.
    if (res_ok != 0) {
        char text[64];
        if (RES_DISP == 0) {
            draw_bull();
            draw_grid(overlay_colour());
        } else if (RES_DISP == 1) {
            Bgr colour[18];
            colour[0] = pal_colour(0);
            for (int n = 1; n <= 17; n++) colour[n] = pal_colour(res_round_clamped(SECTEUR[n], 0, 100));
            draw_sector_map(colour);
            for (int n = 1; n <= 17; n++) {
                std::snprintf(text, sizeof text, "%d", res_round(SECTEUR[n]));
                std::strcat(text, " %");
                plat_set_dlg_item_text(winsect[n], 40, text);
            }
            draw_grid(Bgr{0, 0, 0});
        } else if (RES_DISP == 12) {
            Bgr colour[18];
            colour[0] = pal_colour(0);
            // Score 0..4 gives the steps 100, 80, 60, 40, 20; a score out of
            // range is kept within the palette rather than read past it.
            for (int n = 1; n <= 17; n++) {
                const int sc = SCORE[n] < -5 ? -5 : SCORE[n] > 5 ? 5 : SCORE[n];
                const int v = 100 - 20 * sc;
                colour[n] = pal_colour(v < 0 ? 0 : v > 100 ? 100 : v);
            }
            draw_sector_map(colour);
            for (int n = 1; n <= 17; n++) {
                std::snprintf(text, sizeof text, "[%d]  %d", n, SCORE[n]);
                plat_set_dlg_item_text(winsect[n], 40, text);
            }
            draw_grid(Bgr{0, 0, 0});
        } else if (RES_DISP == 2) {
            draw_lateral();
        }
    }
    plat_delete_bitmap(bmpres);
    bmpres = plat_create_bitmap(WINDOW, &bmpinfo_, BMPres);
    plat_set_image(STATICres, bmpres);
    return 0;
}

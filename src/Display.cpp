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
    // TODO(palettes): draw the bar for palet and couleur and hand it to control 60.
    return 0;
}

// =============================================================================================
// 2. Slice views, strips, model overlays, limits of the model
// =============================================================================================
namespace {

constexpr int VIEW_HLA = 0;
constexpr int VIEW_VLA = 1;
constexpr int VIEW_SA = 2;

// Truncation toward zero of a shown value; values beyond +-1e6 (never met in a
// loaded volume) and NaN are first brought to +-1e6, where the truncation is defined.
inline int trunc_value(float f) {
    f = f > -1.0e6f ? f : -1.0e6f;  // NaN lands here too
    f = f < 1.0e6f ? f : 1.0e6f;
    return static_cast<int>(f);
}

inline int trunc_double(double f) {
    if (f >= 1.0e6) return 1000000;
    if (!(f > -1.0e6)) return -1000000;
    return static_cast<int>(f);
}

inline int iabs(int v) { return v < 0 ? -v : v; }

inline void put_rgb(unsigned char* px, int r, int g, int b) {
    px[0] = static_cast<unsigned char>(b);
    px[1] = static_cast<unsigned char>(g);
    px[2] = static_cast<unsigned char>(r);
}

// Colour `couleur` in shade row 0 (normal) or 1 (held).
struct Shade {
    unsigned char r, g, b;
};

Shade shade_of(int held) {
    const int n = ((held ? 1 : 0) * 6 + couleur) * 3;
    return Shade{couleurs[n], couleurs[n + 1], couleurs[n + 2]};
}

inline void put_shade(unsigned char* pic, int x, int y, Shade c) { put_rgb(pic + y * 768 + x * 3, c.r, c.g, c.b); }

// The outline angles are the same at every call: a = n * 3.1415 / 1200 in
// single precision, its cosine and sine in double.
struct OutlineTable {
    double cs[2400];
    double sn[2400];
};

const OutlineTable& outline_table() {
    static const OutlineTable table = [] {
        OutlineTable t{};
        for (int n = 0; n < 2400; n++) {
            const float a = static_cast<float>(n * 3.1415 / 1200);
            t.cs[n] = std::cos(static_cast<double>(a));
            t.sn[n] = std::sin(static_cast<double>(a));
        }
        return t;
    }();
    return table;
}

// The three terms of EVAL_DIST, one per axis, each exactly the quotient EVAL_DIST forms.
struct DistTerms {
    float ti[256], tj[256], tk[256];
};

void fill_dist_terms(DistTerms& t) {
    const float ri2 = static_cast<float>(ell_ri * ell_ri);
    const float rj2 = static_cast<float>(ell_rj * ell_rj);
    const float rk2 = static_cast<float>(ell_rk * ell_rk);
    for (int n = 0; n < 256; n++) {
        t.ti[n] = static_cast<float>((n - ell_ci) * (n - ell_ci)) / ri2;
        t.tj[n] = static_cast<float>((n - ell_cj) * (n - ell_cj)) / rj2;
        t.tk[n] = static_cast<float>((n - ell_ck) * (n - ell_ck)) / rk2;
    }
}

// Where a view takes its voxels and what it shows over them.
struct ViewGeom {
    const float* base;  // voxel of pixel (0, 0)
    int sx, sy;         // element steps along x and along y
    int line_row, line_col;
    int ox, oy, ix, iy;  // outer and inner centre markers
};

ViewGeom geom_of(int view) {
    ViewGeom g{};
    if (view == VIEW_HLA) {  // (i = y, j = x, k = Nhla)
        g.base = data + Nhla;
        g.sx = 256;
        g.sy = 65536;
        g.line_row = Nsa;
        g.line_col = Nvla;
        g.ox = ell_cj, g.oy = ell_ci, g.ix = ill_cj, g.iy = ill_ci;
    } else if (view == VIEW_VLA) {  // (i = x, j = Nvla, k = y)
        g.base = data + Nvla * 256;
        g.sx = 65536;
        g.sy = 1;
        g.line_row = Nhla;
        g.line_col = Nsa;
        g.ox = ell_ci, g.oy = ell_ck, g.ix = ill_ci, g.iy = ill_ck;
    } else {  // (i = Nsa, j = x, k = y)
        g.base = data + Nsa * 65536;
        g.sx = 256;
        g.sy = 1;
        g.line_row = Nhla;
        g.line_col = Nvla;
        g.ox = ell_cj, g.oy = ell_ck, g.ix = ill_cj, g.iy = ill_ck;
    }
    return g;
}

inline bool on_picture(int v) { return v >= 0 && v <= 255; }

inline void invert(unsigned char* px) {
    px[0] = static_cast<unsigned char>(255 - px[0]);
    px[1] = static_cast<unsigned char>(255 - px[1]);
    px[2] = static_cast<unsigned char>(255 - px[2]);
}

// Image pass of one view: palette colour of every voxel, the shadow and the
// dashed slice-position lines.
void image_pass(int view, unsigned char* pic, const ViewGeom& g, const DistTerms* terms) {
    const unsigned char* pb = palette + palet * 303;
    const unsigned char* pg = pb + 101;
    const unsigned char* pr = pb + 202;
    // Per column: the part of the ellipsoid measure that does not change along
    // the column's pixels (VLA, SA), and whether the column lies on the basal side (VLA).
    float colterm[256];
    bool colbase[256];
    if (terms != nullptr) {
        for (int x = 0; x < 256; x++) {
            if (view == VIEW_VLA) {
                colterm[x] = terms->ti[x] + terms->tj[Nvla];
                colbase[x] = x < plan_i;
            } else if (view == VIEW_SA) {
                colterm[x] = terms->ti[Nsa] + terms->tj[x];
                colbase[x] = Nsa < plan_i;
            } else {
                colterm[x] = terms->tj[x];
                colbase[x] = false;
            }
        }
    }
    unsigned char dim[256];
    for (int y = 0; y < 256; y++) {
        if (terms == nullptr) {
            for (int x = 0; x < 256; x++) dim[x] = 0;
        } else if (view == VIEW_HLA) {
            const float tiy = terms->ti[y];
            const float tk = terms->tk[Nhla];
            const bool basal = y < plan_i;
            for (int x = 0; x < 256; x++) dim[x] = (basal || (tiy + colterm[x]) + tk > 1.0f) ? 1 : 0;
        } else {
            const float tky = terms->tk[y];
            for (int x = 0; x < 256; x++) dim[x] = (colbase[x] || colterm[x] + tky > 1.0f) ? 1 : 0;
        }
        if (terms != nullptr && (y & 1))
            for (int x = 1; x < 256; x += 2) dim[x] = 0;  // the stipple lattice keeps full brightness

        const float* src = g.base + static_cast<std::ptrdiff_t>(y) * g.sy;
        unsigned char* row = pic + y * 768;
        for (int x = 0; x < 256; x++) {
            int v = trunc_value(src[static_cast<std::ptrdiff_t>(x) * g.sx]);
            v = v < 0 ? 0 : v;  // a negative value stays at or below 0 when quartered
            v >>= dim[x] * 2;
            v = v > 100 ? 100 : v;
            row[x * 3] = pb[v];
            row[x * 3 + 1] = pg[v];
            row[x * 3 + 2] = pr[v];
        }
        // Dashed lines, each pixel inverted at most once.
        const bool dashed_row = y == g.line_row;
        if (dashed_row)
            for (int x = 0; x < 256; x += 4) invert(row + x * 3);
        if ((y & 3) == 0 && on_picture(g.line_col) && !(dashed_row && (g.line_col & 3) == 0))
            invert(row + g.line_col * 3);
    }
}

// Paints the pixels of the rectangle |x - cx| <= hx, |y - cy| <= hy that lie on the picture.
void fill_box(unsigned char* pic, int cx, int cy, int hx, int hy, Shade c) {
    const int x0 = cx - hx < 0 ? 0 : cx - hx;
    const int x1 = cx + hx > 255 ? 255 : cx + hx;
    const int y0 = cy - hy < 0 ? 0 : cy - hy;
    const int y1 = cy + hy > 255 ? 255 : cy + hy;
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) put_shade(pic, x, y, c);
}

// The markers, in their painting order: a later one wins where they overlap.
void draw_markers(int view, unsigned char* pic, const ViewGeom& g) {
    const Shade outer = shade_of(set_centre[view]);
    const Shade inner = shade_of(set_centri[view]);
    if (view == VIEW_SA && Nsa == apex_i)
        fill_box(pic, g.ox, g.oy, 3, 3,
                 Shade{static_cast<unsigned char>(ELL_R), static_cast<unsigned char>(ELL_G),
                       static_cast<unsigned char>(ELL_B)});
    fill_box(pic, g.ox, g.oy, 2, 2, outer);
    fill_box(pic, g.ox, g.oy, 6, 0, outer);
    fill_box(pic, g.ox, g.oy, 0, 6, outer);
    fill_box(pic, g.ix, g.iy, 3, 3, inner);
    if (view == VIEW_HLA) {
        const Shade plane = shade_of(set_plan[0]);
        fill_box(pic, 128, plan_i, 128, 0, plane);  // the whole row (x 0..256 clipped to 255)
        fill_box(pic, 2, plan_i, 3, 3, plane);      // ticks: x 0..5
        fill_box(pic, 253, plan_i, 3, 3, plane);    // x 250..255
    } else if (view == VIEW_VLA) {
        const Shade plane = shade_of(set_plan[1]);
        fill_box(pic, plan_i, 128, 0, 128, plane);
        fill_box(pic, plan_i, 2, 3, 3, plane);
        fill_box(pic, plan_i, 253, 3, 3, plane);
    }
}

// Dotted chord of the outer ellipsoid on one level: positions p..2c-p that are
// multiples of 3.
void draw_chord(int view, unsigned char* pic, int level, int p, int c, Shade col) {
    if (!on_picture(level)) return;
    int first = p < 0 ? 0 : p;
    first += (3 - first % 3) % 3;
    const int last = 2 * c - p > 255 ? 255 : 2 * c - p;
    for (int pos = first; pos <= last; pos += 3) {
        if (view == VIEW_HLA)
            put_shade(pic, pos, level, col);
        else
            put_shade(pic, level, pos, col);
    }
}

// Run p+1..2c-p-1 of one level back to the plain palette colour of its voxels,
// but for the pixels near the two centre markers.
void restore_run(int view, unsigned char* pic, const ViewGeom& g, int level, int p, int c) {
    if (!on_picture(level)) return;
    const unsigned char* pb = palette + palet * 303;
    const int first = p + 1 < 0 ? 0 : p + 1;
    const int last = 2 * c - p - 1 > 255 ? 255 : 2 * c - p - 1;
    for (int pos = first; pos <= last; pos++) {
        const int x = view == VIEW_HLA ? pos : level;
        const int y = view == VIEW_HLA ? level : pos;
        if (iabs(x - g.ox) <= 3 && iabs(y - g.oy) <= 3) continue;
        if (iabs(x - g.ix) <= 3 && iabs(y - g.iy) <= 3) continue;
        int v = trunc_value(g.base[static_cast<std::ptrdiff_t>(y) * g.sy + static_cast<std::ptrdiff_t>(x) * g.sx]);
        v = v < 0 ? 0 : (v > 100 ? 100 : v);
        put_rgb(pic + y * 768 + x * 3, pb[202 + v], pb[101 + v], pb[v]);
    }
}

// Outline of one ellipsoid (outer: e = 0, inner: e = 1) with its sector limits.
void draw_outline(int view, unsigned char* pic, const ViewGeom& g, int e) {
    const int ci = e ? ill_ci : ell_ci, cj = e ? ill_cj : ell_cj, ck = e ? ill_ck : ell_ck;
    const int ri = e ? ill_ri : ell_ri, rj = e ? ill_rj : ell_rj, rk = e ? ill_rk : ell_rk;
    const Shade col = shade_of(e ? set_centri[view] : set_centre[view]);
    int P, cP, rP, cR, rR, cC, rC;
    if (view == VIEW_HLA) {
        P = Nhla, cP = ck, rP = rk, cR = ci, rR = ri, cC = cj, rC = rj;
    } else if (view == VIEW_VLA) {
        P = Nvla, cP = cj, rP = rj, cR = ck, rR = rk, cC = ci, rC = ri;
    } else {
        P = Nsa, cP = ci, rP = ri, cR = ck, rR = rk, cC = cj, rC = rj;
    }
    const float q = 1.0f - static_cast<float>((P - cP) * (P - cP)) / static_cast<float>(rP * rP);
    if (!(q >= 0.0f)) return;  // the plane misses it (or a zero semi-axis made q NaN)
    const float s = static_cast<float>(std::sqrt(static_cast<double>(q)));
    const double row_r = static_cast<double>(rR) * s;
    const double col_r = static_cast<double>(rC) * s;

    // Drawing region: the long-axis views stop at the base plane.
    const int ymin = view == VIEW_HLA ? plan_i : 0;
    const int xmin = view == VIEW_VLA ? plan_i : 0;
    const bool limits = view != VIEW_SA;
    const int chord_c = view == VIEW_HLA ? cj : ck;

    const OutlineTable& t = outline_table();
    int prev_y = 0, prev_x = 0;
    for (int n = 0; n < 2400; n++) {
        const int yo = cR + trunc_double(t.cs[n] * row_r + 0.5);
        const int xo = cC + trunc_double(t.sn[n] * col_r + 0.5);
        // A point equal to the one before repaints exactly what that one painted.
        if (n > 0 && yo == prev_y && xo == prev_x) continue;
        prev_y = yo;
        prev_x = xo;
        const int level = view == VIEW_HLA ? yo : xo;
        const int p = view == VIEW_HLA ? xo : yo;
        if (e == 1 && limits)
            for (int m = 1; m <= 3; m++)
                if (level == sect_i[m]) restore_run(view, pic, g, level, p, chord_c);
        if (yo >= ymin && yo <= 255 && xo >= xmin && xo <= 255) put_shade(pic, xo, yo, col);
        if (e == 0 && limits)
            for (int m = 1; m <= 3; m++)
                if (level == sect_i[m]) draw_chord(view, pic, level, p, chord_c, col);
    }
}

void draw_view(int view, unsigned char* pic, const DistTerms* terms) {
    const ViewGeom g = geom_of(view);
    image_pass(view, pic, g, terms);
    if (!ell_ok) return;
    draw_markers(view, pic, g);
    if (view == VIEW_SA && Nsa < plan_i) return;  // no outline on the basal side
    draw_outline(view, pic, g, 0);
    draw_outline(view, pic, g, 1);
}

// Background and frame of a strip never change.
struct StripTemplate {
    unsigned char px[STRIP_BYTES];
};

const StripTemplate& strip_template() {
    static const StripTemplate tpl = [] {
        StripTemplate t{};
        for (int y = 0; y < 16; y++) {
            const int d = iabs(y - 8);
            for (int x = 0; x < 256; x++) {
                unsigned char* px = t.px + y * 768 + x * 3;
                if (x == 0 || x == 255 || y == 0 || y == 15)
                    put_rgb(px, 0, 0, 0);
                else
                    put_rgb(px, 40 + 3 * d, 80 + 5 * d, 120 + 10 * d);
            }
        }
        return t;
    }();
    return tpl;
}

void draw_strip(unsigned char* pic, int N) {
    std::memcpy(pic, strip_template().px, STRIP_BYTES);
    for (int y = 0; y < 16; y++)
        for (int d = -4; d <= 4; d++) {
            const int x = N + d;
            if (on_picture(x)) put_rgb(pic + y * 768 + x * 3, 100 - 20 * iabs(d), 100 - 20 * iabs(d), 250 - 20 * iabs(d));
        }
}

void clamp_to(int& v, int lo, int hi) {
    if (v < lo) v = lo;
    if (v > hi) v = hi;
}

}  // namespace

float EVAL_DIST(int i, int j, int k) {
    float d = static_cast<float>((i - ell_ci) * (i - ell_ci)) / static_cast<float>(ell_ri * ell_ri);
    d = d + static_cast<float>((j - ell_cj) * (j - ell_cj)) / static_cast<float>(ell_rj * ell_rj);
    d = d + static_cast<float>((k - ell_ck) * (k - ell_ck)) / static_cast<float>(ell_rk * ell_rk);
    return d;
}

int DRAW_DISPLAY() {
    ELL_R = couleurs[couleur * 3];
    ELL_G = couleurs[couleur * 3 + 1];
    ELL_B = couleurs[couleur * 3 + 2];
    if (load_ok) {
        // EVAL_DIST per pixel is the sum of three terms of one index each,
        // tabulated here with the same quotients and added in the same order.
        DistTerms terms;
        const bool shadow = ell_ok && set_ombre;
        if (shadow) fill_dist_terms(terms);
        draw_view(VIEW_HLA, BMPhla, shadow ? &terms : nullptr);
        draw_view(VIEW_VLA, BMPvla, shadow ? &terms : nullptr);
        draw_view(VIEW_SA, BMPsa, shadow ? &terms : nullptr);
    }
    draw_strip(BMPshla, Nhla);
    draw_strip(BMPsvla, Nvla);
    draw_strip(BMPssa, Nsa);
    return 0;
}

int DISPLAY() {
    DRAW_DISPLAY();

    // Hand-over: one device bitmap per picture, the previous one deleted first.
    STATIChla = plat_get_dlg_item(WINDOW, 1);
    STATICvla = plat_get_dlg_item(WINDOW, 2);
    STATICsa = plat_get_dlg_item(WINDOW, 3);
    STATICshla = plat_get_dlg_item(WINDOW, 48);
    STATICsvla = plat_get_dlg_item(WINDOW, 47);
    STATICssa = plat_get_dlg_item(WINDOW, 49);
    plat_delete_bitmap(bmphla);
    bmphla = plat_create_bitmap(WINDOW, &bmpinfo, BMPhla);
    plat_delete_bitmap(bmpvla);
    bmpvla = plat_create_bitmap(WINDOW, &bmpinfo, BMPvla);
    plat_delete_bitmap(bmpsa);
    bmpsa = plat_create_bitmap(WINDOW, &bmpinfo, BMPsa);
    plat_delete_bitmap(bmpshla);
    bmpshla = plat_create_bitmap(WINDOW, &bmpinfo_s, BMPshla);
    plat_delete_bitmap(bmpsvla);
    bmpsvla = plat_create_bitmap(WINDOW, &bmpinfo_s, BMPsvla);
    plat_delete_bitmap(bmpssa);
    bmpssa = plat_create_bitmap(WINDOW, &bmpinfo_s, BMPssa);
    plat_set_image(STATIChla, bmphla);
    plat_set_image(STATICvla, bmpvla);
    plat_set_image(STATICsa, bmpsa);
    plat_set_image(STATICshla, bmpshla);
    plat_set_image(STATICsvla, bmpsvla);
    plat_set_image(STATICssa, bmpssa);
    return 0;
}

int VERIF_DISP() {
    clamp_to(Nhla, 0, 255);
    clamp_to(Nvla, 0, 255);
    clamp_to(Nsa, 0, 255);
    clamp_to(ell_ri, 12, 120);
    clamp_to(ell_rj, 12, 120);
    clamp_to(ell_rk, 12, 120);
    clamp_to(ell_ci, 12, 244);
    clamp_to(ell_cj, 12, 244);
    clamp_to(ell_ck, 12, 244);
    clamp_to(plan_i, 12, 244);
    clamp_to(ill_ri, 4, 120);
    clamp_to(ill_rj, 4, 120);
    clamp_to(ill_rk, 4, 120);
    clamp_to(ill_ci, 12, 244);
    clamp_to(ill_cj, 12, 244);
    clamp_to(ill_ck, 12, 244);
    // The inner ellipsoid shares the outer centre on j and k.
    ill_cj = ell_cj;
    ill_ck = ell_ck;
    EVAL_SECT();
    DISPLAY();
    return 0;
}

// =============================================================================================
// 3. Polar sector map
// =============================================================================================
int INIT_SECT() {
    // TODO(sectors): fill mesh_sect.
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
int DISPLAY_RES() {
    // TODO(results pictures): draw the picture chosen by RES_DISP and hand it to control 46.
    return 0;
}

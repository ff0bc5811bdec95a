// Drawing: the palette bar, the slice views with their strips and the model
// drawn over them, the limits of the model, the polar sector map, the apex and
// ring levels, and the result pictures.
//
// Sections (each owns its block; helpers used by one section stay inside it):
//   1. palettes, palette bar   palette_rgb, score_step, palette_name, DRAW_PALBAR, CREATE_PALBMP
//   2. slice views             DRAW_VIEWS, DISPLAY, VERIF_DISP, EVAL_DIST (+ model overlays)
//   3. polar sector map        INIT_SECT
//   4. apex and ring levels    EVAL_APEX, EVAL_SECT
//   5. result pictures         DRAW_RES (into any buffer), DISPLAY_RES
//
// File-level state, not program-wide: caches and scratch of the fast drawing,
// none of which the program shows or a user sets, each rebuilt or checked before
// use (so INIT_STATE need not touch them): `kept` (the planes last read, valid
// while data_generation has not moved), `grid_idx`/`grid_count` (the result
// grid's pixels, built once), `res_mask` (the lateral view's surface, redrawn
// each time), and the tables of outline angles and strip backgrounds.
#include "Display.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "layout.h"
#include "main.h"
#include "sectors.h"
#include "Stress_Rest.h"

// =============================================================================================
// 1. Palettes and the palette bar
// =============================================================================================
PaletteColour palette_rgb(int pal, int step) {
    const unsigned char* p = palette + palette_index(pal) * 303;  // planes blue, green, red
    const int v = step < 0 ? 0 : step > 100 ? 100 : step;
    return PaletteColour{p[202 + v], p[101 + v], p[v]};
}

int score_step(int score) {
    // A score out of 0..4 (never given by the evaluation) stays within the palette.
    return score <= 0 ? 100 : score >= 5 ? 0 : 100 - 20 * score;
}

const char* palette_name(int pal) {
    static const char* const NAMES[PALETTE_COUNT] = {
        "Gris", "Gris invers\xE9", "Hot Iron", "Hot Metal Blue", "PET", "PET en 20 paliers",
        "Feu", "Noir, bleu, violet, jaune", "Spectre", "Jet", "Jet en dix paliers", "Cubehelix",
        "Spring", "Summer", "Fall", "Winter"};
    return NAMES[palette_index(pal)];
}

int DRAW_PALBAR(unsigned char* buf, int pal, int overlay) {
    const unsigned char* pal_p = palette + palette_index(pal) * 303;  // planes blue, green, red
    const unsigned char* grid = couleurs + overlay_index(overlay) * 3;  // normal shade, R, G, B
    for (int y = 0; y < 56; y++) {
        unsigned char* line = buf + y * 220 * 3;
        for (int x = 0; x < 220; x++) {
            // Column x shows step x * 100 / 220 (0..99): step 100 never appears.
            const int s = static_cast<int>(x * 100.0 / 220.0);
            unsigned char b = pal_p[s], g = pal_p[101 + s], r = pal_p[202 + s];
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
    return 0;
}

int CREATE_PALBMP() {
    DRAW_PALBAR(BMPpal, palet, couleur);
    HWND_ ctl = plat_get_dlg_item(WINDOW, ID_PALETTE_BAR);
    plat_delete_bitmap(bmppal);
    bmppal = plat_create_bitmap(WINDOW, &bmpinfo_p, BMPpal);
    plat_set_image(ctl, bmppal);
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

// The outline angles are the same at every call: a = n * PI_SHORT / 1200 in
// single precision, its cosine and sine in double.
struct OutlineTable {
    double cs[2400];
    double sn[2400];
};

const OutlineTable& outline_table() {
    static const OutlineTable table = [] {
        OutlineTable t{};
        for (int n = 0; n < 2400; n++) {
            const float a = static_cast<float>(n * PI_SHORT / 1200);
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

// A slice index as a plane to read: a slice outside 0..255 (VERIF_DISP brings
// it back before long) shows the nearest plane instead of reading outside the volume.
inline int plane_of(int slice) { return slice < 0 ? 0 : (slice > 255 ? 255 : slice); }

// Where a view takes its voxels and what it shows over them.
struct ViewGeom {
    const float* base;  // voxel of pixel (0, 0)
    int sx, sy;         // element steps along x and along y
    int plane;          // the view's plane, within the volume
    int line_row, line_col;
    int ox, oy, ix, iy;  // outer and inner centre markers
};

ViewGeom geom_of(int view) {
    ViewGeom g{};
    if (view == VIEW_HLA) {  // (i = y, j = x, k = Nhla)
        g.plane = plane_of(Nhla);
        g.base = data + g.plane;
        g.sx = 256;
        g.sy = 65536;
        g.line_row = Nsa;
        g.line_col = Nvla;
        g.ox = ell_cj, g.oy = ell_ci, g.ix = ill_cj, g.iy = ill_ci;
    } else if (view == VIEW_VLA) {  // (i = x, j = Nvla, k = y)
        g.plane = plane_of(Nvla);
        g.base = data + g.plane * 256;
        g.sx = 65536;
        g.sy = 1;
        g.line_row = Nhla;
        g.line_col = Nsa;
        g.ox = ell_ci, g.oy = ell_ck, g.ix = ill_ci, g.iy = ill_ck;
    } else {  // (i = Nsa, j = x, k = y)
        g.plane = plane_of(Nsa);
        g.base = data + g.plane * 65536;
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

// What the views keep of the volume. A voxel matters to a view only through
// two steps: the plain one (its value truncated toward zero, limited to
// 0..100) and the dimmed one (truncated, quartered, limited to 0..100). Both
// follow from v, the truncated value limited to 0..403 (a larger value gives
// 100 either way), kept in one byte, its code: v itself up to 100, else
// 76 + v / 4 (101..176).
[[maybe_unused]] inline std::uint8_t code_of(float f) {  // the portable path of code16
    int v = trunc_value(f);
    v = v < 0 ? 0 : (v > 403 ? 403 : v);
    return static_cast<std::uint8_t>(v <= 100 ? v : 76 + (v >> 2));
}

// Codes of 16 consecutive values.
inline void code16(const float* src, std::uint8_t* out) {
#if defined(__SSE2__)
    // Limited first in floating point: max(NaN, 0) gives 0 like trunc_value's
    // -1e6 would after the limit, and truncating within 0..403.5 is the
    // truncation of the value itself there.
    const __m128 lo = _mm_setzero_ps(), hi = _mm_set1_ps(403.5f);
    const __m128i top = _mm_set1_epi32(100), add = _mm_set1_epi32(76);
    __m128i v[4];
    for (int q = 0; q < 4; q++) {
        __m128 f = _mm_loadu_ps(src + 4 * q);
        f = _mm_min_ps(_mm_max_ps(f, lo), hi);
        const __m128i t = _mm_cvttps_epi32(f);
        const __m128i over = _mm_cmpgt_epi32(t, top);
        v[q] = _mm_or_si128(_mm_andnot_si128(over, t), _mm_and_si128(over, _mm_add_epi32(_mm_srli_epi32(t, 2), add)));
    }
    const __m128i w = _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), w);
#else
    for (int t = 0; t < 16; t++) out[t] = code_of(src[t]);
#endif
}

// The planes last read, valid while `data_generation` is the one they were read
// under. The HLA view's voxels along k share their cache lines 16 by 16, so its
// whole block of 16 slices is kept at once: a drag of that slice then finds its
// next planes here. The VLA and SA planes are kept as they lie in the volume,
// column by column, each column padded to COLUMN bytes: a row of the picture
// then reads 256 cache lines spread over every set of the first-level cache,
// not piled on a quarter of them as with 256-byte columns.
constexpr int COLUMN = 320;

struct KeptPlanes {
    unsigned long generation;
    bool any;                       // false until the first read
    int hla_block, vla_plane, sa_plane;  // -1: nothing kept
    alignas(64) std::uint8_t hla[256 * 256 * 16];  // code of (i, j, block * 16 + d) at (i * 256 + j) * 16 + d
    alignas(64) std::uint8_t vla[256 * COLUMN];    // code of pixel (x, y) at x * COLUMN + y
    alignas(64) std::uint8_t sa[256 * COLUMN];
};
KeptPlanes kept;  // file-level cache (see the head of this file)

void forget_stale_planes() {
    if (kept.any && kept.generation == data_generation) return;
    kept.any = true;
    kept.generation = data_generation;
    kept.hla_block = kept.vla_plane = kept.sa_plane = -1;
}

// Codes of a view whose column x is the run of 256 values at base + x * sx
// along y, kept column by column: pixel (x, y) at x * COLUMN + y.
void read_columns(const float* base, std::ptrdiff_t sx, std::uint8_t* out) {
    for (int x = 0; x < 256; x++) {
        const float* src = base + x * sx;
        for (int y = 0; y < 256; y += 16) code16(src + y, out + x * COLUMN + y);
    }
}

// The codes of a view's plane, read from the volume unless kept: pixel (x, y)
// at y * 4096 + x * 16 in the HLA view, at x * COLUMN + y in the others.
const std::uint8_t* codes_of(int view, int plane) {
    forget_stale_planes();
    if (view == VIEW_HLA) {
        const int block = plane >> 4;
        if (kept.hla_block != block) {
            // Line n = i * 256 + j of the volume holds (i, j, 0..255); its block
            // is one cache line, 1 KB from the next one: asked for well ahead, so
            // that many are on their way while the codes are formed.
            const float* src = data + block * 16;
            constexpr int ahead = 32;
            for (int n = 0; n < 65536; n++) {
#if defined(__SSE2__)
                if (n + ahead < 65536)
                    _mm_prefetch(reinterpret_cast<const char*>(src + static_cast<std::ptrdiff_t>(n + ahead) * 256),
                                 _MM_HINT_T0);
#endif
                code16(src + static_cast<std::ptrdiff_t>(n) * 256, kept.hla + n * 16);
            }
            kept.hla_block = block;
        }
        return kept.hla + (plane & 15);
    }
    if (view == VIEW_VLA) {
        if (kept.vla_plane != plane) {  // column x = i, the run along k
            read_columns(data + plane * 256, 65536, kept.vla);
            kept.vla_plane = plane;
        }
        return kept.vla;
    }
    if (kept.sa_plane != plane) {  // column x = j, the run along k
        read_columns(data + static_cast<std::ptrdiff_t>(plane) * 65536, 256, kept.sa);
        kept.sa_plane = plane;
    }
    return kept.sa;
}

// Colour of every code, plain (index code) and dimmed (index 256 + code), in
// the current palette, packed blue, green, red and a spare byte, so that a
// pixel is one four-byte store.
struct CodeColours {
    std::uint32_t c[512];
};

void fill_code_colours(CodeColours& t, const unsigned char* pb) {
    auto packed = [pb](int v) {
        return static_cast<std::uint32_t>(pb[v]) | static_cast<std::uint32_t>(pb[101 + v]) << 8 |
               static_cast<std::uint32_t>(pb[202 + v]) << 16;
    };
    for (int c = 0; c < 256; c++) {
        const int v = c <= 100 ? c : 4 * (c - 76) + 3;  // a value of that code (the largest)
        const int plain = v > 100 ? 100 : v;
        const int dimmed = (v >> 2) > 100 ? 100 : (v >> 2);
        t.c[c] = packed(plain);
        t.c[256 + c] = packed(dimmed);
    }
}

// Image pass of one view: the palette colour of every pixel's code, dimmed by
// the shadow, then the dashed lines. EVAL_DIST's sum is (i term + j term) +
// k term; in the HLA view i goes with the row, in the others the i and j terms
// are both per column, so their sum is taken once per call.
template <int View>
void image_pass(unsigned char* pic, const ViewGeom& g, const std::uint8_t* codes, const DistTerms* terms,
                const unsigned char* pb) {
    CodeColours colours;
    fill_code_colours(colours, pb);
    alignas(16) float colsum[256];
    if (terms != nullptr && View != VIEW_HLA)
        for (int x = 0; x < 256; x++)
            colsum[x] = View == VIEW_VLA ? terms->ti[x] + terms->tj[g.plane] : terms->ti[g.plane] + terms->tj[x];
    alignas(16) std::uint16_t dim[256];  // 256 where the pixel is dimmed, else 0
    for (int y = 0; y < 256; y++) {
        if (terms == nullptr) {
            for (int x = 0; x < 256; x++) dim[x] = 0;
        } else if (View == VIEW_HLA) {
            const float tiy = terms->ti[y], tk = terms->tk[g.plane];
            const int basal = y < plan_i;
            for (int x = 0; x < 256; x++)
                dim[x] = static_cast<std::uint16_t>(-(basal | ((tiy + terms->tj[x]) + tk > 1.0f)) & 256);
        } else {
            const float tky = terms->tk[y];
            const int basal_all = View == VIEW_SA && g.plane < plan_i;
            for (int x = 0; x < 256; x++) {
                const int basal = basal_all | (View == VIEW_VLA && x < plan_i);
                dim[x] = static_cast<std::uint16_t>(-(basal | (colsum[x] + tky > 1.0f)) & 256);
            }
        }
        if (terms != nullptr && (y & 1))
            for (int x = 1; x < 256; x += 2) dim[x] = 0;  // the stipple lattice
        // The codes as codes_of lays them out.
        constexpr int sx = View == VIEW_HLA ? 16 : COLUMN;
        const std::uint8_t* src = codes + y * (View == VIEW_HLA ? 4096 : 1);
        unsigned char* out = pic + y * 768;
        // Two pixels at a time, left to right: the two spare bytes of each
        // eight-byte store land on the next pair, written next; the last pair
        // gets six plain bytes.
        for (int x = 0; x < 254; x += 2) {
            const std::uint64_t pair = colours.c[src[x * sx] | dim[x]] |
                                       static_cast<std::uint64_t>(colours.c[src[(x + 1) * sx] | dim[x + 1]]) << 24;
            std::memcpy(out + x * 3, &pair, 8);
        }
        for (int x = 254; x < 256; x++) {
            const std::uint32_t c = colours.c[src[x * sx] | dim[x]];
            out[x * 3] = static_cast<unsigned char>(c);
            out[x * 3 + 1] = static_cast<unsigned char>(c >> 8);
            out[x * 3 + 2] = static_cast<unsigned char>(c >> 16);
        }
    }
    // Dashed lines, each pixel inverted at most once.
    if (on_picture(g.line_row))
        for (int x = 0; x < 256; x += 4) invert(pic + g.line_row * 768 + x * 3);
    if (on_picture(g.line_col))
        for (int y = 0; y < 256; y += 4)
            if (!(y == g.line_row && (g.line_col & 3) == 0)) invert(pic + y * 768 + g.line_col * 3);
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
void restore_run(int view, unsigned char* pic, const ViewGeom& g, int level, int p, int c,
                 const unsigned char* pb) {
    if (!on_picture(level)) return;
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
void draw_outline(int view, unsigned char* pic, const ViewGeom& g, int e, const unsigned char* pb) {
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

    // All 2400 offsets first, in a loop without branches, then the points in
    // their order. Offsets beyond +-1e6 (never met within the model's limits)
    // are first brought to +-1e6, where the truncation is defined.
    const OutlineTable& t = outline_table();
    int offy[2400], offx[2400];
    for (int n = 0; n < 2400; n++) {
        double fy = t.cs[n] * row_r + 0.5;
        double fx = t.sn[n] * col_r + 0.5;
        fy = fy > -1.0e6 ? fy : -1.0e6;
        fy = fy < 1.0e6 ? fy : 1.0e6;
        fx = fx > -1.0e6 ? fx : -1.0e6;
        fx = fx < 1.0e6 ? fx : 1.0e6;
        offy[n] = static_cast<int>(fy);
        offx[n] = static_cast<int>(fx);
    }
    int prev_y = 0, prev_x = 0;
    for (int n = 0; n < 2400; n++) {
        const int yo = cR + offy[n];
        const int xo = cC + offx[n];
        // A point equal to the one before repaints exactly what that one painted.
        if (n > 0 && yo == prev_y && xo == prev_x) continue;
        prev_y = yo;
        prev_x = xo;
        const int level = view == VIEW_HLA ? yo : xo;
        const int p = view == VIEW_HLA ? xo : yo;
        if (e == 1 && limits)
            for (int m = 1; m <= 3; m++)
                if (level == sect_i[m]) restore_run(view, pic, g, level, p, chord_c, pb);
        if (yo >= ymin && yo <= 255 && xo >= xmin && xo <= 255) put_shade(pic, xo, yo, col);
        if (e == 0 && limits)
            for (int m = 1; m <= 3; m++)
                if (level == sect_i[m]) draw_chord(view, pic, level, p, chord_c, col);
    }
}

void draw_view(int view, unsigned char* pic, const DistTerms* terms, const unsigned char* pb) {
    const ViewGeom g = geom_of(view);
    const std::uint8_t* codes = codes_of(view, g.plane);
    if (view == VIEW_HLA)
        image_pass<VIEW_HLA>(pic, g, codes, terms, pb);
    else if (view == VIEW_VLA)
        image_pass<VIEW_VLA>(pic, g, codes, terms, pb);
    else
        image_pass<VIEW_SA>(pic, g, codes, terms, pb);
    if (!ell_ok) return;
    draw_markers(view, pic, g);
    if (view == VIEW_SA && Nsa < plan_i) return;  // no outline on the basal side
    draw_outline(view, pic, g, 0, pb);
    draw_outline(view, pic, g, 1, pb);
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

void VIEW_PLANES_PAGES() { plat_give_pages(&kept, sizeof kept); }

float EVAL_DIST(int i, int j, int k) {
    float d = static_cast<float>((i - ell_ci) * (i - ell_ci)) / static_cast<float>(ell_ri * ell_ri);
    d = d + static_cast<float>((j - ell_cj) * (j - ell_cj)) / static_cast<float>(ell_rj * ell_rj);
    d = d + static_cast<float>((k - ell_ck) * (k - ell_ck)) / static_cast<float>(ell_rk * ell_rk);
    return d;
}

int DRAW_VIEWS(unsigned char* hla, unsigned char* vla, unsigned char* sa, int pal) {
    if (!load_ok) return 0;
    ELL_R = couleurs[couleur * 3];
    ELL_G = couleurs[couleur * 3 + 1];
    ELL_B = couleurs[couleur * 3 + 2];
    const unsigned char* pb = palette + palette_index(pal) * 303;
    // EVAL_DIST per pixel is the sum of three terms of one index each,
    // tabulated here with the same quotients and added in the same order.
    DistTerms terms;
    const bool shadow = ell_ok && set_ombre;
    if (shadow) fill_dist_terms(terms);
    draw_view(VIEW_HLA, hla, shadow ? &terms : nullptr, pb);
    draw_view(VIEW_VLA, vla, shadow ? &terms : nullptr, pb);
    draw_view(VIEW_SA, sa, shadow ? &terms : nullptr, pb);
    return 0;
}

int DRAW_DISPLAY() {
    ELL_R = couleurs[couleur * 3];
    ELL_G = couleurs[couleur * 3 + 1];
    ELL_B = couleurs[couleur * 3 + 2];
    DRAW_VIEWS(BMPhla, BMPvla, BMPsa, palet);
    draw_strip(BMPshla, Nhla);
    draw_strip(BMPsvla, Nvla);
    draw_strip(BMPssa, Nsa);
    return 0;
}

int DISPLAY() {
    DRAW_DISPLAY();

    // Hand-over: one device bitmap per picture, the previous one deleted first.
    STATIChla = plat_get_dlg_item(WINDOW, ID_VIEW_HLA);
    STATICvla = plat_get_dlg_item(WINDOW, ID_VIEW_VLA);
    STATICsa = plat_get_dlg_item(WINDOW, ID_VIEW_SA);
    STATICshla = plat_get_dlg_item(WINDOW, ID_STRIP_HLA);
    STATICsvla = plat_get_dlg_item(WINDOW, ID_STRIP_VLA);
    STATICssa = plat_get_dlg_item(WINDOW, ID_STRIP_SA);
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
    clamp_to(Nhla, SLICE_MIN, SLICE_MAX);
    clamp_to(Nvla, SLICE_MIN, SLICE_MAX);
    clamp_to(Nsa, SLICE_MIN, SLICE_MAX);
    clamp_to(ell_ri, OUTER_AXIS_MIN, OUTER_AXIS_MAX);
    clamp_to(ell_rj, OUTER_AXIS_MIN, OUTER_AXIS_MAX);
    clamp_to(ell_rk, OUTER_AXIS_MIN, OUTER_AXIS_MAX);
    clamp_to(ell_ci, CENTRE_MIN, CENTRE_MAX);
    clamp_to(ell_cj, CENTRE_MIN, CENTRE_MAX);
    clamp_to(ell_ck, CENTRE_MIN, CENTRE_MAX);
    clamp_to(plan_i, CENTRE_MIN, CENTRE_MAX);
    clamp_to(ill_ri, INNER_AXIS_MIN, INNER_AXIS_MAX);
    clamp_to(ill_rj, INNER_AXIS_MIN, INNER_AXIS_MAX);
    clamp_to(ill_rk, INNER_AXIS_MIN, INNER_AXIS_MAX);
    clamp_to(ill_ci, CENTRE_MIN, CENTRE_MAX);
    clamp_to(ill_cj, CENTRE_MIN, CENTRE_MAX);
    clamp_to(ill_ck, CENTRE_MIN, CENTRE_MAX);
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
    // The map depends on constants alone: made once per process (160,000 angles), then copied
    // at every start-up (a worker of the batch starts again for every study).
    static int made[400 * 400];
    static bool have = false;
    if (have) {
        std::memcpy(mesh_sect, made, sizeof made);
        return 0;
    }
    // Angles counter-clockwise from the right, rows counting upwards; pi is
    // 3.14159265 (sectors.h), so the single-precision angle pi on the left
    // radius lies just above it and that radius belongs to the lower-left sectors.
    for (int row = 0; row < 400; row++) {
        for (int col = 0; col < 400; col++) {
            const int y = row - 200, x = col - 200;
            const float rho = std::sqrt(static_cast<float>(y * y + x * x)) / 180.0f;
            float th = std::atan2(static_cast<float>(y), static_cast<float>(x));
            while (th < 0) th = static_cast<float>(th + TWO_PI);
            int n;
            if (rho > 1) {
                n = 0;
            } else if (rho <= 0.25) {
                n = 17;
            } else if (rho <= 0.5) {
                n = 16;
                if (th >= PI_4 && th < PI3_4)
                    n -= 3;
                else if (th >= PI3_4 && th < PI5_4)
                    n -= 2;
                else if (th >= PI5_4 && th < PI7_4)
                    n -= 1;
            } else {
                n = rho <= 0.75 ? 12 : 6;
                if (th >= PI_3 && th < PI2_3)
                    n -= 5;
                else if (th >= PI2_3 && th < PI)
                    n -= 4;
                else if (th >= PI && th < PI4_3)
                    n -= 3;
                else if (th >= PI4_3 && th < PI5_3)
                    n -= 2;
                else if (th >= PI5_3 && th < TWO_PI)
                    n -= 1;
            }
            mesh_sect[row * 400 + col] = n;
        }
    }
    std::memcpy(made, mesh_sect, sizeof made);
    have = true;
    return 0;
}

// =============================================================================================
// 4. Apex and ring levels
// =============================================================================================
int DERIVED_APEX() {
    // Three quarters of the way from the base plane to the tip.
    return static_cast<int>(plan_i + 0.75 * (ell_ri + ell_ci - plan_i));
}

int EVAL_APEX() {
    amplii = ell_ri + ell_ci - plan_i;
    apex_i = DERIVED_APEX();
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

// Where a result picture is drawn and in which colours: the caller's buffer
// (400 x 400), the palette's three planes and the overlay colour.
struct ResTarget {
    unsigned char* buf;
    const unsigned char* pal;  // planes blue, green, red
    Bgr overlay;
};

inline Bgr pal_colour(const ResTarget& t, int v) { return Bgr{t.pal[v], t.pal[101 + v], t.pal[202 + v]}; }

inline void res_put(const ResTarget& t, int idx, Bgr c) {
    unsigned char* px = t.buf + idx * 3;
    px[0] = c.b;
    px[1] = c.g;
    px[2] = c.r;
}

// The grid of pictures 0, 1 and 12 depends on nothing but constants: its pixels
// are found once (with the same sines and cosines as the literal drawing) and
// kept as a list without repeats; every later call only paints them.
int grid_idx[4 * 2400 + 2000 * 5];  // file-level, built once (see the head of this file)
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
            const double a = t * TWO_PI / 2400;
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
                add(static_cast<int>(std::sin(static_cast<double>(a)) * d + 200.5),
                    static_cast<int>(std::cos(static_cast<double>(a)) * d + 200.5));
        }
        if (ad >= 90 && ad <= 180) {
            const float angles[3] = {0.0f, 1.0471976f, 2.0943952f};
            for (float a : angles)
                add(static_cast<int>(std::sin(static_cast<double>(a)) * d + 200.5),
                    static_cast<int>(std::cos(static_cast<double>(a)) * d + 200.5));
        }
    }
    grid_count = n;
}

void draw_grid(const ResTarget& t, Bgr c) {
    if (grid_count < 0) build_grid();
    for (int i = 0; i < grid_count; i++) res_put(t, grid_idx[i], c);
}

// Picture 0: the bull's-eye values in the palette.
void draw_bull(const ResTarget& t) {
    Bgr lut[101];
    for (int v = 0; v <= 100; v++) lut[v] = pal_colour(t, v);
    for (int idx = 0; idx < 400 * 400; idx++) res_put(t, idx, lut[res_round_clamped(BULL[idx], 0, 100)]);
}

// Pictures 1 and 12: every pixel takes the colour of its sector (colour 0 outside).
void draw_sector_map(const ResTarget& t, const Bgr (&colour)[18]) {
    for (int idx = 0; idx < 400 * 400; idx++) {
        const int n = mesh_sect[idx];
        res_put(t, idx, colour[n >= 1 && n <= 17 ? n : 0]);
    }
}

unsigned char res_mask[400 * 400];  // surface pixels of the lateral view

// Ray-table column m of an angle t = atan2f(A, x) of the lateral view, exactly
// step by step: psi = t - r in single precision, brought into 0..2pi by steps
// of TWO_PI rounded to single precision, m = round(sam_ang * psi / TWO_PI).
inline int lateral_m(float t, double r) {
    float psi = static_cast<float>(t - r);
    while (psi < 0) psi = static_cast<float>(psi + TWO_PI);
    while (psi >= TWO_PI) psi = static_cast<float>(psi - TWO_PI);
    const double wm = sam_ang * psi / TWO_PI + 0.5;
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
    double r_red;       // r brought into 0..TWO_PI in double
    double margin_psi;  // radians, on psi after its normalisation
    double margin_w;    // on sam_ang * psi / TWO_PI + 0.5
    double to_w;        // sam_ang / TWO_PI
};

LateralBounds lateral_bounds(double r) {
    LateralBounds b;
    b.r = r;
    b.r_red = r - TWO_PI * std::floor(r / TWO_PI);
    if (!(b.r_red >= 0.0 && b.r_red < TWO_PI)) b.r_red = 0.0;  // only for a turn past any use
    const double mag = (r < 0 ? -r : r) + 11.0;
    const double steps = std::ceil(mag / TWO_PI) + 2.0;
    b.margin_psi = 1.1e-5 + steps * mag * 1.2e-7;
    b.margin_w = (sam_ang * b.margin_psi + sam_ang * 6.3 * 1.2e-7) / TWO_PI + 1e-9;
    b.to_w = sam_ang / TWO_PI;
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
    psi += psi < 0 ? TWO_PI : 0.0;
    psi += psi < 0 ? TWO_PI : 0.0;
    if (psi > b.margin_psi && psi < TWO_PI - b.margin_psi) {
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
void draw_lateral(const ResTarget& t) {
    const Bgr ov = t.overlay;
    // Background: one line in palette colour 0, copied to the 400 lines.
    const Bgr bg = pal_colour(t, 0);
    for (int col = 0; col < 400; col++) res_put(t, col, bg);
    for (int row = 1; row < 400; row++) std::memcpy(t.buf + row * 1200, t.buf, 1200);
    std::memset(res_mask, 0, sizeof res_mask);
    if (Tot_ang == 0) return;  // no turn can be formed: background only
    const double r = res3D_ang * TWO_PI / Tot_ang;

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
        for (int v = 0; v <= 100; v++) lut[v] = pal_colour(t, v);

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
                res_put(t, idx, lut[res_round_clamped(ray[h], 1, 100)]);
                res_mask[idx] = 1;
                // Sector boundaries on the surface: apical ones at odd multiples of
                // pi/4, basal and mid ones at multiples of pi/3.
                if ((h % quarter == eighth && apical) || (h % sixth == 0 && basal)) res_put(t, idx, ov);
            }
        }

        // Level lines on the surface (not the tip).
        for (int e = 0; e < 4; e++) {
            const int c = C[e];
            if (c < 0 || c > 399) continue;
            for (int s = 0; s < 400; s++) {
                if (s >= 343 && c <= 56) continue;
                if (res_mask[s * 400 + c]) res_put(t, s * 400 + c, ov);
            }
        }
    }

    // Orientation needle, 11 pixels from row 200, column 27.
    const double a = -2 * res3D_ang * PI / Tot_ang + HALF_PI;
    for (int q = 0; q <= 10; q++)
        res_put(t, static_cast<int>(std::cos(a) * q + 200.5) * 400 + static_cast<int>(std::sin(a) * q + 27.5), ov);
}

}  // namespace

int DRAW_RES(unsigned char* buf, int picture, int pal, int overlay) {
    // Before the first evaluation (and after a load) the buffer keeps what it holds.
    if (res_ok == 0) return 0;
    const unsigned char* ov = couleurs + overlay_index(overlay) * 3;  // R, G, B
    const ResTarget t{buf, palette + palette_index(pal) * 303, Bgr{ov[2], ov[1], ov[0]}};
    if (picture == RES_BULL) {
        draw_bull(t);
        draw_grid(t, t.overlay);
    } else if (picture == RES_SECTORS || picture == RES_SCORES) {
        Bgr colour[18];
        colour[0] = pal_colour(t, 0);
        for (int n = 1; n <= 17; n++)
            colour[n] = pal_colour(t, picture == RES_SECTORS ? res_round_clamped(SECTEUR[n], 0, 100)
                                                             : score_step(SCORE[n]));
        draw_sector_map(t, colour);
        draw_grid(t, Bgr{0, 0, 0});
    } else if (picture == RES_LATERAL) {
        draw_lateral(t);
    }
    return 0;
}

int DRAW_RES() { return DRAW_RES(BMPres, RES_DISP, palet, couleur); }

int DISPLAY_RES() {
    DRAW_RES();
    // The label windows: percentages with picture 1, sector and score with picture 12.
    if (res_ok != 0 && (RES_DISP == RES_SECTORS || RES_DISP == RES_SCORES)) {
        char text[64];
        for (int n = 1; n <= 17; n++) {
            if (RES_DISP == RES_SECTORS) {
                std::snprintf(text, sizeof text, "%d", res_round(SECTEUR[n]));
                std::strcat(text, " %");
            } else {
                std::snprintf(text, sizeof text, "[%d]  %d", n, SCORE[n]);
            }
            plat_set_dlg_item_text(winsect[n], ID_SECT_LABEL, text);
        }
    }
    plat_delete_bitmap(bmpres);
    bmpres = plat_create_bitmap(WINDOW, &bmpinfo_, BMPres);
    plat_set_image(STATICres, bmpres);
    return 0;
}

int DRAW_SECTOR_COLOURS(unsigned char* buf, const unsigned char rgb[18][3]) {
    // The sector map is built at start-up; a tool that draws without starting the program builds it here.
    if (mesh_sect[200 * 400 + 200] != 17) INIT_SECT();
    const ResTarget t{buf, nullptr, Bgr{0, 0, 0}};
    Bgr colour[18];
    for (int n = 0; n < 18; n++) colour[n] = Bgr{rgb[n][2], rgb[n][1], rgb[n][0]};
    draw_sector_map(t, colour);
    draw_grid(t, Bgr{0, 0, 0});
    return 0;
}

int DRAW_DIFFERENCE_MAP(unsigned char* buf, const StressRestComparison& c) {
    unsigned char rgb[18][3] = {{255, 255, 255}};
    for (int n = 1; n <= SECTOR_COUNT; ++n)
        for (int k = 0; k < 3; ++k) rgb[n][k] = SEGMENT_CLASS_RGB[c.cls[n]][k];
    return DRAW_SECTOR_COLOURS(buf, rgb);
}

// DISPLAY drawn step by step as the drawing is described: one ellipsoid test
// per pixel, every marker tested at every pixel, sine and cosine computed for
// every outline point. It fills the six picture buffers exactly as DISPLAY does
// and hands nothing over.
#include <cmath>

#include "literal.h"
#include "main.h"

namespace {

// The value shown for a voxel, truncated toward zero (out-of-range and NaN
// values are first brought within +-1e6, where the truncation is defined).
int lit_trunc(float f) {
    if (f >= 1.0e6f) return 1000000;
    if (!(f > -1.0e6f)) return -1000000;
    return static_cast<int>(f);
}

int lit_trunc_d(double f) {
    if (f >= 1.0e6) return 1000000;
    if (!(f > -1.0e6)) return -1000000;
    return static_cast<int>(f);
}

float lit_dist(int i, int j, int k) {
    float d = static_cast<float>((i - ell_ci) * (i - ell_ci)) / static_cast<float>(ell_ri * ell_ri);
    d = d + static_cast<float>((j - ell_cj) * (j - ell_cj)) / static_cast<float>(ell_rj * ell_rj);
    d = d + static_cast<float>((k - ell_ck) * (k - ell_ck)) / static_cast<float>(ell_rk * ell_rk);
    return d;
}

int lit_abs(int v) { return v < 0 ? -v : v; }

void lit_put(unsigned char* pic, int x, int y, int r, int g, int b) {
    unsigned char* p = pic + y * 768 + x * 3;
    p[0] = static_cast<unsigned char>(b);
    p[1] = static_cast<unsigned char>(g);
    p[2] = static_cast<unsigned char>(r);
}

void lit_put_shade(unsigned char* pic, int x, int y, int h) {
    const int n = ((h ? 1 : 0) * 6 + couleur) * 3;
    lit_put(pic, x, y, couleurs[n], couleurs[n + 1], couleurs[n + 2]);
}

void lit_put_voxel(unsigned char* pic, int x, int y, float value) {
    int v = lit_trunc(value);
    if (v < 0) v = 0;
    if (v > 100) v = 100;
    lit_put(pic, x, y, palette[palet * 303 + 202 + v], palette[palet * 303 + 101 + v], palette[palet * 303 + v]);
}

// A slice outside 0..255 shows the nearest plane (never a voxel outside the volume).
int lit_plane(int slice) {
    if (slice < 0) return 0;
    if (slice > 255) return 255;
    return slice;
}

void lit_voxel_of(int view, int x, int y, int& i, int& j, int& k) {
    if (view == 0) {
        i = y;
        j = x;
        k = lit_plane(Nhla);
    } else if (view == 1) {
        i = x;
        j = lit_plane(Nvla);
        k = y;
    } else {
        i = lit_plane(Nsa);
        j = x;
        k = y;
    }
}

void lit_view(int view, unsigned char* pic) {
    int row_line, col_line;
    if (view == 0) {
        row_line = Nsa;
        col_line = Nvla;
    } else if (view == 1) {
        row_line = Nhla;
        col_line = Nsa;
    } else {
        row_line = Nhla;
        col_line = Nvla;
    }
    int ox, oy, ix, iy;
    if (view == 0) {
        ox = ell_cj, oy = ell_ci, ix = ill_cj, iy = ill_ci;
    } else if (view == 1) {
        ox = ell_ci, oy = ell_ck, ix = ill_ci, iy = ill_ck;
    } else {
        ox = ell_cj, oy = ell_ck, ix = ill_cj, iy = ill_ck;
    }

    for (int y = 0; y < 256; y++) {
        for (int x = 0; x < 256; x++) {
            int i, j, k;
            lit_voxel_of(view, x, y, i, j, k);
            int v = lit_trunc(data[i * 65536 + j * 256 + k]);
            if (ell_ok && set_ombre && !((x % 2 == 1) && (y % 2 == 1))) {
                if (lit_dist(i, j, k) > 1.0 || i < plan_i) v = v / 4;
            }
            if (v < 0) v = 0;
            if (v > 100) v = 100;
            lit_put(pic, x, y, palette[palet * 303 + 202 + v], palette[palet * 303 + 101 + v], palette[palet * 303 + v]);
            if ((y == row_line && x % 4 == 0) || (x == col_line && y % 4 == 0)) {
                unsigned char* p = pic + y * 768 + x * 3;
                p[0] = static_cast<unsigned char>(255 - p[0]);
                p[1] = static_cast<unsigned char>(255 - p[1]);
                p[2] = static_cast<unsigned char>(255 - p[2]);
            }
            if (ell_ok) {
                if (view == 2 && Nsa == apex_i && lit_abs(x - ox) <= 3 && lit_abs(y - oy) <= 3)
                    lit_put(pic, x, y, ELL_R, ELL_G, ELL_B);
                if (lit_abs(x - ox) <= 2 && lit_abs(y - oy) <= 2) lit_put_shade(pic, x, y, set_centre[view]);
                if ((y == oy && lit_abs(x - ox) <= 6) || (x == ox && lit_abs(y - oy) <= 6))
                    lit_put_shade(pic, x, y, set_centre[view]);
                if (lit_abs(x - ix) <= 3 && lit_abs(y - iy) <= 3) lit_put_shade(pic, x, y, set_centri[view]);
                if (view == 0 && (y == plan_i || (lit_abs(y - plan_i) <= 3 && (x <= 5 || x >= 250))))
                    lit_put_shade(pic, x, y, set_plan[0]);
                if (view == 1 && (x == plan_i || (lit_abs(x - plan_i) <= 3 && (y <= 5 || y >= 250))))
                    lit_put_shade(pic, x, y, set_plan[1]);
            }
        }
    }
    if (!ell_ok) return;

    // Outlines: outer first, then inner; none in the SA view above the base plane.
    if (view == 2 && Nsa < plan_i) return;
    for (int e = 0; e < 2; e++) {
        int ci, cj, ck, ri, rj, rk, h;
        if (e == 0) {
            ci = ell_ci, cj = ell_cj, ck = ell_ck, ri = ell_ri, rj = ell_rj, rk = ell_rk, h = set_centre[view];
        } else {
            ci = ill_ci, cj = ill_cj, ck = ill_ck, ri = ill_ri, rj = ill_rj, rk = ill_rk, h = set_centri[view];
        }
        int P, cP, rP, cR, rR, cC, rC;
        if (view == 0) {
            P = Nhla, cP = ck, rP = rk, cR = ci, rR = ri, cC = cj, rC = rj;
        } else if (view == 1) {
            P = Nvla, cP = cj, rP = rj, cR = ck, rR = rk, cC = ci, rC = ri;
        } else {
            P = Nsa, cP = ci, rP = ri, cR = ck, rR = rk, cC = cj, rC = rj;
        }
        float q = 1.0f - static_cast<float>((P - cP) * (P - cP)) / static_cast<float>(rP * rP);
        if (!(q >= 0.0f)) continue;  // also a plane of a flat (zero) semi-axis
        float s = static_cast<float>(std::sqrt(static_cast<double>(q)));
        for (int n = 0; n < 2400; n++) {
            float a = static_cast<float>(n * 3.1415 / 1200);
            int yo = cR + lit_trunc_d(std::cos(static_cast<double>(a)) * (static_cast<double>(rR) * s) + 0.5);
            int xo = cC + lit_trunc_d(std::sin(static_cast<double>(a)) * (static_cast<double>(rC) * s) + 0.5);
            // Inner ellipsoid: the sector runs are restored before the point is drawn.
            if (e == 1 && view != 2) {
                int level = view == 0 ? yo : xo;
                int p = view == 0 ? xo : yo;
                int c = view == 0 ? cj : ck;
                for (int m = 1; m <= 3; m++) {
                    if (level != sect_i[m]) continue;
                    for (int pos = p + 1; pos <= 2 * c - p - 1; pos++) {
                        int x = view == 0 ? pos : level;
                        int y = view == 0 ? level : pos;
                        if (x < 0 || x > 255 || y < 0 || y > 255) continue;
                        int mox, moy, mix, miy;
                        if (view == 0) {
                            mox = ell_cj, moy = ell_ci, mix = ill_cj, miy = ill_ci;
                        } else {
                            mox = ell_ci, moy = ell_ck, mix = ill_ci, miy = ill_ck;
                        }
                        if (lit_abs(x - mox) <= 3 && lit_abs(y - moy) <= 3) continue;
                        if (lit_abs(x - mix) <= 3 && lit_abs(y - miy) <= 3) continue;
                        int vi, vj, vk;
                        lit_voxel_of(view, x, y, vi, vj, vk);
                        lit_put_voxel(pic, x, y, data[vi * 65536 + vj * 256 + vk]);
                    }
                }
            }
            bool in_region;
            if (view == 0)
                in_region = yo >= plan_i && yo <= 255 && xo >= 0 && xo <= 255;
            else if (view == 1)
                in_region = yo >= 0 && yo <= 255 && xo >= plan_i && xo <= 255;
            else
                in_region = yo >= 0 && yo <= 255 && xo >= 0 && xo <= 255;
            if (in_region) lit_put_shade(pic, xo, yo, h);
            // Outer ellipsoid: the dotted chords right after the point.
            if (e == 0 && view != 2) {
                int level = view == 0 ? yo : xo;
                int p = view == 0 ? xo : yo;
                int c = view == 0 ? cj : ck;
                for (int m = 1; m <= 3; m++) {
                    if (level != sect_i[m]) continue;
                    for (int pos = p; pos <= 2 * c - p; pos++) {
                        if (pos % 3 != 0) continue;
                        int x = view == 0 ? pos : level;
                        int y = view == 0 ? level : pos;
                        if (x < 0 || x > 255 || y < 0 || y > 255) continue;
                        lit_put_shade(pic, x, y, h);
                    }
                }
            }
        }
    }
}

void lit_strip(unsigned char* pic, int N) {
    for (int x = 0; x < 256; x++) {
        for (int y = 0; y < 16; y++) {
            int d = lit_abs(y - 8);
            lit_put(pic, x, y, 40 + 3 * d, 80 + 5 * d, 120 + 10 * d);
            if (x == 0 || x == 255 || y == 0 || y == 15) lit_put(pic, x, y, 0, 0, 0);
        }
    }
    for (int y = 0; y < 16; y++) {
        for (int d = -4; d <= 4; d++) {
            int x = N + d;
            if (x >= 0 && x <= 255) lit_put(pic, x, y, 100 - 20 * lit_abs(d), 100 - 20 * lit_abs(d), 250 - 20 * lit_abs(d));
        }
    }
}

}  // namespace

int LITERAL_DISPLAY_DRAW() {
    ELL_R = couleurs[couleur * 3];
    ELL_G = couleurs[couleur * 3 + 1];
    ELL_B = couleurs[couleur * 3 + 2];
    if (load_ok) {
        lit_view(0, BMPhla);
        lit_view(1, BMPvla);
        lit_view(2, BMPsa);
    }
    lit_strip(BMPshla, Nhla);
    lit_strip(BMPsvla, Nvla);
    lit_strip(BMPssa, Nsa);
    return 0;
}

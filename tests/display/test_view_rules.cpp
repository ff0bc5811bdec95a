// Rules of the views checked pixel by pixel on their own, apart from the
// literal transcription: every limit of VERIF_DISP, its order (levels before
// the redraw), the dashed lines of the VLA and SA views, the basal side in the
// long-axis views, and the restored runs around the centre markers.
#include <cstring>
#include <string>

#include "display_fixture.h"
#include "layout.h"

namespace {


// Every voxel of the volume at v.
void fill_volume(float v) {
    for (int n = 0; n < VOL_SIZE; n++) data[n] = v;
    DATA_CHANGED();
    load_ok = 1;
}

// A model well inside the volume, every value within its limits.
void mid_model() {
    Nhla = Nvla = Nsa = 128;
    ell_ci = ell_cj = ell_ck = 128;
    ell_ri = 80, ell_rj = ell_rk = 50;
    ill_ci = ill_cj = ill_ck = 128;
    ill_ri = 30, ill_rj = ill_rk = 20;
    plan_i = 60;
    apex_i = 150;
}

struct Limit {
    const char* name;
    int* var;
    int lo, hi;
};

}  // namespace

TEST_F(SliceViews, VerifDispKeepsEveryVariableWithinItsOwnBounds) {
    const Limit limits[] = {
        {"Nhla", &Nhla, 0, 255},        {"Nvla", &Nvla, 0, 255},        {"Nsa", &Nsa, 0, 255},
        {"ell_ri", &ell_ri, 12, 120},   {"ell_rj", &ell_rj, 12, 120},   {"ell_rk", &ell_rk, 12, 120},
        {"ell_ci", &ell_ci, 12, 244},   {"ell_cj", &ell_cj, 12, 244},   {"ell_ck", &ell_ck, 12, 244},
        {"plan_i", &plan_i, 12, 244},   {"ill_ri", &ill_ri, 4, 120},    {"ill_rj", &ill_rj, 4, 120},
        {"ill_rk", &ill_rk, 4, 120},    {"ill_ci", &ill_ci, 12, 244},
    };
    for (const Limit& l : limits) {
        const int tries[4][2] = {{l.lo - 1, l.lo}, {l.lo, l.lo}, {l.hi, l.hi}, {l.hi + 1, l.hi}};
        for (const auto& t : tries) {
            mid_model();
            *l.var = t[0];
            VERIF_DISP();
            ASSERT_EQ(*l.var, t[1]) << l.name << " from " << t[0];
        }
        // A value far out is brought to the bound as well.
        mid_model();
        *l.var = -100000;
        VERIF_DISP();
        ASSERT_EQ(*l.var, l.lo) << l.name;
        *l.var = 100000;
        VERIF_DISP();
        ASSERT_EQ(*l.var, l.hi) << l.name;
    }
    // The inner centre takes the outer one on j and k, after the outer one is limited.
    for (const int v : {11, 12, 100, 244, 245}) {
        mid_model();
        ell_cj = v, ell_ck = 256 - v;
        ill_cj = 3, ill_ck = 400;
        VERIF_DISP();
        EXPECT_EQ(ill_cj, ell_cj) << v;
        EXPECT_EQ(ill_ck, ell_ck) << v;
        EXPECT_EQ(ill_cj, v < 12 ? 12 : (v > 244 ? 244 : v));
    }
}

TEST_F(SliceViews, VerifDispDrawsTheLevelsItHasJustComputed) {
    fill_volume(50.0f);
    mid_model();
    ell_ok = 1;
    set_ombre = 0;
    ell_cj = 129;
    Nsa = 3, Nvla = 3;
    plan_i = 60, apex_i = 150;  // levels 60, 90, 120, 150
    sect_i[1] = sect_i[2] = sect_i[3] = 0;  // stale
    couleur = 3;
    VERIF_DISP();
    ASSERT_EQ(sect_i[1], 90);
    // Row 90 crosses the outer section (columns 85..173) below the inner one
    // (rows 98..158): a dotted chord, drawn in the very picture handed over.
    const Rgb c = overlay(3);
    EXPECT_EQ(pixel(BMPhla, 99, 90), c);
    EXPECT_EQ(pixel(BMPhla, 100, 90), step(50));
    const std::vector<unsigned char>& shown_hla = shown(ID_VIEW_HLA)->pixels;
    EXPECT_EQ(pixel(shown_hla.data(), 99, 90), c);
    EXPECT_EQ(pixel(shown_hla.data(), 159, 90), c);
}

TEST_F(SliceViews, DashedLinesOfTheVlaAndSaViewsAreInvertedOnceEachWay) {
    load_ok = 1;
    auto value = [](int i, int j, int k) { return (i + 2 * j + 3 * k) % 101; };
    for (int a = 0; a < 256; a++)
        for (int b = 0; b < 256; b++) {
            volume_at(a, 100, b) = static_cast<float>(value(a, 100, b));  // VLA plane 100
            volume_at(a, 101, b) = static_cast<float>(value(a, 101, b));  // VLA plane 101
            volume_at(100, a, b) = static_cast<float>(value(100, a, b));  // SA plane 100
        }
    DATA_CHANGED();
    // VLA: row Nhla, column Nsa; SA: row Nhla, column Nvla.
    auto check = [&](const char* what) {
        DISPLAY();
        for (int y = 0; y < 256; y++)
            for (int x = 0; x < 256; x++) {
                const bool vla_on = (y == Nhla && x % 4 == 0) || (x == Nsa && y % 4 == 0);
                const Rgb vla = step(value(x, Nvla, y));
                ASSERT_EQ(pixel(BMPvla, x, y), vla_on ? inverted(vla) : vla) << what << ": VLA " << x << ", " << y;
                const bool sa_on = (y == Nhla && x % 4 == 0) || (x == Nvla && y % 4 == 0);
                const Rgb sa = step(value(Nsa, x, y));
                ASSERT_EQ(pixel(BMPsa, x, y), sa_on ? inverted(sa) : sa) << what << ": SA " << x << ", " << y;
            }
    };
    // Crossings: VLA (100, 40) on both lines' dashes, inverted once; SA (101, 40)
    // on the column's dashes only.
    Nhla = 40, Nsa = 100, Nvla = 101;
    check("row 40");
    EXPECT_EQ(pixel(BMPvla, 100, 40), inverted(step(value(100, 101, 40))));
    EXPECT_EQ(pixel(BMPsa, 101, 40), inverted(step(value(100, 101, 40))));
    // Row 41 is off the columns' dashes: the crossings (100, 41) of both views are
    // inverted by the row alone.
    Nhla = 41, Nvla = 100;
    check("row 41");
    EXPECT_EQ(pixel(BMPsa, 100, 41), inverted(step(value(100, 100, 41))));
    EXPECT_EQ(pixel(BMPvla, 100, 41), inverted(step(value(100, 100, 41))));
}

TEST_F(SliceViews, LongAxisViewsDimAndCutTheOutlineOnTheBasalSideOfTheirOwnAxis) {
    fill_volume(80.0f);
    mid_model();
    ell_ok = 1;
    set_ombre = 1;
    plan_i = 100;
    Nhla = Nvla = 128;
    Nsa = 3;
    sect_i[1] = 90, sect_i[2] = 150, sect_i[3] = 201;  // one level on the basal side
    couleur = 3;
    DISPLAY();
    const Rgb c = overlay(3);
    // VLA: i runs along the columns. Inside the outer ellipsoid, column 99 is on
    // the basal side (dimmed off the lattice), column 101 is not.
    EXPECT_EQ(pixel(BMPvla, 99, 128), step(20));
    EXPECT_EQ(pixel(BMPvla, 99, 141), step(80));  // the lattice (odd, odd)
    EXPECT_EQ(pixel(BMPvla, 101, 140), step(80));
    // HLA: i runs along the rows.
    EXPECT_EQ(pixel(BMPhla, 138, 99), step(20));
    EXPECT_EQ(pixel(BMPhla, 137, 99), step(80));
    EXPECT_EQ(pixel(BMPhla, 140, 101), step(80));

    // VLA outline: the point at n = 1800 (column 49, row 128) lies on the basal
    // side and is not drawn; on that side only the chord of level 90 (a dotted
    // column at rows that are multiples of 3) and the plane's ticks are.
    EXPECT_NE(pixel(BMPvla, 49, 128), c);
    EXPECT_EQ(pixel(BMPvla, 128, 178), c);  // n = 0
    int rmin = 256, rmax = -1, dots = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 100; x++) {
            if (pixel(BMPvla, x, y) != c) continue;
            if (x >= 97 && (y <= 5 || y >= 250)) continue;  // ticks of the plane at column 100
            ASSERT_EQ(x, 90) << "outline drawn on the basal side at " << x << ", " << y;
            ASSERT_EQ(y % 3, 0) << y;
            rmin = y < rmin ? y : rmin;
            rmax = y > rmax ? y : rmax;
            dots++;
        }
    // The points of level 90 on the low side lie at rows 85 and 86 (the 0.5 is
    // added before truncating toward zero), so the chord runs over rows 85..171,
    // dotted at 87..171.
    EXPECT_EQ(rmin, 87);
    EXPECT_EQ(rmax, 171);
    EXPECT_EQ(dots, 29);
    EXPECT_EQ(pixel(BMPvla, 100, 60), c);  // the plane's column
}

TEST_F(SliceViews, RestoredRunsLeaveThePixelsNearTheCentreMarkersAlone) {
    fill_volume(50.0f);
    mid_model();
    ell_ok = 1;
    set_ombre = 1;
    ell_cj = ill_cj = 129;
    ill_ci = 118;  // inner marker (129, 118), outer marker (129, 128)
    plan_i = 130;  // the two levels below lie on the basal side: dimmed off the lattice
    Nhla = 128, Nsa = 3, Nvla = 3;
    sect_i[1] = 129;  // one row above the outer centre
    sect_i[2] = 120;  // two rows above the inner centre
    sect_i[3] = 20;   // below the outer tip: no chord
    couleur = 2;
    DISPLAY();
    const Rgb c = overlay(2);
    // Row 129: the outer chord dots (multiples of 3) between the inner outline's
    // points are restored to the voxel's own step, undimmed; within 3 of the
    // outer marker they stay as they were.
    EXPECT_EQ(pixel(BMPhla, 126, 129), c);  // chord dot, |x - 129| = 3
    EXPECT_EQ(pixel(BMPhla, 132, 129), c);
    EXPECT_EQ(pixel(BMPhla, 128, 129), c);  // outer square
    EXPECT_EQ(pixel(BMPhla, 123, 129), step(50));  // chord dot restored
    EXPECT_EQ(pixel(BMPhla, 135, 129), step(50));
    EXPECT_EQ(pixel(BMPhla, 136, 129), step(50));  // dimmed pixel restored undimmed
    EXPECT_EQ(pixel(BMPhla, 124, 129), step(50));
    // Outside the inner section: the chord and the shadow stay.
    EXPECT_EQ(pixel(BMPhla, 99, 129), c);
    EXPECT_EQ(pixel(BMPhla, 100, 129), step(12));
    EXPECT_EQ(pixel(BMPhla, 159, 129), c);
    // Row 120 crosses the inner square (columns 126..132, rows 115..121): the
    // square stays whole, the run either side of it is restored.
    for (int x = 126; x <= 132; x++) EXPECT_EQ(pixel(BMPhla, x, 120), c) << x;
    EXPECT_EQ(pixel(BMPhla, 123, 120), step(50));
    EXPECT_EQ(pixel(BMPhla, 125, 120), step(50));
    EXPECT_EQ(pixel(BMPhla, 133, 120), step(50));
    EXPECT_EQ(pixel(BMPhla, 135, 120), step(50));
    expect_same_as_literal("levels through the centre markers");
}

TEST_F(SliceViews, ShadowSumsTheThreeTermsInSinglePrecisionInTheirOrder) {
    // Radii (116, 108, 46), offsets (88, 35, 26): (i + j) + k in single
    // precision is exactly 1 (not dimmed), though i + (j + k) and the exact sum
    // lie above 1. Radii (53, 101, 99), offsets (28, 77, 37): (i + j) + k is just
    // above 1 (dimmed), i + (j + k) is exactly 1.
    struct Case {
        int ri, rj, rk, di, dj, dk, cj;  // cj puts the SA pixels off the lattice
        float dist;
        bool dimmed;
    };
    const Case cases[] = {{116, 108, 46, 88, 35, 26, 128, 1.0f, false},
                          {53, 101, 99, 28, 77, 37, 127, 1.0000001f, true}};
    fill_volume(80.0f);
    couleur = 0;
    for (const Case& c : cases) {
        mid_model();
        ell_ok = 1;
        set_ombre = 1;
        ell_ri = c.ri, ell_rj = c.rj, ell_rk = c.rk;
        ell_cj = ill_cj = c.cj;
        ill_ri = ill_rj = ill_rk = 4;
        plan_i = 12;
        ASSERT_EQ(EVAL_DIST(128 + c.di, c.cj + c.dj, 128 + c.dk), c.dist);
        const float a = static_cast<float>(c.di * c.di) / static_cast<float>(c.ri * c.ri);
        const float b = static_cast<float>(c.dj * c.dj) / static_cast<float>(c.rj * c.rj);
        const float k = static_cast<float>(c.dk * c.dk) / static_cast<float>(c.rk * c.rk);
        ASSERT_NE(a + (b + k) > 1.0f, c.dist > 1.0f);  // the order matters here
        // The SA view of plane 128 + di shows the four voxels at +-dj, +-dk, each
        // off the lattice, at the same distance; the outline may pass over some.
        Nsa = 128 + c.di, Nhla = 3, Nvla = 3;
        DISPLAY();
        int shown = 0;
        for (const int sj : {-1, 1})
            for (const int sk : {-1, 1}) {
                const int x = c.cj + sj * c.dj, y = 128 + sk * c.dk;
                ASSERT_FALSE(x % 2 == 1 && y % 2 == 1);
                const Rgb p = pixel(BMPsa, x, y);
                if (p == overlay(0)) continue;
                EXPECT_EQ(p, step(c.dimmed ? 20 : 80)) << c.ri << ": " << x << ", " << y;
                shown++;
            }
        EXPECT_GE(shown, 2) << c.ri;
    }
}

TEST_F(SliceViews, OutlineAnglesUseTheConstant3Point1415) {
    // n x 3.1415 / 1200 falls short of n x pi / 1200 by up to 0.00019; on a
    // circle of radius 25 three pixels are reached only with 3.1415, on one of
    // radius 28 two pixels only with pi.
    fill_volume(10.0f);
    mid_model();
    ell_ok = 1;
    set_ombre = 0;
    ill_ri = ill_rj = ill_rk = 4;
    Nsa = ell_ci, Nhla = 3, Nvla = 3;  // q = 1
    couleur = 3;
    const Rgb c = overlay(3);
    ell_rj = ell_rk = 25;
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 128 - 23, 128 + 9), c);
    EXPECT_EQ(pixel(BMPsa, 128 - 8, 128 - 23), c);
    EXPECT_EQ(pixel(BMPsa, 128 + 24, 128 - 8), c);
    ell_rj = ell_rk = 28;
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 128 - 24, 128 - 13), step(10));
    EXPECT_EQ(pixel(BMPsa, 128 - 13, 128 + 25), step(10));
    EXPECT_EQ(pixel(BMPsa, 128 - 24, 128 - 12), c);  // its neighbours on the outline
    EXPECT_EQ(pixel(BMPsa, 128 - 23, 128 - 13), c);
}

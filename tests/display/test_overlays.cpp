// The model drawn over the views: markers, outlines, sector limits, shades.
#include <cstring>
#include <vector>

#include "display_fixture.h"

namespace {


int count_colour(const unsigned char* pic, Rgb c) {
    int n = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) n += pixel(pic, x, y) == c;
    return n;
}

// A loaded, empty study with a model well inside the volume and lines out of the way.
void simple_model() {
    load_ok = 1;
    ell_ok = 1;
    ell_ci = 128, ell_cj = 128, ell_ck = 128;
    ell_ri = 80, ell_rj = 50, ell_rk = 50;
    ill_ci = 128, ill_cj = 128, ill_ck = 128;
    ill_ri = 30, ill_rj = 20, ill_rk = 20;
    plan_i = 60;
    apex_i = 200;
    sect_i[0] = 60, sect_i[1] = 106, sect_i[2] = 153, sect_i[3] = 200, sect_i[4] = 208;
    Nhla = 128, Nvla = 128, Nsa = 128;
    set_ombre = 0;
}

}  // namespace

TEST_F(SliceViews, NothingOfTheModelIsDrawnBeforeItIsPlaced) {
    fill_synthetic_study();
    place_study_model();
    ell_ok = 0;
    Nhla = 3, Nvla = 3, Nsa = 3;  // lines at the edge, checked apart
    DISPLAY();
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            if (x == 3 || y == 3) continue;
            const int v[3] = {static_cast<int>(volume_at(y, x, 3)), static_cast<int>(volume_at(x, 3, y)),
                              static_cast<int>(volume_at(3, x, y))};
            ASSERT_EQ(pixel(BMPhla, x, y), step(v[0])) << x << ", " << y;
            ASSERT_EQ(pixel(BMPvla, x, y), step(v[1])) << x << ", " << y;
            ASSERT_EQ(pixel(BMPsa, x, y), step(v[2])) << x << ", " << y;
        }
}

TEST_F(SliceViews, SaOutlineRunsThroughItsFourPointsOnePixelShortOnTheLowSide) {
    simple_model();
    ill_ri = ill_rj = ill_rk = 4;  // inner outline inside the markers
    ill_ci = 128;
    couleur = 3;
    DISPLAY();
    const Rgb c = overlay(3);
    EXPECT_EQ(pixel(BMPsa, 128, 178), c);
    EXPECT_EQ(pixel(BMPsa, 178, 128), c);
    EXPECT_EQ(pixel(BMPsa, 128, 79), c);
    EXPECT_EQ(pixel(BMPsa, 79, 128), c);
    EXPECT_NE(pixel(BMPsa, 128, 78), c);
    EXPECT_NE(pixel(BMPsa, 78, 128), c);
    int xmin = 255, xmax = 0, ymin = 255, ymax = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            if (pixel(BMPsa, x, y) == c) {
                xmin = x < xmin ? x : xmin;
                xmax = x > xmax ? x : xmax;
                ymin = y < ymin ? y : ymin;
                ymax = y > ymax ? y : ymax;
            }
    EXPECT_EQ(xmin, 79);
    EXPECT_EQ(xmax, 178);
    EXPECT_EQ(ymin, 79);
    EXPECT_EQ(ymax, 178);
}

TEST_F(SliceViews, PlaneAtTheTipDrawsOnePixelAndBeyondItNothing) {
    simple_model();
    // In the SA view the inner square covers the shared centre; the outer outline
    // drawn after it shows there as one pixel in the (held, pale) outer colour.
    ill_ci = 100, ill_ri = 20;  // inner tip at 120: the planes below miss it
    set_centre[2] = 1;
    couleur = 2;
    const Rgb outer = overlay(2, 1), inner = overlay(2, 0);
    Nsa = ell_ci + ell_ri;  // 208: q = 0
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 128, 128), outer);
    EXPECT_EQ(pixel(BMPsa, 129, 128), inner);
    EXPECT_EQ(pixel(BMPsa, 127, 127), inner);
    EXPECT_EQ(count_colour(BMPsa, outer), 1 + 12);  // the point and the cross arms beyond the square
    Nsa = ell_ci + ell_ri + 1;  // beyond: no outline at all
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 128, 128), inner);
    EXPECT_EQ(count_colour(BMPsa, outer), 12);
}

TEST_F(SliceViews, HlaOutlineStopsAtTheBasePlaneButChordsBelowItAreDrawn) {
    simple_model();
    ell_ci = 130, ell_cj = 129, ell_rj = 40;
    ill_ci = 200, ill_ri = 20;  // inner rows 180..220: no level of the chords
    plan_i = 150;
    apex_i = 90;
    EVAL_SECT();  // 150, 130, 110, 90
    ASSERT_EQ(sect_i[1], 130);
    Nhla = ell_ck;
    Nsa = 3, Nvla = 3;
    DISPLAY();
    const Rgb c = overlay(couleur);
    // Row 130, the widest of the outline: dotted from 129 - 39 to 129 + 39, and the cross.
    for (int x = 0; x < 256; x++) {
        if (x == 3) continue;  // dashed column
        const bool want = (x % 3 == 0 && x >= 90 && x <= 168) || (x >= 123 && x <= 135);
        EXPECT_EQ(pixel(BMPhla, x, 130) == c, want) << x;
    }
    // No outline point below the plane: only chords and markers there.
    for (int y = 0; y < 147; y++)  // rows 147..149 hold the plane's ticks
        for (int x = 0; x < 256; x++) {
            if (pixel(BMPhla, x, y) != c || (y >= 124 && y <= 136 && x >= 123 && x <= 135)) continue;
            ASSERT_TRUE((y == 130 || y == 110 || y == 90) && x % 3 == 0) << x << ", " << y;
        }
    // Above the plane the outline is drawn: the tip row 130 + 80 = 210 at column 129.
    EXPECT_EQ(pixel(BMPhla, 129, 210), c);
    // The base plane: the whole row and the ticks 3 rows either side at both edges.
    EXPECT_EQ(pixel(BMPhla, 77, 150), c);
    EXPECT_EQ(pixel(BMPhla, 5, 153), c);
    EXPECT_EQ(pixel(BMPhla, 250, 147), c);
    EXPECT_NE(pixel(BMPhla, 6, 153), c);
    EXPECT_NE(pixel(BMPhla, 5, 154), c);
}

TEST_F(SliceViews, InnerOutlineRestoresTheWallRunsBetweenItsPoints) {
    simple_model();
    Nhla = 128, Nsa = 3, Nvla = 3;
    for (int i = 0; i < 256; i++)
        for (int j = 0; j < 256; j++) volume_at(i, j, 128) = 50.0f;
    set_ombre = 1;  // the restored runs show no shadow
    sect_i[1] = 140;  // a level through the inner ellipsoid (rows 98..158)
    sect_i[2] = 20, sect_i[3] = 21;  // below the outer tip: no chord
    DATA_CHANGED();  // the voxels above were written by hand
    DISPLAY();
    const Rgb c = overlay(couleur);
    // Outer chord on row 140: multiples of 3 across the outer section; the inner
    // outline then restores its inside, except near the centre markers.
    int restored = 0;
    for (int x = 115; x <= 141; x++) {
        const Rgb p = pixel(BMPhla, x, 140);
        if (p == step(50)) restored++;
        ASSERT_NE(p, step(12)) << x;  // never the shadowed value
    }
    EXPECT_GT(restored, 20);
    // Outside the inner section the chord stays.
    EXPECT_EQ(pixel(BMPhla, 90, 140), c);
    EXPECT_EQ(pixel(BMPhla, 165, 140), c);
}

TEST_F(SliceViews, ApexMarkOnlyAtTheApexSliceAndPaintedFirst) {
    simple_model();
    ill_cj = 134;  // apart from the outer centre (DISPLAY alone does not join them)
    apex_i = 150;
    Nsa = 150;
    Nhla = 3, Nvla = 3;
    couleur = 5;
    set_centre[2] = 1;  // outer elements pale, the apex mark normal
    DISPLAY();
    const Rgb apex = overlay(5, 0), outer = overlay(5, 1);
    EXPECT_EQ(pixel(BMPsa, 125, 131), apex);  // corner of the 7 x 7 mark
    EXPECT_EQ(pixel(BMPsa, 125, 125), apex);
    EXPECT_EQ(pixel(BMPsa, 126, 128), outer);  // outer square over it
    EXPECT_EQ(pixel(BMPsa, 128, 131), outer);  // cross over it
    EXPECT_EQ(pixel(BMPsa, 131, 128), apex);   // inner square (134 +- 3) over it, inner is normal too
    EXPECT_EQ(pixel(BMPsa, 130, 131), apex);
    EXPECT_EQ(pixel(BMPsa, 124, 128), outer);  // cross arm beyond the mark
    Nsa = 151;
    DISPLAY();
    EXPECT_NE(pixel(BMPsa, 125, 131), apex);
    EXPECT_NE(pixel(BMPsa, 125, 125), apex);
    // Never in the long-axis views.
    apex_i = 128;
    Nsa = 128;
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 125, 125), apex);
    EXPECT_NE(pixel(BMPhla, 125, 125), apex);
}

TEST_F(SliceViews, HeldOuterCentreIsPaleInItsViewOnly) {
    simple_model();
    couleur = 4;
    set_centre[0] = 1;
    sect_i[1] = 150;
    DISPLAY();
    const Rgb pale{250, 150, 150}, normal{250, 0, 0};
    EXPECT_EQ(pixel(BMPhla, 128 + 5, 128), pale);      // outer cross, HLA (x = j, y = i)
    EXPECT_EQ(pixel(BMPhla, 128, 128 - 6), pale);
    EXPECT_EQ(pixel(BMPhla, 128, 208), pale);          // outline tip at i = 128 + 80
    EXPECT_EQ(pixel(BMPhla, 87, 150), pale);           // chord on level 150 (a multiple of 3)
    EXPECT_EQ(pixel(BMPvla, 128 + 5, 128), normal);
    EXPECT_EQ(pixel(BMPvla, 208, 128), normal);
    EXPECT_EQ(pixel(BMPsa, 128 + 5, 128), normal);
    EXPECT_EQ(pixel(BMPsa, 128, 178), normal);
    EXPECT_EQ(count_colour(BMPvla, pale), 0);
    EXPECT_EQ(count_colour(BMPsa, pale), 0);
    // The inner square and the base plane keep the normal shade in the HLA view.
    EXPECT_EQ(pixel(BMPhla, 128 + 3, 128 - 3), normal);
    EXPECT_EQ(pixel(BMPhla, 10, 60), normal);
    // ELL_R, ELL_G, ELL_B take the normal shade whatever is held.
    EXPECT_EQ(ELL_R, 250);
    EXPECT_EQ(ELL_G, 0);
    EXPECT_EQ(ELL_B, 0);
}

TEST_F(SliceViews, ColourOneDrawsEveryOverlayBlackOrGreyWhileHeld) {
    simple_model();
    couleur = 1;
    set_centri[1] = 1;
    set_plan[0] = 1;
    DISPLAY();
    const Rgb black{0, 0, 0}, grey{100, 100, 100};
    EXPECT_EQ(pixel(BMPhla, 130, 130), black);   // outer square
    EXPECT_EQ(pixel(BMPhla, 100, 60), grey);     // held base plane
    EXPECT_EQ(pixel(BMPvla, 128 + 3, 128 + 3), grey);  // held inner square
    EXPECT_EQ(pixel(BMPvla, 60, 100), black);    // base plane column in the VLA view
    EXPECT_EQ(pixel(BMPsa, 128, 178), black);    // outline
    EXPECT_EQ(pixel(BMPsa, 128, 148), black);    // inner outline (radius 20)
    EXPECT_EQ(pixel(BMPvla, 158, 128), grey);    // inner outline in the VLA view (i = 128 + 30)
    EXPECT_EQ(ELL_R + ELL_G + ELL_B, 0);
}

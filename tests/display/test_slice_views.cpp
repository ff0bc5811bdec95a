// The three slice views, their strips, the shadow, the dashed lines, the
// hand-over of the six pictures and the limits of VERIF_DISP.
#include <cstring>
#include <string>

#include "display_fixture.h"
#include "layout.h"

namespace {

// Voxel (i, j, k) of the volume.

Rgb strip_background(int y) {
    const int d = y < 8 ? 8 - y : y - 8;
    return Rgb{40 + 3 * d, 80 + 5 * d, 120 + 10 * d};
}

Rgb strip_marker(int d) {
    const int a = d < 0 ? -d : d;
    return Rgb{100 - 20 * a, 100 - 20 * a, 250 - 20 * a};
}

// Checks one strip whose marker is at N: background, frame, 9-column marker over the frame rows too.
void expect_strip(const unsigned char* pic, int N) {
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 256; x++) {
            const int d = x - N;
            Rgb want;
            if (d >= -4 && d <= 4)
                want = strip_marker(d);
            else if (x == 0 || x == 255 || y == 0 || y == 15)
                want = Rgb{0, 0, 0};
            else
                want = strip_background(y);
            ASSERT_EQ(pixel(pic, x, y), want) << "strip with marker " << N << " at (" << x << ", " << y << ")";
        }
}

}  // namespace

TEST_F(SliceViews, BeforeAnyLoadTheViewsStayBlackAndTheStripsMarkSlice128) {
    DISPLAY();
    const unsigned char* bufs[3] = {BMPhla, BMPvla, BMPsa};
    for (const unsigned char* b : bufs)
        for (int n = 0; n < VIEW_BYTES; n++) ASSERT_EQ(b[n], 0) << n;
    expect_strip(BMPshla, 128);
    expect_strip(BMPsvla, 128);
    expect_strip(BMPssa, 128);
    // The lightest visible rows and the darkest row, as blue, green, red.
    EXPECT_EQ(pixel(BMPshla, 10, 1), (Rgb{61, 115, 190}));
    EXPECT_EQ(pixel(BMPshla, 10, 14), (Rgb{58, 110, 180}));
    EXPECT_EQ(pixel(BMPshla, 10, 8), (Rgb{40, 80, 120}));
}

TEST_F(SliceViews, ViewsAreLeftAsTheyAreWhileNoVolumeIsLoaded) {
    std::memset(BMPvla, 77, VIEW_BYTES);
    ell_ok = 1;  // even a placed model draws nothing without a volume
    place_study_model();
    DISPLAY();
    for (int n = 0; n < VIEW_BYTES; n++) ASSERT_EQ(BMPvla[n], 77) << n;
    EXPECT_EQ(shown(ID_VIEW_VLA)->pixels[0], 77);
}

TEST_F(SliceViews, HandsOverSixPicturesInOrderKeepingOneBitmapEach) {
    fill_synthetic_study();
    place_study_model();
    DISPLAY();
    DISPLAY();
    const headless::State& st = headless::state();
    EXPECT_EQ(st.live_bitmaps, 6);
    EXPECT_EQ(st.deleted_bitmaps, 6);
    ASSERT_EQ(st.bitmaps.size(), 12u);
    // Second call: views first (HLA, VLA, SA), then the strips, each the picture's current bitmap.
    const HBMP_ order[6] = {bmphla, bmpvla, bmpsa, bmpshla, bmpsvla, bmpssa};
    const int ids[6] = {ID_VIEW_HLA, ID_VIEW_VLA, ID_VIEW_SA, ID_STRIP_HLA, ID_STRIP_VLA, ID_STRIP_SA};
    const unsigned char* bufs[6] = {BMPhla, BMPvla, BMPsa, BMPshla, BMPsvla, BMPssa};
    const HWND_ statics[6] = {STATIChla, STATICvla, STATICsa, STATICshla, STATICsvla, STATICssa};
    for (int n = 0; n < 6; n++) {
        EXPECT_EQ(st.bitmaps[6 + n].get(), order[n]) << n;
        EXPECT_FALSE(st.bitmaps[n]->alive) << n;
        EXPECT_TRUE(order[n]->alive) << n;
        EXPECT_EQ(statics[n], headless::control(WINDOW, ids[n])) << n;
        const PlatBitmap_* img = shown(ids[n]);
        ASSERT_EQ(img, order[n]) << n;
        EXPECT_EQ(img->width, 256);
        EXPECT_EQ(img->height, n < 3 ? 256 : 16);
        const int bytes = n < 3 ? VIEW_BYTES : STRIP_BYTES;
        ASSERT_EQ(static_cast<int>(img->pixels.size()), bytes);
        EXPECT_EQ(std::memcmp(img->pixels.data(), bufs[n], bytes), 0) << n;
    }
}

TEST_F(SliceViews, StripMarkerIsCutAtBothEnds) {
    Nsa = 0;
    Nhla = 255;
    Nvla = 4;
    DISPLAY();
    expect_strip(BMPssa, 0);    // columns 0..4, over the frame column
    expect_strip(BMPshla, 255);  // columns 251..255
    expect_strip(BMPsvla, 4);
    EXPECT_EQ(pixel(BMPssa, 0, 0), strip_marker(0));
    EXPECT_EQ(pixel(BMPssa, 5, 3), strip_background(3));
}

TEST_F(SliceViews, EachViewShowsItsPlaneInPaletteColoursWithTruncatedValues) {
    load_ok = 1;
    palet = 3;
    Nhla = 20, Nvla = 30, Nsa = 60;  // lines away from the pixels looked at
    volume_at(7, 9, 20) = 99.9f;   // HLA (x = j, y = i)
    volume_at(7, 30, 11) = 100.0f;  // VLA (x = i, y = k)
    volume_at(60, 13, 5) = 42.99f;  // SA (x = j, y = k)
    volume_at(60, 14, 5) = -3.0f;   // below the scale: step 0
    volume_at(60, 15, 5) = 250.0f;  // above it: step 100
    DATA_CHANGED();  // the voxels above were written by hand
    DISPLAY();
    EXPECT_EQ(pixel(BMPhla, 9, 7), step(99));
    EXPECT_EQ(pixel(BMPvla, 7, 11), step(100));
    EXPECT_EQ(pixel(BMPsa, 13, 5), step(42));
    EXPECT_EQ(pixel(BMPsa, 14, 5), step(0));
    EXPECT_EQ(pixel(BMPsa, 15, 5), step(100));
    EXPECT_EQ(pixel(BMPsa, 13, 6), step(0));
    // The palette's planes go to blue, green, red: step 99 of palette 3 is red 153, green 199, blue 62.
    EXPECT_EQ(step(99), (Rgb{153, 199, 62}));
}

TEST_F(SliceViews, ShadowDimsOutsideTheModelButForTheOddOddLattice) {
    load_ok = 1;
    ell_ok = 1;
    ell_ci = 128, ell_cj = 200, ell_ck = 200, ell_ri = ell_rj = ell_rk = 20;
    ill_ci = 128, ill_cj = 200, ill_ck = 200, ill_ri = ill_rj = ill_rk = 5;
    plan_i = 100;
    Nsa = 128, Nhla = 128, Nvla = 128;
    volume_at(128, 10, 10) = 87.0f;
    volume_at(128, 11, 11) = 87.0f;
    volume_at(128, 10, 11) = 87.0f;
    volume_at(128, 11, 10) = 87.0f;
    DATA_CHANGED();  // the voxels above were written by hand
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 10, 10), step(21));
    EXPECT_EQ(pixel(BMPsa, 11, 11), step(87));
    EXPECT_EQ(pixel(BMPsa, 10, 11), step(21));
    EXPECT_EQ(pixel(BMPsa, 11, 10), step(21));

    set_ombre = 0;  // shadow off: every voxel undimmed
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 10, 10), step(87));
    set_ombre = 1;
    ell_ok = 0;  // model not placed: no shadow either
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 10, 10), step(87));
}

TEST_F(SliceViews, VoxelExactlyOnTheSurfaceIsNotDimmed) {
    load_ok = 1;
    ell_ok = 1;
    ell_ci = ell_cj = ell_ck = 128, ell_ri = 30, ell_rj = ell_rk = 50;
    ill_ci = ill_cj = ill_ck = 128, ill_ri = ill_rj = ill_rk = 4;
    plan_i = 100;
    Nsa = 128, Nhla = 20, Nvla = 20;
    EXPECT_EQ(EVAL_DIST(128, 128, 78), 1.0f);
    // (12, 0, 16) on radii 20: 0.36f + 0.64f is exactly 1 in single precision.
    ell_ri = ell_rj = ell_rk = 20;
    EXPECT_EQ(EVAL_DIST(140, 128, 144), 1.0f);
    EXPECT_EQ(EVAL_DIST(148, 130, 128), 1.0f + 4.0f / 400.0f);
    ell_ri = 30, ell_rj = ell_rk = 50;
    // SA pixel (128, 78) is voxel (128, 128, 78), on the surface; the outline stops one
    // row short of it on that side, so the pixel shows the voxel itself.
    volume_at(128, 128, 78) = 60.0f;
    volume_at(128, 128, 77) = 60.0f;
    DATA_CHANGED();  // the voxels above were written by hand
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 128, 78), step(60));
    EXPECT_EQ(pixel(BMPsa, 128, 77), step(15));
    // The same voxel on the basal side of the base plane is dimmed.
    plan_i = 129;
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 128, 78), step(15));
}

TEST_F(SliceViews, SaViewOnTheBasalSideIsDimmedEverywhereButTheLattice) {
    load_ok = 1;
    ell_ok = 1;
    ell_ci = ell_cj = ell_ck = 128, ell_ri = ell_rj = ell_rk = 100;
    ill_ci = ill_cj = ill_ck = 128, ill_ri = ill_rj = ill_rk = 10;
    plan_i = 60;
    Nsa = 59, Nhla = 3, Nvla = 3;  // inside the outer ellipsoid, one slice before the plane
    for (int j = 0; j < 256; j++)
        for (int k = 0; k < 256; k++) volume_at(59, j, k) = 80.0f;
    DATA_CHANGED();  // the voxels above were written by hand
    DISPLAY();
    int full = 0, dimmed = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            if ((x >= 118 && x <= 138 && y >= 118 && y <= 138) || x == 3 || y == 3) continue;  // markers, lines
            const Rgb want = (x % 2 == 1 && y % 2 == 1) ? step(80) : step(20);
            ASSERT_EQ(pixel(BMPsa, x, y), want) << x << ", " << y;
            (want == step(80) ? full : dimmed)++;
        }
    EXPECT_GT(full, 10000);
    EXPECT_GT(dimmed, 30000);
    // No outline on this side of the plane; the centre markers are there.
    EXPECT_EQ(pixel(BMPsa, 128, 128), overlay(couleur));
    EXPECT_EQ(pixel(BMPsa, 128, 228), step(20));  // where the outline would pass (k = 128 + 100)
    Nsa = 60;  // at the plane: nothing dimmed inside, and the outline appears
    for (int j = 0; j < 256; j++)
        for (int k = 0; k < 256; k++) volume_at(60, j, k) = 80.0f;
    DATA_CHANGED();  // the voxels above were written by hand
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 100, 100), step(80));
    EXPECT_EQ(pixel(BMPsa, 128, 201), overlay(couleur));  // q = 1 - 68^2/100^2: radius 73.3
}

TEST_F(SliceViews, DashedLinesOfTheHlaViewCrossInvertedOnce) {
    load_ok = 1;
    Nsa = 40, Nvla = 100, Nhla = 7;
    for (int i = 0; i < 256; i++)
        for (int j = 0; j < 256; j++) volume_at(i, j, 7) = static_cast<float>((i + j) % 101);
    DATA_CHANGED();  // the voxels above were written by hand
    DISPLAY();
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            const Rgb plain = step((y + x) % 101);
            const bool on = (y == 40 && x % 4 == 0) || (x == 100 && y % 4 == 0);
            ASSERT_EQ(pixel(BMPhla, x, y), on ? inverted(plain) : plain) << x << ", " << y;
        }
    // The VLA view's lines: row Nhla and column Nsa.
    EXPECT_EQ(pixel(BMPvla, 40, 0), inverted(step(0)));
    EXPECT_EQ(pixel(BMPvla, 40, 1), step(0));
    EXPECT_EQ(pixel(BMPvla, 8, 7), inverted(step(7)));  // voxel (8, 100, 7) holds 7
    EXPECT_EQ(pixel(BMPvla, 9, 7), step(8));
}

TEST_F(SliceViews, VerifDispBringsEveryValueWithinItsLimits) {
    Nhla = 300, Nvla = -1, Nsa = 256;
    ell_ri = 5, ell_rj = 121, ell_rk = 12;
    ell_ci = 11, ell_cj = 245, ell_ck = 244;
    plan_i = -40;
    ill_ri = 2, ill_rj = 121, ill_rk = 120;
    ill_ci = 400, ill_cj = 30, ill_ck = 0;
    apex_i = 999;  // not limited
    VERIF_DISP();
    EXPECT_EQ(Nhla, 255);
    EXPECT_EQ(Nvla, 0);
    EXPECT_EQ(Nsa, 255);
    EXPECT_EQ(ell_ri, 12);
    EXPECT_EQ(ell_rj, 120);
    EXPECT_EQ(ell_rk, 12);
    EXPECT_EQ(ell_ci, 12);
    EXPECT_EQ(ell_cj, 244);
    EXPECT_EQ(ell_ck, 244);
    EXPECT_EQ(plan_i, 12);
    EXPECT_EQ(ill_ri, 4);
    EXPECT_EQ(ill_rj, 120);
    EXPECT_EQ(ill_rk, 120);
    EXPECT_EQ(ill_ci, 244);
    EXPECT_EQ(ill_cj, 244);  // follows the outer centre
    EXPECT_EQ(ill_ck, 244);
    EXPECT_EQ(apex_i, 999);
    // Then the levels and the redraw.
    EXPECT_EQ(sect_i[0], 12);
    EXPECT_EQ(sect_i[3], 999);
    EXPECT_EQ(sect_i[4], 24);
    EXPECT_NE(read_file(dir.str() + "/log.txt").find("Secteurs\n12\n"), std::string::npos);
    EXPECT_EQ(headless::state().live_bitmaps, 6);
    EXPECT_EQ(pixel(BMPssa, 255, 5), strip_marker(0));

    ell_cj = 128, ill_cj = 30, ell_ck = 100, ill_ck = 200;
    plan_i = 245, ill_ci = 11, ell_ri = 121, ill_ri = 121;
    VERIF_DISP();
    EXPECT_EQ(plan_i, 244);
    EXPECT_EQ(ill_ci, 12);
    EXPECT_EQ(ell_ri, 120);
    EXPECT_EQ(ill_ri, 120);
    EXPECT_EQ(ill_cj, 128);
    EXPECT_EQ(ill_ck, 100);
    // Values within their limits stay as they are.
    EXPECT_EQ(ell_cj, 128);
    EXPECT_EQ(ell_ck, 100);
}

TEST_F(SliceViews, SliceOutsideTheVolumeShowsTheNearestPlaneWithoutReadingBeyondIt) {
    load_ok = 1;
    ell_ok = 1;
    place_study_model();
    volume_at(255, 10, 20) = 64.0f;  // SA plane 255, pixel (10, 20)
    volume_at(7, 0, 9) = 33.0f;      // VLA plane j = 0, pixel (7, 9)
    Nsa = 1000, Nvla = -40, Nhla = 300;
    set_ombre = 0;
    DATA_CHANGED();  // the voxels above were written by hand
    DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 10, 20), step(64));
    EXPECT_EQ(pixel(BMPvla, 7, 9), step(33));
    // No dashed line and no strip marker for a slice off the picture.
    EXPECT_EQ(pixel(BMPsa, 0, 0), step(0));
    EXPECT_EQ(pixel(BMPssa, 251, 5), strip_background(5));
}

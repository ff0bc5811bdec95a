// The slice views keep the planes they last read (the HLA view a block of 16
// slices) while the volume is unchanged: every change of the volume (a load,
// a mirror, a fresh start, a write by hand with DATA_CHANGED) must show, and
// every value and every slice must still draw as the literal transcription.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "Dicom.h"
#include "dicom_writer.h"
#include "display_fixture.h"

#if defined(__linux__)
#include <sys/resource.h>
#endif

namespace {


// A 32 x 32 study of 32 frames whose pixels follow `pattern` (row, column, frame).
template <class F>
std::string write_study(const std::string& path, F pattern) {
    std::vector<std::int16_t> px;
    for (int f = 0; f < 32; f++)
        for (int r = 0; r < 32; r++)
            for (int c = 0; c < 32; c++) px.push_back(static_cast<std::int16_t>(pattern(r, c, f)));
    nm_header(32, 32, 32).pixels(px).write(path);
    return path;
}

int load(const std::string& path) {
    headless::queue_open_answer(path);
    return LOAD_DCM_FILE();
}

std::vector<unsigned char> copy_of(const unsigned char* pic) { return {pic, pic + VIEW_BYTES}; }

}  // namespace

TEST_F(SliceViews, LoadingAnotherStudyAtTheSameSlicesShowsTheNewVolume) {
    const std::string a = write_study(dir.str() + "/a.dcm", [](int r, int c, int f) { return 100 + (r * 7 + c * 3 + f) % 50; });
    const std::string b = write_study(dir.str() + "/b.dcm", [](int r, int c, int f) { return 300 - (r * 5 + c * 11 + 2 * f) % 90; });
    ASSERT_EQ(load(a), 1);
    load_ok = 1;
    ASSERT_EQ(Nhla, 128);
    expect_same_as_literal("first study");
    const auto hla = copy_of(BMPhla), vla = copy_of(BMPvla), sa = copy_of(BMPsa);

    ASSERT_EQ(load(b), 1);  // the load puts the slices back at 128, where they were
    ASSERT_EQ(Nhla, 128);
    ASSERT_EQ(Nvla, 128);
    ASSERT_EQ(Nsa, 128);
    expect_same_as_literal("second study");
    // The second study looks different in every view, so a kept plane would show.
    EXPECT_NE(copy_of(BMPhla), hla);
    EXPECT_NE(copy_of(BMPvla), vla);
    EXPECT_NE(copy_of(BMPsa), sa);

    // And back to the first one, with the model placed and the shadow on.
    ASSERT_EQ(load(a), 1);
    place_study_model();
    Nhla = Nvla = Nsa = 128;
    expect_same_as_literal("first study again");
}

TEST_F(SliceViews, MirroredVolumeIsShownMirrored) {
    fill_synthetic_study();
    place_study_model();
    Nhla = 100, Nvla = 90, Nsa = 140;  // off the middle, so each mirror changes what is shown
    expect_same_as_literal("before the mirrors");
    const auto hla = copy_of(BMPhla), sa = copy_of(BMPsa);
    SWITCH_SLICES(1);  // along k: the HLA plane and the SA rows change
    expect_same_as_literal("mirrored along k");
    EXPECT_NE(copy_of(BMPhla), hla);
    EXPECT_NE(copy_of(BMPsa), sa);
    const auto vla = copy_of(BMPvla);
    SWITCH_SLICES(2);  // along j: the VLA plane changes
    expect_same_as_literal("mirrored along j too");
    EXPECT_NE(copy_of(BMPvla), vla);
}

TEST_F(SliceViews, FreshStartForgetsTheKeptPlanes) {
    fill_synthetic_study();
    place_study_model();
    expect_same_as_literal("study");
    start_in(dir.str());  // the volume is cleared
    fill_test_palettes();
    load_ok = 1;
    DRAW_DISPLAY();
    EXPECT_EQ(pixel(BMPhla, 5, 6), step(0));
    EXPECT_EQ(pixel(BMPvla, 130, 131), step(0));
    EXPECT_EQ(pixel(BMPsa, 129, 130), step(0));
    expect_same_as_literal("cleared volume");
}

TEST_F(SliceViews, VoxelsWrittenByHandShowOnceDataChangedIsCalled) {
    fill_synthetic_study();
    place_study_model();
    set_ombre = 0;
    Nhla = 132, Nvla = 128, Nsa = 140;
    DRAW_DISPLAY();  // the three planes are kept now
    volume_at(100, 60, 132) = 77.5f;  // HLA pixel (60, 100)
    volume_at(90, 128, 40) = 66.5f;   // VLA pixel (90, 40)
    volume_at(140, 30, 200) = 55.5f;  // SA pixel (30, 200)
    DATA_CHANGED();
    DRAW_DISPLAY();
    EXPECT_EQ(pixel(BMPhla, 60, 100), step(77));
    EXPECT_EQ(pixel(BMPvla, 90, 40), step(66));
    EXPECT_EQ(pixel(BMPsa, 30, 200), step(55));
    expect_same_as_literal("written by hand");
}

TEST_F(SliceViews, SlicesAcrossTheKeptBlocksDrawAsTheLiteral) {
    fill_synthetic_study();
    place_study_model();
    // The HLA view keeps 16 slices at once: within a block, at its edges, from
    // one block to the next and back, the two ends, and slices off the volume.
    const int hla[] = {132, 133, 143, 144, 143, 128, 127, 112, 15, 16, 0, 255, 240, 239, -4, 300, 132};
    for (const int n : hla) {
        Nhla = n;
        Nvla = 255 - (n & 255);  // the other views move as well
        Nsa = (n * 7) & 255;
        expect_same_as_literal("Nhla " + std::to_string(n));
    }
    // Only the palette or the shadow changes: the kept planes are drawn anew.
    palet = 9;
    expect_same_as_literal("palette 9");
    set_ombre = 0;
    expect_same_as_literal("shadow off");
}

TEST_F(SliceViews, EveryKindOfValueDrawsAsTheLiteralPlainAndDimmed) {
    fill_synthetic_study();
    place_study_model();
    ell_ri = ell_rj = ell_rk = 30;  // most of each plane outside the model: dimmed off the lattice
    Nhla = 20, Nvla = 21, Nsa = 150;
    // Around every limit of the truncation, of the quartering and of the scale.
    std::vector<float> values = {-1.0e30f, -1.0e6f, -999999.9f, -5.0f, -1.0f, -0.99f, -0.0f, 0.0f, 1.0e-40f,
                                 0.99f, 1.0f, 3.99f, 4.0f, 99.9f, 100.0f, 100.5f, 101.0f, 103.99f, 104.0f,
                                 399.0f, 399.99f, 400.0f, 403.0f, 403.49f, 403.5f, 403.99f, 404.0f, 405.0f,
                                 1.0e6f, 1.0e9f, 1.0e30f, std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    for (int n = 0; n <= 1700; n++) values.push_back(-2.0f + 0.25f * static_cast<float>(n));  // -2 .. 423
    // Each value on the lattice and off it, in every view.
    for (std::size_t t = 0; t < values.size(); t++) {
        const int a = static_cast<int>(t % 256), b = 30 + 2 * static_cast<int>(t / 256);
        volume_at(b, a, 20) = values[t];       // HLA pixel (a, b)
        volume_at(b + 1, a, 20) = values[t];   // HLA pixel (a, b + 1)
        volume_at(a, 21, b) = values[t];       // VLA pixel (a, b)
        volume_at(a, 21, b + 1) = values[t];   // VLA pixel (a, b + 1)
        volume_at(150, a, b) = values[t];      // SA pixel (a, b)
        volume_at(150, a, b + 1) = values[t];  // SA pixel (a, b + 1)
    }
    DATA_CHANGED();
    expect_same_as_literal("values, shadow on");
    set_ombre = 0;
    expect_same_as_literal("values, shadow off");
    // A value of 403 or more is the top step plain and dimmed alike; 99.9 dimmed is 24.
    set_ombre = 1;
    DRAW_DISPLAY();
    EXPECT_EQ(pixel(BMPsa, 28, 30), step(100));  // 1.0e6 at t = 28, off the lattice, dimmed
    EXPECT_EQ(pixel(BMPsa, 13, 30), step(24));   // 99.9 at t = 13, off the lattice
    EXPECT_EQ(pixel(BMPsa, 13, 31), step(99));   // on the lattice
}

#if defined(__linux__)
// A process's first drawing after its first load wrote the kept planes into pages the system
// gave one by one (some 300); given at start with the volume's, they are there.
TEST_F(SliceViews, TheFirstDrawingFindsThePagesOfTheKeptPlanes) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory takes pages of its own";
#endif
    VIEW_PLANES_PAGES();
    ASSERT_EQ(load(write_study(dir.str() + "/a.dcm", [](int r, int c, int f) { return 100 + (r + c + f) % 50; })), 1);
    load_ok = 1;
    std::vector<unsigned char> hla(VIEW_BYTES), vla(VIEW_BYTES), sa(VIEW_BYTES);
    rusage before{}, after{};
    getrusage(RUSAGE_THREAD, &before);
    DRAW_VIEWS(hla.data(), vla.data(), sa.data(), palet);
    getrusage(RUSAGE_THREAD, &after);
    EXPECT_LT(after.ru_minflt - before.ru_minflt, 32);
}
#endif

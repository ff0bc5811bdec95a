// DISPLAY against its literal transcription on many states, and the six
// pictures of one fixed study against the reference images in tests/data.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "display_fixture.h"
#include "layout.h"

namespace {

// Little-endian BMP file of one picture: 14-byte file header, the 40-byte
// description, then the rows as the buffer holds them.
std::string bmp_file(const unsigned char* pixels, int width, int height) {
    const std::uint32_t image = static_cast<std::uint32_t>(width * height * 3);
    std::string f;
    auto u16 = [&](std::uint32_t v) { f.push_back(char(v & 255)), f.push_back(char((v >> 8) & 255)); };
    auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    f += "BM";
    u32(54 + image), u32(0), u32(54);
    u32(40), u32(width), u32(height), u16(1), u16(24), u32(0), u32(image), u32(1), u32(1), u32(0), u32(0);
    f.append(reinterpret_cast<const char*>(pixels), image);
    return f;
}

// The fixed state of the reference pictures.
void reference_state() {
    fill_synthetic_study();
    place_study_model();
    couleur = 5;
    palet = 2;
    set_centri[1] = 1;  // the inner ellipsoid held in the VLA view
}

}  // namespace

TEST_F(SliceViews, FastDrawingEqualsTheLiteralOneOnEveryPicture) {
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"study model", [] {}},
        {"shadow off", [] { set_ombre = 0; }},
        {"model not placed", [] { ell_ok = 0; }},
        {"no volume", [] { load_ok = 0; }},
        {"held shades, colour 4",
         [] { couleur = 4, set_centre[0] = 1, set_centri[1] = 1, set_plan[1] = 1, set_centri[2] = 1; }},
        {"colour 1, palette 7, held plane in HLA", [] { couleur = 1, palet = 7, set_plan[0] = 1, set_centre[2] = 1; }},
        {"SA above the base plane", [] { Nsa = plan_i - 1; }},
        {"SA at the apex", [] { Nsa = apex_i; }},
        {"apex below the base plane", [] { apex_i = 60, plan_i = 110, EVAL_SECT(), Nsa = 60; }},
        {"apex at the base plane", [] { apex_i = plan_i, EVAL_SECT(); }},
        {"model at the low edges",
         [] {
             ell_ci = ell_cj = ell_ck = 12, ell_ri = ell_rj = ell_rk = 120;
             ill_ci = ill_cj = ill_ck = 12, ill_ri = ill_rj = ill_rk = 120;
             plan_i = 12, apex_i = 100, EVAL_SECT();
             Nhla = 0, Nvla = 0, Nsa = 0;
         }},
        {"model at the high edges",
         [] {
             ell_ci = ell_cj = ell_ck = 244, ell_ri = ell_rj = ell_rk = 120;
             ill_ci = 244, ill_cj = ill_ck = 244, ill_ri = 4, ill_rj = 120, ill_rk = 4;
             plan_i = 244, apex_i = 250, EVAL_SECT();
             Nhla = 255, Nvla = 255, Nsa = 255;
         }},
        {"plane at the outer tip", [] { Nhla = ell_ck + ell_rk, Nvla = ell_cj - ell_rj, Nsa = ell_ci + ell_ri; }},
        {"inner centre apart from the outer", [] { ill_cj = ell_cj + 9, ill_ck = ell_ck - 4, Nsa = apex_i; }},
        {"slices outside the volume", [] { Nhla = -3, Nvla = 300, Nsa = 999; }},
        {"levels on the inner section", [] { sect_i[1] = 100, sect_i[2] = 110, sect_i[3] = 118; }},
    };
    for (const auto& [name, change] : cases) {
        start_in(dir.str());  // a fresh program for each case
        fill_test_palettes();
        fill_overlay_colours();
        fill_synthetic_study();
        // Odd values in the shown planes: below 0, above 100, NaN, exactly 100.
        data[140 * 65536 + 20 * 256 + 30] = -7.5f;
        data[140 * 65536 + 21 * 256 + 30] = 1.0e9f;
        data[140 * 65536 + 22 * 256 + 30] = std::numeric_limits<float>::quiet_NaN();
        data[140 * 65536 + 23 * 256 + 30] = 100.0f;
        data[150 * 65536 + 128 * 256 + 132] = 399.0f;  // dimmed to 99 off the lattice
        DATA_CHANGED();
        place_study_model();
        change();
        expect_same_as_literal(name);
    }

    // Random models within the limits, random slices, shades and colours.
    std::mt19937 rng(20261207);
    auto in = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int n = 0; n < 12; n++) {
        ell_ok = 1, set_ombre = in(0, 3) != 0;
        ell_ci = in(12, 244), ell_cj = in(12, 244), ell_ck = in(12, 244);
        ell_ri = in(12, 120), ell_rj = in(12, 120), ell_rk = in(12, 120);
        ill_ci = in(12, 244), ill_cj = ell_cj, ill_ck = ell_ck;
        ill_ri = in(4, 120), ill_rj = in(4, 120), ill_rk = in(4, 120);
        plan_i = in(12, 244);
        apex_i = in(0, 255);
        EVAL_SECT();
        Nhla = in(0, 255), Nvla = in(0, 255), Nsa = in(0, 255);
        if (n % 3 == 0) Nsa = apex_i;
        couleur = in(0, 5), palet = in(0, 15);
        for (int v = 0; v < 3; v++) set_centre[v] = in(0, 1), set_centri[v] = in(0, 1);
        set_plan[0] = in(0, 1), set_plan[1] = in(0, 1);
        expect_same_as_literal("random model " + std::to_string(n));
    }
}

TEST_F(SliceViews, SixPicturesOfTheReferenceStudyMatchTheReferenceImages) {
    reference_state();
    const std::string folder = std::string(VESMORA_SOURCE_DIR) + "/tests/data/";
    if (std::getenv("VESMORA_UPDATE_GOLDEN") != nullptr) {
        // Written once by the literal transcription, then looked at before being kept.
        LITERAL_DISPLAY_DRAW();
        for (int n = 0; n < 6; n++)
            write_file(folder + "views_" + kNames[n] + ".bmp", bmp_file(pictures()[n], 256, n < 3 ? 256 : 16));
    }
    DISPLAY();
    for (int n = 0; n < 6; n++) {
        const std::string want = read_file(folder + "views_" + kNames[n] + ".bmp");
        const int h = n < 3 ? 256 : 16;
        ASSERT_EQ(want.size(), 54u + picture_bytes(n)) << kNames[n];
        EXPECT_EQ(want.substr(0, 54), bmp_file(pictures()[n], 256, h).substr(0, 54)) << kNames[n];
        EXPECT_EQ(std::memcmp(want.data() + 54, pictures()[n], picture_bytes(n)), 0) << kNames[n];
        // What was handed over is the same picture.
        const int ids[6] = {ID_VIEW_HLA, ID_VIEW_VLA, ID_VIEW_SA, ID_STRIP_HLA, ID_STRIP_VLA, ID_STRIP_SA};
        EXPECT_EQ(std::memcmp(want.data() + 54, shown(ids[n])->pixels.data(), picture_bytes(n)), 0) << kNames[n];
    }
}

// The four result pictures of one hand-filled examination, with the shipped
// palettes, against the reference pictures in tests/data (see the README there).
// VESMORA_UPDATE_GOLDEN=1 writes the references instead of comparing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Display.h"
#include "headless.h"
#include "main.h"
#include "pictures_support.h"
#include "test_support.h"
#include "layout.h"

namespace {

// A ventricle with good uptake and an inferior defect (around 3 pi / 2) that
// deepens towards the base; the bull's-eye is read from the ray table as the
// evaluation does, the sector values and scores are written out by hand.
void hand_filled_examination() {
    ell_ci = ill_ci = plan_i = ell_cj = ell_ck = ill_cj = ill_ck = 128;
    ell_ri = 80;
    ell_rj = ell_rk = 50;
    ill_ri = 30;
    ill_rj = ill_rk = 20;
    EVAL_APEX();
    for (int r = 0; r < 240; r++)
        for (int s = 0; s < 480; s++) {
            const double phi = s * 3.1415 / 240;
            const double da = phi - 4.71;
            const double depth = std::exp(-da * da / 0.5) * (1.0 - r / 240.0);
            SAMPLE[r * 480 + s] = static_cast<float>(92.0 - 70.0 * depth + 5.0 * std::sin(phi * 3));
        }
    for (int row = 0; row < 400; row++)
        for (int col = 0; col < 400; col++) {
            float th = std::atan2(static_cast<float>(row - 200), static_cast<float>(col - 200));
            while (th < 0) th = static_cast<float>(th + 6.2831853);
            const float rho = std::sqrt(static_cast<float>((row - 200) * (row - 200) + (col - 200) * (col - 200))) / 180.0f;
            const int o = static_cast<int>(240 * rho + 0.5);
            int h = static_cast<int>(480 * th / 6.2831853 + 0.5);
            if (h < 0) h = 0;
            if (h >= 480) h = 479;
            BULL[row * 400 + col] = (o >= 0 && o < 240) ? SAMPLE[(239 - o) * 480 + h] : 0.0f;
        }
    const float sect[18] = {0,    88.0f, 95.2f, 74.1f, 9.5f,  61.3f, 99.999f, 90.4f, 96.0f,
                            80.2f, 28.7f, 70.0f, 97.3f, 93.8f, 98.1f, 49.9f,   94.0f, 96.6f};
    for (int n = 0; n <= 17; n++) {
        SECTEUR[n] = sect[n];
        const float v = sect[n];
        SCORE[n] = v < 10 ? 4 : v < 30 ? 3 : v < 50 ? 2 : v < 70 ? 1 : 0;
    }
    res_ok = 1;
}

}  // namespace

TEST(ResultGolden, FourPicturesOfAHandFilledExaminationMatchTheReferences) {
    TempDir dir;
    start_with_windows(dir.str(), read_file(std::string(VESMORA_SOURCE_DIR) + "/data/PALETS"));
    ASSERT_TRUE(headless::state().boxes.empty());  // the shipped palettes, not the built-in copy
    hand_filled_examination();
    palet = 2;    // Hot Iron
    couleur = 2;     // blue overlay
    res3D_ang = 22;  // lateral view turned towards the inferior wall
    const bool update = std::getenv("VESMORA_UPDATE_GOLDEN") != nullptr;
    const struct {
        int mode;
        const char* file;
    } pictures[] = {{0, "result_bull.bmp"}, {1, "result_sectors.bmp"}, {12, "result_scores.bmp"}, {2, "result_lateral.bmp"}};
    for (const auto& p : pictures) {
        RES_DISP = p.mode;
        DISPLAY_RES();
        const std::string path = std::string(VESMORA_SOURCE_DIR) + "/tests/data/" + p.file;
        if (update) {
            write_bmp(path, 400, 400, BMPres);
            continue;
        }
        const std::vector<unsigned char> want = read_bmp_pixels(path, 400, 400);
        ASSERT_EQ(want.size(), static_cast<std::size_t>(RES_BYTES)) << path;
        EXPECT_EQ(std::memcmp(want.data(), headless::image_of(STATICres)->pixels.data(), RES_BYTES), 0) << p.file;
    }
    EXPECT_EQ(plat_get_dlg_item(winsect[4], ID_SECT_LABEL)->text, "[4]  4");
}

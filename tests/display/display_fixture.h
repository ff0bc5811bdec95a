// Shared fixture of the slice-view tests: a started program with a main
// window, test palettes and the overlay table.
#ifndef VESMORA_DISPLAY_FIXTURE_H
#define VESMORA_DISPLAY_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "Display.h"
#include "display_study.h"
#include "headless.h"
#include "literal.h"
#include "main.h"
#include "pictures_support.h"
#include "test_support.h"

inline Rgb pixel(const unsigned char* pic, int x, int y) {
    const unsigned char* p = pic + y * 768 + x * 3;
    return Rgb{p[2], p[1], p[0]};
}

// Colour of step v of the current palette.
inline Rgb step(int v) {
    return Rgb{palette[palet * 303 + 202 + v], palette[palet * 303 + 101 + v], palette[palet * 303 + v]};
}

inline Rgb inverted(Rgb c) { return Rgb{255 - c.r, 255 - c.g, 255 - c.b}; }

// The six pictures in the order of the hand-over.
inline unsigned char* const* pictures() {
    static unsigned char* bufs[6];
    bufs[0] = BMPhla, bufs[1] = BMPvla, bufs[2] = BMPsa, bufs[3] = BMPshla, bufs[4] = BMPsvla, bufs[5] = BMPssa;
    return bufs;
}

inline int picture_bytes(int n) { return n < 3 ? VIEW_BYTES : STRIP_BYTES; }

inline const char* const kNames[6] = {"hla", "vla", "sa", "strip_hla", "strip_vla", "strip_sa"};

// Runs the fast drawing and the literal one from the same starting buffers and
// reports the first differing byte of each picture.
inline void expect_same_as_literal(const std::string& what) {
    std::vector<std::vector<unsigned char>> fast(6), lit(6);
    for (int n = 0; n < 6; n++) std::memset(pictures()[n], 0x5A, picture_bytes(n));
    DRAW_DISPLAY();
    for (int n = 0; n < 6; n++) fast[n].assign(pictures()[n], pictures()[n] + picture_bytes(n));
    const int ell[3] = {ELL_R, ELL_G, ELL_B};
    for (int n = 0; n < 6; n++) std::memset(pictures()[n], 0x5A, picture_bytes(n));
    ELL_R = ELL_G = ELL_B = -1;
    LITERAL_DISPLAY_DRAW();
    for (int n = 0; n < 6; n++) lit[n].assign(pictures()[n], pictures()[n] + picture_bytes(n));
    EXPECT_EQ(ell[0], ELL_R) << what;
    EXPECT_EQ(ell[1], ELL_G) << what;
    EXPECT_EQ(ell[2], ELL_B) << what;
    for (int n = 0; n < 6; n++) {
        if (fast[n] == lit[n]) continue;
        int b = 0;
        while (fast[n][b] == lit[n][b]) b++;
        ADD_FAILURE() << what << ": picture " << kNames[n] << " differs first at pixel (" << (b % 768) / 3 << ", "
                      << b / 768 << ") byte " << b % 3 << ": " << int(fast[n][b]) << " vs literal " << int(lit[n][b]);
    }
}

class SliceViews : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        start_in(dir.str());
        fill_test_palettes();
        fill_overlay_colours();
        WINDOW = plat_create_window(TPL_WIN, nullptr, nullptr);
    }
    // Shown picture of a control, as handed over.
    const PlatBitmap_* shown(int id) { return headless::image_of(headless::control(WINDOW, id)); }
};

#endif

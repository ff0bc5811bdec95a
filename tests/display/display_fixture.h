// Shared fixture of the slice-view tests: a started program with a main
// window, test palettes and the overlay table.
#ifndef VESMORA_DISPLAY_FIXTURE_H
#define VESMORA_DISPLAY_FIXTURE_H

#include <gtest/gtest.h>

#include <ostream>

#include "Display.h"
#include "display_study.h"
#include "headless.h"
#include "main.h"
#include "test_support.h"

// One pixel, as the picture holds it (blue, green, red) but built and printed as R, G, B.
struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

inline std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

inline Rgb pixel(const unsigned char* pic, int x, int y) {
    const unsigned char* p = pic + y * 768 + x * 3;
    return Rgb{p[2], p[1], p[0]};
}

// Colour of step v of the current palette.
inline Rgb step(int v) {
    return Rgb{palette[palet * 303 + 202 + v], palette[palet * 303 + 101 + v], palette[palet * 303 + v]};
}

inline Rgb inverted(Rgb c) { return Rgb{255 - c.r, 255 - c.g, 255 - c.b}; }

// Overlay colour c in the normal (0) or pale (1) row.
inline Rgb overlay(int c, int pale = 0) {
    const int n = (pale * 6 + c) * 3;
    return Rgb{couleurs[n], couleurs[n + 1], couleurs[n + 2]};
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

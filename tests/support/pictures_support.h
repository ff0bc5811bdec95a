// Helpers for the tests of the palette bar and the result pictures.
#ifndef VESMORA_PICTURES_SUPPORT_H
#define VESMORA_PICTURES_SUPPORT_H

#include <ostream>
#include <string>
#include <vector>

// A palette file in which every colour names itself: palette p, step v is
// (red v + 1, green 100 + p, blue 50). No overlay colour has blue 50.
std::string coded_palets();

// Starts the program in folder with the given palette file (by default the
// coded palettes), then makes the main window, the picture controls 46 and 60
// and the 17 sector label pop-ups as the shell does.
void start_with_windows(const std::string& folder, const std::string& palets = coded_palets());

// One pixel, built and printed as R, G, B (the pictures hold blue, green, red).
struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// Pixel (row, col) of a 24-bit picture stored lowest line first.
Rgb pixel_at(const std::vector<unsigned char>& pixels, int width, int row, int col);
Rgb pixel_at(const unsigned char* pixels, int width, int row, int col);
// The step of the coded palette a pixel shows, or -1 for any other colour.
int coded_step(const Rgb& c);
// The overlay colour n in the normal (0) or pale (1) row.
Rgb overlay(int n, int pale = 0);

// Writes / reads a 24-bit BMP file (rows lowest first, as the buffers).
void write_bmp(const std::string& path, int width, int height, const unsigned char* pixels);
std::vector<unsigned char> read_bmp_pixels(const std::string& path, int width, int height);

#endif

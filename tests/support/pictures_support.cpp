#include "pictures_support.h"

#include <cstdint>
#include <cstring>

#include "headless.h"
#include "main.h"
#include "test_support.h"
#include "layout.h"

std::string coded_palets() {
    std::string f(PALETS_BYTES, '\0');
    for (int p = 0; p < 16; p++)
        for (int v = 0; v <= 100; v++) {
            f[p * 303 + v * 3] = static_cast<char>(v + 1);
            f[p * 303 + v * 3 + 1] = static_cast<char>(100 + p);
            f[p * 303 + v * 3 + 2] = static_cast<char>(50);
        }
    return f;
}

void start_with_windows(const std::string& folder, const std::string& palets) {
    write_file(folder + "/PALETS", palets);
    start_in(folder);
    WINDOW = plat_create_window(TPL_WIN, nullptr, nullptr);
    STATICres = plat_get_dlg_item(WINDOW, ID_RES_PICTURE);
    STATICpal = plat_get_dlg_item(WINDOW, ID_PALETTE_BAR);
    for (int n = 1; n <= 17; n++) winsect[n] = plat_create_window(TPL_SECTWIN, WINDOW, nullptr);
}

Rgb pixel_at(const unsigned char* pixels, int width, int row, int col) {
    const unsigned char* p = pixels + (row * width + col) * 3;
    return Rgb{p[2], p[1], p[0]};
}

Rgb pixel_at(const std::vector<unsigned char>& pixels, int width, int row, int col) {
    return pixel_at(pixels.data(), width, row, col);
}

int coded_step(const Rgb& c) {
    if (c.b != 50 || c.g < 100 || c.g > 115 || c.r < 1 || c.r > 101) return -1;
    return c.r - 1;
}

Rgb overlay(int n, int pale) {
    const int at = (pale * 6 + n) * 3;
    return Rgb{couleurs[at], couleurs[at + 1], couleurs[at + 2]};
}

namespace {
void put16(std::string& s, std::uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}
void put32(std::string& s, std::uint32_t v) {
    put16(s, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(s, static_cast<std::uint16_t>(v >> 16));
}
}  // namespace

void write_bmp(const std::string& path, int width, int height, const unsigned char* pixels) {
    const std::uint32_t image = static_cast<std::uint32_t>(width * height * 3);
    std::string s = "BM";
    put32(s, 54 + image);
    put32(s, 0);
    put32(s, 54);
    put32(s, 40);
    put32(s, static_cast<std::uint32_t>(width));
    put32(s, static_cast<std::uint32_t>(height));
    put16(s, 1);
    put16(s, 24);
    put32(s, 0);
    put32(s, image);
    put32(s, 2835);
    put32(s, 2835);
    put32(s, 0);
    put32(s, 0);
    s.append(reinterpret_cast<const char*>(pixels), image);
    write_file(path, s);
}

std::vector<unsigned char> read_bmp_pixels(const std::string& path, int width, int height) {
    const std::string s = read_file(path);
    const std::size_t image = static_cast<std::size_t>(width) * height * 3;
    if (s.size() != 54 + image || s.compare(0, 2, "BM") != 0) return {};
    return std::vector<unsigned char>(s.begin() + 54, s.end());
}

// The palette file: any bytes in PALETS give 16 whole palettes, from the file when
// it holds 4848 bytes or more (the rest ignored), else the built-in copy with one
// warning; the palette bar is then drawn for the first and the last palette.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "Display.h"
#include "fuzz_support.h"
#include "headless.h"
#include "main.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static unsigned char shipped[PALETS_BYTES];
    static const bool started = [] {
        fuzz::start();  // with the shipped file, the same as the built-in copy
        std::memcpy(shipped, palette, sizeof shipped);
        return true;
    }();
    (void)started;
    const std::string path = fuzz::folder() + "/PALETS";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(bytes, 1, size, f) != size)) fuzz::fail("cannot write PALETS", 0);
    std::fclose(f);

    headless::state().boxes.clear();
    LOAD_PALET();
    const bool whole = size >= static_cast<std::size_t>(PALETS_BYTES);
    if (headless::state().boxes.size() != (whole ? 0u : 1u)) fuzz::fail("warnings after the palette file", size);
    for (int p = 0; p < 16; p++)
        for (int v = 0; v < 101; v++) {
            const unsigned char* e = bytes + p * 303 + v * 3;
            const unsigned char* b = shipped + p * 303;
            const unsigned char r = whole ? e[0] : b[202 + v], g = whole ? e[1] : b[101 + v], bl = whole ? e[2] : b[v];
            if (palette[p * 303 + 202 + v] != r || palette[p * 303 + 101 + v] != g || palette[p * 303 + v] != bl)
                fuzz::fail("a palette entry is neither the file's nor the built-in one", p * 101 + v);
        }
    for (int p : {0, 15}) {
        palet = p;
        CREATE_PALBMP();
    }
    palet = 0;
    fuzz::trim_backend();
    return 0;
}

// The palette file: its reading into the three planes, the overlay colours,
// the shipped file and the built-in copy used when the file is missing or damaged.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "headless.h"
#include "main.h"
#include "test_support.h"

namespace {

std::string shipped() { return read_file(std::string(VESMORA_SOURCE_DIR) + "/data/PALETS"); }

// A file whose every byte tells its own offset.
std::string numbered_file(std::size_t size) {
    std::string f(size, '\0');
    for (std::size_t k = 0; k < size; k++) f[k] = static_cast<char>((k * 7 + 3) & 0xFF);
    return f;
}

// palette (planes) must hold the (R, G, B) entries of bytes, entry by entry.
void expect_planes_hold(const std::string& bytes) {
    for (int p = 0; p < 16; p++)
        for (int v = 0; v <= 100; v++) {
            const auto* e = reinterpret_cast<const unsigned char*>(bytes.data()) + p * 303 + v * 3;
            ASSERT_EQ(palette[p * 303 + 202 + v], e[0]) << "red, palette " << p << " step " << v;
            ASSERT_EQ(palette[p * 303 + 101 + v], e[1]) << "green, palette " << p << " step " << v;
            ASSERT_EQ(palette[p * 303 + v], e[2]) << "blue, palette " << p << " step " << v;
        }
}

int warning_boxes() {
    int n = 0;
    for (const auto& b : headless::state().boxes) n += b.icon == ICON_WARNING;
    return n;
}

}  // namespace

TEST(ShippedPalets, Has4848BytesAndPaletteZeroIsTheGreyRampFromBlackToWhite) {
    const std::string f = shipped();
    ASSERT_EQ(f.size(), 4848u);
    for (int v = 0; v <= 100; v++) {
        const int grey = static_cast<int>(std::floor(255.0 * v / 100.0 + 0.5));
        for (int c = 0; c < 3; c++)
            EXPECT_EQ(static_cast<unsigned char>(f[v * 3 + c]), grey) << "step " << v << " channel " << c;
    }
    // Palette 1 is the inverted ramp, 255 * (1 - v / 100) rounded.
    for (int v = 0; v <= 100; v++)
        EXPECT_EQ(static_cast<unsigned char>(f[303 + v * 3]),
                  static_cast<int>(std::floor(255.0 * (1.0 - v / 100.0) + 0.5)));
}

TEST(ShippedPalets, IsCopiedBesideTheCommandLineTool) {
    const std::string beside = std::string(VESMORA_BINARY_DIR) + "/tools/PALETS";
    ASSERT_TRUE(std::filesystem::exists(beside));
    EXPECT_EQ(read_file(beside), shipped());
}

TEST(LoadPalet, SplitsEachEntryIntoTheBlueGreenAndRedPlanes) {
    TempDir dir;
    std::string f = numbered_file(4848);
    f[303] = 11;  // palette 1, step 0: red, green, blue
    f[304] = 22;
    f[305] = 33;
    write_file(dir.str() + "/PALETS", f);
    start_in(dir.str());
    EXPECT_EQ(palette[303 + 202], 11);
    EXPECT_EQ(palette[303 + 101], 22);
    EXPECT_EQ(palette[303], 33);
    expect_planes_hold(f);
    EXPECT_EQ(warning_boxes(), 0);
    EXPECT_EQ(fich, nullptr);
}

TEST(LoadPalet, IgnoresBytesAfterThe4848) {
    TempDir dir;
    std::string f = numbered_file(4848) + std::string(500, '\xFF');
    write_file(dir.str() + "/PALETS", f);
    start_in(dir.str());
    expect_planes_hold(f.substr(0, 4848));
    EXPECT_EQ(warning_boxes(), 0);
}

TEST(LoadPalet, FillsBothRowsOfOverlayColours) {
    TempDir dir;
    start_in(dir.str());
    const unsigned char want[36] = {250, 250, 250, 0,   0,   0,   0,   0,   250, 0,   250, 0,
                                    250, 0,   0,   250, 250, 0,   150, 150, 150, 100, 100, 100,
                                    150, 150, 250, 150, 250, 150, 250, 150, 150, 250, 250, 200};
    for (int k = 0; k < 36; k++) EXPECT_EQ(couleurs[k], want[k]) << "byte " << k;
}

TEST(LoadPalet, MissingFileGivesTheBuiltInPalettesAndOneOwnerlessWarning) {
    TempDir dir;
    start_in(dir.str());
    expect_planes_hold(shipped());
    ASSERT_EQ(headless::state().boxes.size(), 1u);
    const auto& box = headless::state().boxes[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.icon, ICON_WARNING);
    EXPECT_EQ(box.title, "Vesmora");
    EXPECT_EQ(box.text,
              "Le fichier des palettes (PALETS) est introuvable ou endommag\xE9 : "
              "les palettes int\xE9gr\xE9" "es sont utilis\xE9" "es.");
}

TEST(LoadPalet, ShortOrUnreadableFileGivesTheBuiltInPalettesNotAMixture) {
    {
        TempDir dir;
        write_file(dir.str() + "/PALETS", std::string(4847, '\x05'));
        start_in(dir.str());
        expect_planes_hold(shipped());
        EXPECT_EQ(warning_boxes(), 1);
    }
    {
        TempDir dir;  // a folder named PALETS opens but cannot be read
        std::filesystem::create_directory(dir.path() / "PALETS");
        start_in(dir.str());
        expect_planes_hold(shipped());
        EXPECT_EQ(warning_boxes(), 1);
    }
}

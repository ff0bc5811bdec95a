// The palette bar: the step in each column, the grid, the frame, the hand-over.
#include <gtest/gtest.h>

#include "headless.h"
#include "main.h"
#include "Display.h"
#include "pictures_support.h"
#include "test_support.h"

namespace {

class PaletteBar : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { start_with_windows(dir.str()); }
    Rgb at(int row, int col) { return pixel_at(BMPpal, 220, row, col); }
};

}  // namespace

TEST_F(PaletteBar, ColumnsShowStepsZeroToNinetyNine) {
    palet = 6;
    CREATE_PALBMP();
    const int row = 5;  // neither grid nor frame
    EXPECT_EQ(coded_step(at(row, 1)), 0);
    EXPECT_EQ(coded_step(at(row, 2)), 0);
    EXPECT_EQ(coded_step(at(row, 3)), 1);
    EXPECT_EQ(coded_step(at(row, 21)), 9);
    EXPECT_EQ(at(row, 22), overlay(0));  // grid line
    EXPECT_EQ(coded_step(at(row, 23)), 10);
    EXPECT_EQ(coded_step(at(row, 218)), 99);
    EXPECT_EQ(at(row, 219), (Rgb{0, 0, 0}));
    EXPECT_EQ(at(row, 100).g, 100 + 6);  // the current palette
    for (int col = 1; col < 219; col++) {
        if (col % 22 == 0) continue;
        ASSERT_EQ(coded_step(at(row, col)), static_cast<int>(col * 100.0 / 220.0)) << "column " << col;
    }
}

TEST_F(PaletteBar, GridRowsAndColumnsTakeTheOverlayColourAndTheFrameIsBlack) {
    for (int p = 0; p < 16; p++)
        for (int c = 0; c < 6; c++) {
            palet = p;
            couleur = c;
            CREATE_PALBMP();
            for (int x = 0; x < 220; x++) {
                ASSERT_EQ(at(0, x), (Rgb{0, 0, 0})) << "row 0 is frame, not grid: " << p << "/" << c;
                ASSERT_EQ(at(55, x), (Rgb{0, 0, 0}));
            }
            for (int y = 0; y < 56; y++) {
                ASSERT_EQ(at(y, 0), (Rgb{0, 0, 0}));
                ASSERT_EQ(at(y, 219), (Rgb{0, 0, 0}));
            }
            for (int y : {14, 28, 42}) ASSERT_EQ(at(y, 100), overlay(c));
            for (int x = 22; x <= 198; x += 22) ASSERT_EQ(at(30, x), overlay(c)) << "column " << x;
            ASSERT_EQ(coded_step(at(13, 100)), 45);
        }
}

TEST_F(PaletteBar, ColourOneGivesBlackGridColourZeroNearWhite) {
    couleur = 1;
    CREATE_PALBMP();
    EXPECT_EQ(at(14, 50), (Rgb{0, 0, 0}));
    EXPECT_EQ(at(30, 44), (Rgb{0, 0, 0}));
    couleur = 0;
    CREATE_PALBMP();
    EXPECT_EQ(at(14, 50), (Rgb{250, 250, 250}));
    EXPECT_EQ(at(30, 44), (Rgb{250, 250, 250}));
}

TEST_F(PaletteBar, HandsTheBarToControl60AndDeletesThePreviousBitmap) {
    CREATE_PALBMP();
    const PlatBitmap_* first = headless::image_of(STATICpal);
    ASSERT_NE(first, nullptr);
    palet = 3;
    CREATE_PALBMP();
    const PlatBitmap_* second = headless::image_of(STATICpal);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(first->alive);
    EXPECT_TRUE(second->alive);
    EXPECT_EQ(second->width, 220);
    EXPECT_EQ(second->height, 56);
    EXPECT_EQ(second->pixels, std::vector<unsigned char>(BMPpal, BMPpal + PAL_BYTES));
    EXPECT_EQ(bmppal, second);
    EXPECT_EQ(pixel_at(second->pixels, 220, 5, 100).g, 103);
}

// The polar map of the 17 sectors and the label offsets.
#include <gtest/gtest.h>

#include "Display.h"
#include "main.h"
#include "test_support.h"

namespace {

class SectorGeometry : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        start_in(dir.str());
        // Built again on a spoiled map: nothing may be left from before.
        for (int& n : mesh_sect) n = -7;
        INIT_SECT();
    }
    static int at(int row, int col) { return mesh_sect[row * 400 + col]; }
};

}  // namespace

TEST_F(SectorGeometry, ApexDiscReachesFortyFivePixels) {
    EXPECT_EQ(at(200, 200), 17);
    EXPECT_EQ(at(200, 245), 17);
    EXPECT_EQ(at(200, 246), 16);
    EXPECT_EQ(at(245, 200), 17);
    EXPECT_EQ(at(155, 200), 17);
}

TEST_F(SectorGeometry, RingEdgesBelongToTheInnerRing) {
    EXPECT_EQ(at(200, 290), 16);
    EXPECT_EQ(at(200, 291), 12);
    EXPECT_EQ(at(200, 335), 12);
    EXPECT_EQ(at(200, 336), 6);
    EXPECT_EQ(at(200, 380), 6);
    EXPECT_EQ(at(200, 381), 0);
}

TEST_F(SectorGeometry, UpIsAnteriorDownIsInferior) {
    EXPECT_EQ(at(380, 200), 1);
    EXPECT_EQ(at(20, 200), 4);
    EXPECT_EQ(at(300, 200), 7);
    EXPECT_EQ(at(100, 200), 10);
}

TEST_F(SectorGeometry, LeftRadiusFallsBelowTheSinglePrecisionPi) {
    EXPECT_EQ(at(200, 20), 3);
    EXPECT_EQ(at(200, 65), 9);
    EXPECT_EQ(at(200, 120), 14);
    EXPECT_EQ(at(201, 30), 2);  // one row up is above the horizontal
}

TEST_F(SectorGeometry, JustBelowTheRightRadiusAnglesWrapToTheLowerRightSectors) {
    // One row below the horizontal the angle is brought up to just under 2 pi.
    EXPECT_EQ(at(199, 270), 16);
    EXPECT_EQ(at(199, 300), 11);
    EXPECT_EQ(at(199, 350), 5);
    // On the horizontal itself (angle 0) the upper-right sectors.
    EXPECT_EQ(at(200, 300), 12);
    EXPECT_EQ(at(200, 350), 6);
}

TEST_F(SectorGeometry, DiagonalsFollowTheSinglePrecisionAngle) {
    EXPECT_EQ(at(245, 245), 13);
    EXPECT_EQ(at(245, 155), 14);
    EXPECT_EQ(at(155, 155), 14);
    EXPECT_EQ(at(155, 245), 15);
}

TEST_F(SectorGeometry, EveryElementIsASectorOrZeroAndEverySectorIsPresent) {
    int count[18] = {};
    for (int n : mesh_sect) {
        ASSERT_GE(n, 0);
        ASSERT_LE(n, 17);
        count[n]++;
    }
    for (int n = 1; n <= 17; n++) EXPECT_GT(count[n], 1000) << "sector " << n;
    // Up and down halves of the basal and mid rings are mirror images off the axis lines.
    EXPECT_EQ(count[1], count[4]);
    EXPECT_EQ(count[7], count[10]);
    // Corners are outside.
    EXPECT_EQ(at(0, 0), 0);
    EXPECT_EQ(at(399, 399), 0);
}

TEST_F(SectorGeometry, LabelOffsetsAreTheTableValues) {
    const int x[18] = {0, 0, -136, -136, 0, 136, 136, 0, -97, -97, 0, 97, 97, 0, -67, 0, 67, 0};
    const int y[18] = {0, -157, -78, 78, 157, 78, -78, -112, -56, 56, 112, 56, -56, -67, 0, 67, 0, 0};
    for (int n = 1; n <= 17; n++) {
        EXPECT_EQ(sectposi[n], x[n]) << "sector " << n;
        EXPECT_EQ(sectposj[n], y[n]) << "sector " << n;
    }
}

TEST_F(SectorGeometry, EachLabelCentreLiesInItsOwnSector) {
    // Offsets are screen pixels, y downwards; map rows count upwards.
    for (int n = 1; n <= 17; n++) EXPECT_EQ(at(200 - sectposj[n], 200 + sectposi[n]), n) << "sector " << n;
}

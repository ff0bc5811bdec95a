// The one table of the 17-segment model (sectors.h) against what each reader
// of it shows: the hover formats, the label offsets, the polar map's rings and
// angular ranges, and the coronary territories.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Display.h"
#include "main.h"
#include "sectors.h"

TEST(SectorModel, HoverFormatsAreTheShownNamesWithTheirOneBlankQuirk) {
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        const std::string want = "Secteur " + std::to_string(n) + " (" + SECTORS[n].shown + ")\nScore %d" +
                                 (n == 1 ? " " : "  ") + "( %d";
        EXPECT_EQ(SECTOR_FORMAT[n], want) << n;
        EXPECT_NE(std::string(SECTORS[n].name_fr), "") << n;
        EXPECT_NE(std::string(SECTORS[n].name_en), "") << n;
    }
}

TEST(SectorModel, TerritoriesFollowTheUsualCoronaryAssignment) {
    const int lad[] = {1, 2, 7, 8, 13, 14, 17}, rca[] = {3, 4, 9, 10, 15}, lcx[] = {5, 6, 11, 12, 16};
    int count = 0;
    for (int n : lad) {
        EXPECT_EQ(SECTORS[n].territory, TERR_LAD) << n;
        count++;
    }
    for (int n : rca) {
        EXPECT_EQ(SECTORS[n].territory, TERR_RCA) << n;
        count++;
    }
    for (int n : lcx) {
        EXPECT_EQ(SECTORS[n].territory, TERR_LCX) << n;
        count++;
    }
    EXPECT_EQ(count, SECTOR_COUNT);
    EXPECT_STREQ(TERRITORY_NAME[TERR_LCX], "LCx");
}

TEST(SectorModel, LabelOffsetsAreTheDocumentedPixels) {
    INIT_SECTPOS();
    const int x[18] = {0, 0, -136, -136, 0, 136, 136, 0, -97, -97, 0, 97, 97, 0, -67, 0, 67, 0};
    const int y[18] = {0, -157, -78, 78, 157, 78, -78, -112, -56, 56, 112, 56, -56, -67, 0, 67, 0, 0};
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        EXPECT_EQ(sectposi[n], x[n]) << n;
        EXPECT_EQ(sectposj[n], y[n]) << n;
    }
}

TEST(SectorModel, PolarMapAgreesWithEachSectorsRingAndMasks) {
    INIT_SECT();
    // Every pixel's sector lies in the ring its radius gives, and the masks
    // hold exactly the sectors of their ring.
    for (int row = 0; row < 400; row += 3) {
        for (int col = 0; col < 400; col += 3) {
            const int n = mesh_sect[row * 400 + col];
            if (n == 0) continue;
            const float rho = std::sqrt(static_cast<float>((row - 200) * (row - 200) + (col - 200) * (col - 200))) / 180.0f;
            const SectorRing want = rho <= 0.25f ? RING_APEX
                                    : rho <= 0.5f ? RING_APICAL
                                    : rho <= 0.75f ? RING_MID
                                                   : RING_BASAL;
            ASSERT_EQ(SECTORS[n].ring, want) << row << ", " << col;
        }
    }
    const unsigned masks[5] = {0, BASAL_BITS, MID_BITS, APICAL_BITS, APEX_BIT};
    for (int n = 1; n <= SECTOR_COUNT; n++)
        for (int r = RING_BASAL; r <= RING_APEX; r++)
            EXPECT_EQ((masks[r] >> n) & 1u, SECTORS[n].ring == r ? 1u : 0u) << n << " ring " << r;
    // The six ranges of the basal and mid rings, from angle 0 upwards, at mid-range
    // on the mid ring (radius 112).
    for (int x = 0; x < 6; x++) {
        const double a = (SIX_LO[x] + SIX_HI[x]) / 2;
        const int row = static_cast<int>(200.5 + 112 * std::sin(a)), col = static_cast<int>(200.5 + 112 * std::cos(a));
        EXPECT_EQ(mesh_sect[row * 400 + col], SIX_BASAL[x] + 6) << x;
    }
}

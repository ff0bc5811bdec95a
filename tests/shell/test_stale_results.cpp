// Results and the model they were computed on: "P" moves the sector bounds at once, the
// line under the results says when they no longer hold, and a model whose inner ellipsoid
// leaves the outer one is not scored.
#include "shell_fixture.h"

#include <cstring>
#include <filesystem>
#include <vector>

#include "Main_Wnd_Proc.h"
#include "commands.h"

namespace {

class Stale : public Shell {
protected:
    void SetUp() override {
        std::filesystem::copy_file(std::string(VESMORA_SOURCE_DIR) + "/data/PALETS", dir.path() / "PALETS");
        Shell::SetUp();
        ASSERT_EQ(OPEN_STUDY((std::string(VESMORA_BINARY_DIR) + "/samples/lad-64.dcm").c_str()), 1);
        command(ID_PLACE_MODEL);
        ASSERT_EQ(ell_ok, 1);
    }
    static std::vector<float> sectors() { return std::vector<float>(SECTEUR, SECTEUR + 18); }
};

}  // namespace

// The fault was that "P" left the bounds of the old plane until the next drag or wheel turn:
// "Résultats" then scored a model that was not the one drawn, and the same model gave other
// numbers after a wheel turn there and back.
TEST_F(Stale, BasePlaneMovesTheBoundsAtOnceAndKeepsAnApexPutByHand) {
    Nsa = 150;
    command(ID_APEX);
    Nsa = 112;
    command(ID_BASE_PLANE);
    EXPECT_EQ(apex_i, 150);  // not derived again
    EXPECT_EQ(sect_i[0], 112);
    EXPECT_EQ(sect_i[3], 150);
    command(ID_RESULTS);
    ASSERT_EQ(res_ok, 1);
    const std::vector<float> after_p = sectors();
    wheel(700, 100, 120);  // a correction of the limits, there and back: the same model
    wheel(700, 100, -120);
    command(ID_RESULTS);
    EXPECT_EQ(sectors(), after_p);
    EXPECT_EQ(apex_i, 150);
}

TEST_F(Stale, TheLineSaysWhenTheModelChangedSinceResultsUntilTheyAreComputedAgain) {
    EXPECT_EQ(text(ID_STALE_LINE), "");
    command(ID_RESULTS);
    EXPECT_EQ(text(ID_STALE_LINE), "");
    const std::vector<float> scored = sectors();
    // Slices and pictures change nothing of the model.
    wheel(700, 100, 120);
    command(ID_SHOW_SECTORS);
    command(ID_CENTRE_AXES);
    EXPECT_EQ(RESULTS_STALE(), 0);
    EXPECT_EQ(text(ID_STALE_LINE), "");
    // A drag of the outer semi-axes: the old pictures stay, the line says they are stale.
    press(750, 120);
    move(740, 130);
    release(740, 130);
    EXPECT_EQ(RESULTS_STALE(), 1);
    EXPECT_EQ(text(ID_STALE_LINE), STALE_LINE_TEXT);
    EXPECT_EQ(sectors(), scored);
    command(ID_SHOW_BULL);
    // An export of results refuses them with a box and calls nothing.
    headless::state().boxes.clear();
    EXPECT_EQ(EXPORT_PDF((dir.str() + "/r.pdf").c_str()), 0);
    EXPECT_EQ(SEND_RESULTS(), 0);
    ASSERT_EQ(headless::state().boxes.size(), 2u);
    EXPECT_EQ(headless::state().boxes[0].text, STALE_EXPORT_TEXT);
    EXPECT_EQ(headless::state().boxes[0].icon, ICON_WARNING);
    command(ID_RESULTS);
    EXPECT_EQ(text(ID_STALE_LINE), "");
    EXPECT_NE(sectors(), scored);
    // "P" and "A" change the model too; a new study forgets the results and the line.
    Nsa = 120;
    command(ID_BASE_PLANE);
    EXPECT_EQ(text(ID_STALE_LINE), STALE_LINE_TEXT);
    command(ID_RESULTS);
    Nsa = 160;
    command(ID_APEX);
    EXPECT_EQ(text(ID_STALE_LINE), STALE_LINE_TEXT);
    ASSERT_EQ(OPEN_STUDY((std::string(VESMORA_BINARY_DIR) + "/samples/normal-64.dcm").c_str()), 1);
    EXPECT_EQ(res_ok, 0);
    EXPECT_EQ(text(ID_STALE_LINE), "");
}

// The fault was 16 segments at 0 % and "sévèrement anormal" for an inner ellipsoid that
// reached out of the outer one.
TEST_F(Stale, AModelWithTheInnerEllipsoidOutsideIsNotScored) {
    command(ID_RESULTS);
    const std::vector<float> scored = sectors();
    ill_rj = ill_rk = 97;  // against an outer 50 across
    headless::state().boxes.clear();
    command(ID_RESULTS);
    ASSERT_EQ(headless::state().boxes.size(), 1u);
    EXPECT_EQ(headless::state().boxes[0].icon, ICON_INFORMATION);
    EXPECT_NE(headless::state().boxes[0].text.find("Les r\xE9sultats ne peuvent pas \xEAtre calcul\xE9s : l'ellipso\xEF"
                                                    "de interne (demi-axes 30, 97, 97, centre 128) doit \xEAtre \xE0 l'int\xE9rieur de l'externe (demi-axes 80, "
                                                    "50, 50, centre 128)."),
              std::string::npos)
        << headless::state().boxes[0].text;
    EXPECT_EQ(sectors(), scored);  // nothing changed
    EXPECT_EQ(res_ok, 1);
}

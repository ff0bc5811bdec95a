// The stress and rest roles of the Examen menu: fresh results only, kept across a load, the
// suggested item from the Series Description, and the comparison of what each role kept.
#include "shell_fixture.h"

#include <cstring>
#include <filesystem>

#include "Main_Wnd_Proc.h"
#include "Pair_Roles.h"
#include "commands.h"

namespace {

class Roles : public Shell {
protected:
    void SetUp() override {
        std::filesystem::copy_file(std::string(VESMORA_SOURCE_DIR) + "/data/PALETS", dir.path() / "PALETS");
        Shell::SetUp();
        ROLES[ROLE_STRESS] = ROLES[ROLE_REST] = StudyRole{};
    }
    void TearDown() override { ROLES[ROLE_STRESS] = ROLES[ROLE_REST] = StudyRole{}; }  // program-wide
    void analyse(const char* sample) {
        ASSERT_EQ(OPEN_STUDY((std::string(VESMORA_BINARY_DIR) + "/samples/" + sample).c_str()), 1);
        command(ID_PLACE_MODEL);
        command(ID_RESULTS);
        ASSERT_EQ(res_ok, 1);
    }
};

}  // namespace

TEST_F(Roles, FreshResultsOnlyKeptAcrossLoadsThenCompared) {
    EXPECT_EQ(command_of(ID_ROLE_STRESS)->available(), 0);  // nothing loaded
    analyse("lad-64.dcm");
    EXPECT_EQ(command_of(ID_ROLE_STRESS)->available(), 1);
    // A drag of the model: stale results are refused with the exports' box.
    press(750, 120);
    move(740, 130);
    release(740, 130);
    ASSERT_EQ(RESULTS_STALE(), 1);
    EXPECT_EQ(command_of(ID_ROLE_STRESS)->available(), 0);
    headless::state().boxes.clear();
    EXPECT_EQ(SET_ROLE(ROLE_STRESS), 0);
    ASSERT_EQ(headless::state().boxes.size(), 1u);
    EXPECT_EQ(headless::state().boxes[0].text, STALE_EXPORT_TEXT);
    EXPECT_EQ(ROLES[ROLE_STRESS].set, 0);
    command(ID_RESULTS);
    command(ID_ROLE_STRESS);
    ASSERT_EQ(ROLES[ROLE_STRESS].set, 1);
    const int stress_sum = CLINICAL_SUMMARY(SECTEUR, SCORE).summed_score;
    EXPECT_EQ(command_of(ID_COMPARE_PAIR)->available(), 0);

    analyse("normal-64.dcm");  // the stress role stays
    EXPECT_EQ(ROLES[ROLE_STRESS].set, 1);
    command(ID_ROLE_REST);
    EXPECT_EQ(command_of(ID_COMPARE_PAIR)->available(), 1);
    StressRestComparison c;
    std::string why;
    ASSERT_TRUE(ROLES_COMPARISON(c, why)) << why;
    EXPECT_EQ(c.sss, stress_sum);
    EXPECT_EQ(c.srs, CLINICAL_SUMMARY(SECTEUR, SCORE).summed_score);
    // The samples are two patients (ANON-LAD, ANON-NORMAL): "Non" shows nothing, "Oui" the window.
    headless::state().boxes.clear();
    command(ID_COMPARE_PAIR);
    EXPECT_TRUE(headless::state().pairs_shown.empty());
    headless::state().confirm_answers.push_back(1);
    command(ID_COMPARE_PAIR);
    ASSERT_EQ(headless::state().pairs_shown.size(), 1u);
    ASSERT_EQ(headless::state().boxes.size(), 2u);
    EXPECT_NE(headless::state().boxes[0].text.find("ANON-NORMAL"), std::string::npos);
    const headless::PairShown& shown = headless::state().pairs_shown[0];
    EXPECT_EQ(shown.text, PAIR_WINDOW_TEXT(c));
    EXPECT_EQ(shown.pictures[0], ROLES[ROLE_STRESS].bull);
    EXPECT_NE(shown.pictures[0], shown.pictures[1]);
}

TEST_F(Roles, TheSeriesDescriptionSuggestsTheItem) {
    analyse("lad-64.dcm");  // "LV phantom LAD short axis": neither
    EXPECT_EQ(COMMAND_LABEL_NOW(ID_ROLE_STRESS), command_of(ID_ROLE_STRESS)->label);
    std::strcpy(SERIES_DESC, "MYO REPOS TOMO");
    EXPECT_EQ(SUGGESTED_ROLE(), ROLE_REST);
    EXPECT_EQ(COMMAND_LABEL_NOW(ID_ROLE_REST), std::string(command_of(ID_ROLE_REST)->label) + " (sugg\xE9r\xE9)");
    EXPECT_EQ(COMMAND_LABEL_NOW(ID_ROLE_STRESS), command_of(ID_ROLE_STRESS)->label);
    std::strcpy(SERIES_DESC, "Stress MIBI");
    EXPECT_EQ(COMMAND_LABEL_NOW(ID_ROLE_STRESS), std::string(command_of(ID_ROLE_STRESS)->label) + " (sugg\xE9r\xE9)");
}

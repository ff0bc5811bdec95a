// One whole examination of a sample study, driven only through the main
// window's messages as a user would make it: open, choose slices, place and
// shape the model, compute the results, look at every picture, point at them,
// open a second study, close.
#include "shell_fixture.h"

#include <cstring>
#include <filesystem>
#include <vector>

#include "Auto_Place.h"
#include "Main_Wnd_Proc.h"
#include "Model_Place.h"

namespace {

std::string sample(const char* name) { return std::string(VESMORA_BINARY_DIR) + "/samples/" + name + ".dcm"; }

const std::vector<unsigned char>& shown(HWND_ control) { return headless::image_of(control)->pixels; }

bool all_black(const std::vector<unsigned char>& px) {
    for (unsigned char c : px)
        if (c != 0) return false;
    return true;
}

// Pixel (x, y) of a 256-wide view as handed over, y counted from the lowest line: blue, green, red.
const unsigned char* view_pixel(HWND_ control, int x, int y) { return &shown(control)[(y * 256 + x) * 3]; }

class Examination : public Shell {
protected:
    void SetUp() override {
        // The program folder holds the shipped palettes, as beside the installed program.
        std::filesystem::copy_file(std::string(VESMORA_SOURCE_DIR) + "/data/PALETS", dir.path() / "PALETS");
        Shell::SetUp();
    }
    static void open(const std::string& path) {
        headless::queue_open_answer(path);
        command(ID_OPEN);
    }
};

}  // namespace

TEST_F(Examination, FromOpeningASampleStudyToItsScoresAndPictures) {
    EXPECT_TRUE(headless::state().boxes.empty());  // the palette file was found

    open(sample("normal-64"));
    ASSERT_EQ(load_ok, 1);
    EXPECT_EQ(WINDOW->caption, "  Vesmora    -    [ " + sample("normal-64") + " ]");
    EXPECT_EQ(text(ID_PATIENT), "Infos patient :\nANONYME NORMAL  ( M )\nN\xE9(e) : 14/03/1968\nExam : 15/09/2026");
    EXPECT_FALSE(all_black(shown(STATIChla)));

    // Slices: the SA strip to 100, the wheel back to 128 over the SA view (28 notches).
    press(VIEW_X0[2] + 100, 320);
    release(VIEW_X0[2] + 100, 320);
    EXPECT_EQ(Nsa, 100);
    for (int n = 0; n < 28; n++) wheel(700, 100, 120);
    EXPECT_EQ(Nsa, 128);

    command(ID_PLACE_MODEL);  // "Centrer volume"
    ASSERT_EQ(ell_ok, 1);
    // The outer centre marker is drawn in the HLA view at (ell_cj, ell_ci), normal shade of colour 0.
    const unsigned char* centre = view_pixel(STATIChla, 128, 128);
    EXPECT_EQ(centre[0], 250);
    EXPECT_EQ(centre[1], 250);
    EXPECT_EQ(centre[2], 250);

    // Shape the model onto the phantom's wall with drags (README: 70, 25, 25 and 62, 17, 17).
    press(750, 120);
    move(700, 170);
    release(700, 170);
    press(60, 100);
    move(60, 120);
    release(60, 120);
    rpress(750, 120);
    move(744, 126);
    mouse(VM_RBUTTONUP, 744, 126);
    rpress(60, 150);
    move(60, 86);
    mouse(VM_RBUTTONUP, 60, 86);
    EXPECT_EQ(ell_ri, 70);
    EXPECT_EQ(ell_rj, 25);
    EXPECT_EQ(ell_rk, 25);
    EXPECT_EQ(ill_ri, 62);
    EXPECT_EQ(ill_rj, 17);
    EXPECT_EQ(ill_rk, 17);
    EXPECT_EQ(apex_i, 180);

    command(ID_RESULTS);  // "Résultats"
    ASSERT_EQ(res_ok, 1);
    float best = 0;
    for (int n = 1; n <= 17; n++) {
        EXPECT_EQ(SCORE[n], 0) << "sector " << n;
        EXPECT_GT(SECTEUR[n], 80.0f) << "sector " << n;
        if (SECTEUR[n] > best) best = SECTEUR[n];
    }
    EXPECT_FLOAT_EQ(best, 99.999f);
    const std::vector<unsigned char> bull = shown(STATICres);
    EXPECT_FALSE(all_black(bull));

    command(ID_SHOW_SECTORS);  // "Sect. (%)"
    for (int n = 1; n <= 17; n++) {
        EXPECT_TRUE(winsect[n]->visible);
        EXPECT_EQ(headless::text_of(winsect[n], ID_SECT_LABEL),
                  std::to_string(static_cast<int>(SECTEUR[n] + 0.5)) + " %");
    }
    const std::vector<unsigned char> sectors = shown(STATICres);
    EXPECT_NE(sectors, bull);
    move(619, 400);  // straight above the centre, in the basal ring: sector 1
    EXPECT_EQ(text(ID_HOVER), "Secteur 1 (Basal - anterior)\nScore 0 ( " +
                            std::to_string(static_cast<int>(SECTEUR[1] + 0.5)) + " % )");

    command(ID_SHOW_SCORES);  // "Score"
    EXPECT_EQ(headless::text_of(winsect[14], ID_SECT_LABEL), "[14]  0");
    EXPECT_NE(shown(STATICres), sectors);

    command(ID_SHOW_LATERAL);  // "Latéral"
    for (HWND_ w : {d3_A, d3_S, d3_I, d3_L}) EXPECT_TRUE(w->visible);
    for (int n = 1; n <= 17; n++) EXPECT_FALSE(winsect[n]->visible);
    const std::vector<unsigned char> lateral = shown(STATICres);
    wheel(600, 500, 120);
    EXPECT_EQ(res3D_ang, 9);
    EXPECT_NE(shown(STATICres), lateral);

    command(ID_SHOW_BULL);  // "Bull"
    EXPECT_EQ(shown(STATICres), bull);
    move(619, 537);  // the centre of the bull's-eye: the last ray row, near the tip
    EXPECT_EQ(text(ID_HOVER).rfind("Fixation : ", 0), 0u);
    EXPECT_EQ(text(ID_HOVER).substr(text(ID_HOVER).size() - 2), " %");

    EXPECT_EQ(headless::state().live_bitmaps, 8);
    plat_send_message(WINDOW, VM_CLOSE, 0, 0);
    EXPECT_TRUE(headless::state().quit_posted);
    EXPECT_EQ(chaine, nullptr);
}

TEST_F(Examination, SecondStudyAfterTheSectorMapHidesTheLabelsUntilItsResults) {
    open(sample("normal-64"));
    command(ID_PLACE_MODEL);
    command(ID_RESULTS);
    command(ID_SHOW_SECTORS);
    move(RES_X0 + 200, 400);  // the hover text of sector 1
    ASSERT_NE(text(ID_HOVER), "");
    POINTER_LEFT();  // out through a menu: no value stays under the picture
    EXPECT_EQ(text(ID_HOVER), "");
    move(RES_X0 + 200, 400);
    ASSERT_NE(text(ID_HOVER), "");
    ASSERT_FALSE(all_black(shown(STATICres)));
    open(sample("lad-64"));
    ASSERT_EQ(load_ok, 1);
    EXPECT_EQ(res_ok, 0);
    EXPECT_EQ(ell_ok, 0);
    EXPECT_EQ(WINDOW->caption, "  Vesmora    -    [ " + sample("lad-64") + " ]");
    EXPECT_EQ(text(ID_PATIENT).rfind("Infos patient :\nANONYME LAD ", 0), 0u);
    // Nothing of the first patient's results beside the second one's name.
    EXPECT_TRUE(all_black(shown(STATICres)));
    EXPECT_EQ(text(ID_HOVER), "");
    for (int n = 1; n <= 17; n++) EXPECT_EQ(headless::text_of(winsect[n], ID_SECT_LABEL), "") << n;
    for (int n = 1; n <= 17; n++) EXPECT_FALSE(winsect[n]->visible) << n;  // no empty box over the black picture
    move(RES_X0 + 200, 400);
    EXPECT_EQ(text(ID_HOVER), "");  // no results to point at until the next "Résultats"
    // Its own results bring back the labels of the map still chosen, filled.
    command(ID_PLACE_MODEL);
    command(ID_RESULTS);
    for (int n = 1; n <= 17; n++) {
        EXPECT_TRUE(winsect[n]->visible) << n;
        EXPECT_NE(headless::text_of(winsect[n], ID_SECT_LABEL), "") << n;
    }
    for (HWND_ w : {d3_A, d3_S, d3_I, d3_L}) EXPECT_FALSE(w->visible);
}

TEST_F(Examination, RefusedFileKeepsTheStudyOnScreen) {
    open(sample("normal-64"));
    const std::string caption = WINDOW->caption;
    const std::vector<unsigned char> hla = shown(STATIChla);
    const std::string not_dicom = dir.str() + "/notes.dcm";
    write_file(not_dicom, std::string(300, 'x'));
    open(not_dicom);
    EXPECT_EQ(load_ok, 1);
    EXPECT_EQ(WINDOW->caption, caption);
    EXPECT_EQ(shown(STATIChla), hla);
    ASSERT_FALSE(headless::state().boxes.empty());
    EXPECT_EQ(headless::state().boxes.back().text, "Ce fichier n'est pas un fichier dicom valide");
    headless::queue_open_cancel();
    command(ID_OPEN);
    EXPECT_EQ(WINDOW->caption, caption);
}

TEST_F(Examination, ResultsBeforeAStudyAndAPlacedModelChangeNothingAndSaySo) {
    const std::string says = "Ouvrez une \xE9tude et placez le mod\xE8le (\xAB Centrer volume \xBB) avant de calculer "
                             "les r\xE9sultats.";
    const auto refused = [&](const char* when) {
        const PlatBitmap_* picture = headless::image_of(STATICres);
        const std::size_t boxes = headless::state().boxes.size();
        const std::vector<int> scores(SCORE + 1, SCORE + 18);
        command(ID_RESULTS);
        EXPECT_EQ(res_ok, 0) << when;
        EXPECT_EQ(std::vector<int>(SCORE + 1, SCORE + 18), scores) << when;  // no score of 4 from nothing
        EXPECT_EQ(headless::image_of(STATICres), picture) << when;  // not even redrawn
        ASSERT_EQ(headless::state().boxes.size(), boxes + 1) << when;
        EXPECT_EQ(headless::state().boxes.back().text, says) << when;
        EXPECT_EQ(headless::state().boxes.back().icon, ICON_INFORMATION) << when;
        EXPECT_EQ(headless::state().boxes.back().owner, WINDOW) << when;
    };
    refused("before any study");
    open(sample("normal-64"));
    refused("before the model is placed");
    command(ID_PLACE_MODEL);
    const std::size_t boxes = headless::state().boxes.size();
    command(ID_RESULTS);
    EXPECT_EQ(res_ok, 1);
    EXPECT_EQ(headless::state().boxes.size(), boxes);
    // A second study puts the model away again.
    open(sample("lad-64"));
    refused("after a second study");
}

// Every way of placing a model goes through the one placing sequence: a model taken
// from "Centrer volume" and "A", or from the automatic placement, placed again after
// the study is reopened, gives the same model, slices, scores and pictures.
TEST_F(Examination, EveryPlacingRoadGivesTheSameModelAndResults) {
    struct Outcome {
        int model[13], levels[6], slices[3];
        std::vector<float> sectors, bull;
        std::vector<int> scores;
        std::vector<unsigned char> views, picture;
        // The model and what "Résultats" makes of it.
        bool operator==(const Outcome& o) const {
            return std::memcmp(model, o.model, sizeof model) == 0 && std::memcmp(levels, o.levels, sizeof levels) == 0 &&
                   sectors == o.sectors && bull == o.bull && scores == o.scores && picture == o.picture;
        }
        bool same_views(const Outcome& o) const {
            return std::memcmp(slices, o.slices, sizeof slices) == 0 && views == o.views;
        }
    };
    auto results = [] {
        command(ID_RESULTS);
        EXPECT_EQ(res_ok, 1);
        Outcome r{{ell_ci, ell_cj, ell_ck, ell_ri, ell_rj, ell_rk, ill_ci, ill_cj, ill_ck, ill_ri, ill_rj, ill_rk, plan_i},
                  {apex_i, sect_i[0], sect_i[1], sect_i[2], sect_i[3], sect_i[4]},
                  {Nsa, Nvla, Nhla},
                  std::vector<float>(SECTEUR + 1, SECTEUR + 18),
                  std::vector<float>(BULL, BULL + 400 * 400),
                  std::vector<int>(SCORE + 1, SCORE + 18),
                  shown(STATIChla),
                  shown(STATICres)};
        const std::vector<unsigned char>& sa = shown(STATICsa);
        r.views.insert(r.views.end(), sa.begin(), sa.end());
        return r;
    };
    auto placed_again = [&](const ModelValues& v) {
        open(sample("lad-64"));
        char why[200] = "";
        EXPECT_EQ(PLACE_MODEL(v, why, sizeof why), 1) << why;
        return results();
    };

    open(sample("lad-64"));
    Nsa = 118, Nvla = 131, Nhla = 126;
    command(ID_PLACE_MODEL);  // "Centrer volume"
    Nsa = 150;
    command(ID_APEX);  // "A" at slice 150, off the derived apex
    const Outcome by_hand = results();
    ModelValues v;
    MODEL_CURRENT(v);
    ASSERT_EQ(v.has_apex, 1);
    const Outcome from_values = placed_again(v);
    EXPECT_TRUE(from_values == by_hand);
    EXPECT_TRUE(from_values.same_views(by_hand));  // "A" turns the views alike on both roads

    open(sample("lad-64"));
    ASSERT_EQ(AUTO_PLACE(), 1);
    const Outcome automatic = results();
    MODEL_CURRENT(v);
    ASSERT_EQ(v.has_apex, 0);
    EXPECT_TRUE(placed_again(v) == automatic);  // the views differ: the search shows mid-ventricle
    EXPECT_FALSE(automatic == by_hand);  // two different models: the comparison can fail
}

// What the program keeps between runs through the back end's store (in memory here): the palette,
// the colour and the window's place come back at the next start, damaged values are ignored, and
// "Ouvrir" and the exports start in the folder they used last.
#include "shell_fixture.h"

#include <filesystem>
#include <map>
#include <string>

#include "commands.h"
#include "remembered.h"

namespace {

std::string suggested;  // what the last dialog proposed
std::string answer;     // what the user chooses in it

class Remembered : public ::testing::Test {
protected:
    TempDir dir;
    CommandHooks saved = command_hooks;
    // A start with these values kept by an earlier run.
    void start(const std::map<std::string, std::string>& kept) {
        headless::reset();
        headless::set_module_path(dir.str() + "/vesmora");
        headless::state().settings = kept;
        STARTUP();
    }
    void SetUp() override {
        std::filesystem::copy_file(std::string(VESMORA_SOURCE_DIR) + "/data/PALETS", dir.path() / "PALETS");
        command_hooks = CommandHooks{};
        command_hooks.ask_path = [](AskKind, const char*, const char*, const std::string& s) {
            suggested = s;
            return answer;
        };
        command_hooks.write_pdf = [](const std::string&, std::string&) { return true; };
    }
    void TearDown() override { command_hooks = saved; }
    static void command(int id) { plat_send_message(WINDOW, VM_COMMAND, static_cast<std::uintptr_t>(id), 0); }
};

}  // namespace

TEST_F(Remembered, PaletteColourAndPlaceComeBackAndDamagedValuesAreIgnored) {
    start({});
    EXPECT_EQ(palet, 0);  // nothing kept: the start values
    EXPECT_EQ(WINDOW->rect.left, WIN_LEFT);
    command(ID_PALETTE_NEXT);
    command(ID_PALETTE_NEXT);
    command(ID_COLOUR_PREV);
    plat_set_window_pos(WINDOW, 200, 120, WIN_WIDTH, WIN_HEIGHT);
    plat_send_message(WINDOW, VM_CLOSE, 0, 0);
    const auto kept = headless::state().settings;
    EXPECT_EQ(kept.at(KEY_PALETTE), "2");
    EXPECT_EQ(kept.at(KEY_COLOUR), "5");
    EXPECT_EQ(kept.at(KEY_WINDOW_X), "200");

    start(kept);
    EXPECT_EQ(palet, 2);
    EXPECT_EQ(couleur, 5);
    EXPECT_EQ(WINDOW->rect.left, 200);
    EXPECT_EQ(WINDOW->rect.top, 120);
    EXPECT_EQ(d3_A->rect.left, 200 + LETTER_DX[0]);  // the pop-ups beside it
    EXPECT_EQ(winsect[1]->rect.top, 120 + SECT_LABEL_DY + sectposj[1]);

    start({{KEY_PALETTE, "16"}, {KEY_COLOUR, "2x"}, {KEY_WINDOW_X, "-"}, {KEY_WINDOW_Y, "40"}});
    EXPECT_EQ(palet, 0);
    EXPECT_EQ(couleur, 0);
    EXPECT_EQ(WINDOW->rect.left, WIN_LEFT);
    EXPECT_EQ(WINDOW->rect.top, WIN_TOP);
}

TEST_F(Remembered, OpenAndEachExportStartWhereTheyWroteLast) {
    start({});
    const std::string study = std::string(VESMORA_BINARY_DIR) + "/samples/lad-64.dcm";
    headless::queue_open_answer(study);
    command(ID_OPEN);
    ASSERT_EQ(load_ok, 1);
    EXPECT_EQ(headless::state().settings.at(KEY_OPEN_FOLDER), std::filesystem::path(study).parent_path().string());
    command(ID_PLACE_MODEL);
    command(ID_RESULTS);

    answer = dir.str() + "/rapport.pdf";
    RUN_COMMAND(ID_EXPORT_PDF);  // first time: the study's folder
    EXPECT_EQ(suggested, (std::filesystem::path(study).parent_path() / "lad-64-rapport.pdf").string());
    answer = "";
    RUN_COMMAND(ID_EXPORT_PDF);  // then where it wrote, with the study's name
    EXPECT_EQ(suggested, dir.str() + "/lad-64-rapport.pdf");
    RUN_COMMAND(ID_EXPORT_PNG);  // each export its own folder
    EXPECT_EQ(suggested, std::filesystem::path(study).parent_path().string());

    std::filesystem::remove_all(dir.path() / "gone");
    headless::state().settings[KEY_PDF_FOLDER] = dir.str() + "/gone";  // a folder deleted since
    RUN_COMMAND(ID_EXPORT_PDF);
    EXPECT_EQ(suggested, (std::filesystem::path(study).parent_path() / "lad-64-rapport.pdf").string());
}

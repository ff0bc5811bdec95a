// What the desktop's "Fichier" items decide around the exports: the status line says where each
// wrote, "Quitter" asks before losing results that never went out, and the archive's items ask
// for the archive's settings first when there are none.
#include "shell_fixture.h"

#include <filesystem>
#include <string>
#include <vector>

#include "Main_Wnd_Proc.h"
#include "commands.h"

namespace {

std::vector<std::string> calls;  // what the fake hooks were asked, in order
bool configured = false;
bool user_saves = false;  // what the user does in "Archive (PACS)..."

class Leaving : public Shell {
protected:
    CommandHooks saved = command_hooks;
    void SetUp() override {
        std::filesystem::copy_file(std::string(VESMORA_SOURCE_DIR) + "/data/PALETS", dir.path() / "PALETS");
        Shell::SetUp();
        calls.clear();
        configured = user_saves = false;
        command_hooks = CommandHooks{};
        command_hooks.write_pdf = [](const std::string& path, std::string&) {
            calls.push_back("pdf " + path);
            return true;
        };
        command_hooks.pacs_configured = [] { return configured; };
        command_hooks.pacs_settings = [] {
            calls.push_back("settings");
            configured = user_saves;
        };
        command_hooks.open_from_pacs = [] { calls.push_back("open from archive"); };
        command_hooks.write_dicom = [](const std::string&, const std::string&, std::string&) { return true; };
        command_hooks.send_results = [](const std::string&, std::string&) {
            calls.push_back("send");
            return true;
        };
    }
    void TearDown() override { command_hooks = saved; }
    static std::size_t questions() {
        std::size_t n = 0;
        for (const auto& b : headless::state().boxes) n += b.text == UNSAVED_RESULTS_TEXT;
        return n;
    }
};

}  // namespace

TEST_F(Leaving, QuitAsksOnceForResultsThatNeverWentOutAndTheStatusLineSaysWhereAnExportWrote) {
    ASSERT_EQ(OPEN_STUDY((std::string(VESMORA_BINARY_DIR) + "/samples/lad-64.dcm").c_str()), 1);
    command(ID_PLACE_MODEL);
    command(ID_RESULTS);
    ASSERT_EQ(res_ok, 1);

    command(ID_QUIT);  // "Non": the program stays, results and all
    EXPECT_EQ(questions(), 1u);
    EXPECT_FALSE(headless::state().quit_posted);
    EXPECT_EQ(res_ok, 1);

    EXPECT_EQ(EXPORT_PDF("/tmp/x/rapport.pdf"), 1);
    EXPECT_EQ(text(ID_STALE_LINE), "Rapport PDF enregistr\xE9 : /tmp/x/rapport.pdf");
    EXPECT_EQ(headless::state().busy_shown, 1);  // the wait cursor while it wrote, and down again
    EXPECT_EQ(headless::state().busy, 0);
    command(ID_RESULTS);  // new results, not yet out
    headless::state().confirm_answers.push_back(1);
    command(ID_QUIT);
    EXPECT_EQ(questions(), 2u);
    EXPECT_TRUE(headless::state().quit_posted);
}

TEST_F(Leaving, AProgramThatCanWriteNoReportQuitsWithoutAQuestion) {
    command_hooks = CommandHooks{};  // the Windows build: no report, no DICOM, no archive
    ASSERT_EQ(OPEN_STUDY((std::string(VESMORA_BINARY_DIR) + "/samples/lad-64.dcm").c_str()), 1);
    command(ID_PLACE_MODEL);
    command(ID_RESULTS);
    ASSERT_EQ(res_ok, 1);
    command(ID_QUIT);
    EXPECT_EQ(questions(), 0u);
    EXPECT_TRUE(headless::state().quit_posted);
}

TEST_F(Leaving, ExportedResultsQuitWithoutAQuestionAndANewStudyClearsTheLine) {
    ASSERT_EQ(OPEN_STUDY((std::string(VESMORA_BINARY_DIR) + "/samples/lad-64.dcm").c_str()), 1);
    command(ID_PLACE_MODEL);
    command(ID_RESULTS);
    ASSERT_EQ(EXPORT_PDF("/tmp/x/rapport.pdf"), 1);
    ASSERT_EQ(OPEN_STUDY((std::string(VESMORA_BINARY_DIR) + "/samples/normal-64.dcm").c_str()), 1);
    EXPECT_EQ(text(ID_STALE_LINE), "");  // not this study's report
    command(ID_QUIT);  // no results of this study: nothing to lose
    EXPECT_EQ(questions(), 0u);
    EXPECT_TRUE(headless::state().quit_posted);
}

TEST_F(Leaving, TheArchiveItemsOpenTheSettingsFirstWhileThereAreNone) {
    command(ID_OPEN_PACS);  // settings left unsaved: no search window
    EXPECT_EQ(calls, (std::vector<std::string>{"settings"}));
    calls.clear();
    user_saves = true;
    command(ID_OPEN_PACS);
    EXPECT_EQ(calls, (std::vector<std::string>{"settings", "open from archive"}));
    calls.clear();
    command(ID_OPEN_PACS);  // configured now: straight to the search
    EXPECT_EQ(calls, (std::vector<std::string>{"open from archive"}));

    ASSERT_EQ(OPEN_STUDY((std::string(VESMORA_BINARY_DIR) + "/samples/lad-64.dcm").c_str()), 1);
    command(ID_PLACE_MODEL);
    command(ID_RESULTS);
    configured = user_saves = false;
    calls.clear();
    command(ID_SEND_PACS);
    EXPECT_EQ(calls, (std::vector<std::string>{"settings"}));
    user_saves = true;
    calls.clear();
    command(ID_SEND_PACS);
    EXPECT_EQ(calls, (std::vector<std::string>{"settings", "send"}));
    EXPECT_EQ(text(ID_STALE_LINE), "R\xE9sultats envoy\xE9s \xE0 l'archive");
}

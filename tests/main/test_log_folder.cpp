// Where log.txt goes when the program folder cannot be written (an installed
// program): the user's state folder, while PALETS still comes from the program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "headless.h"
#include "main.h"
#include "test_support.h"

namespace {

// Sets (or unsets) an environment variable for the life of the object.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A program folder no one can write, not even root: its path goes through a file.
std::string unwritable_program_folder(const TempDir& dir) {
    write_file(dir.str() + "/a-file", "");
    return dir.str() + "/a-file/bin";
}

}  // namespace

TEST(LogFolder, UnwritableProgramFolderSendsTheLogToTheStateFolderAndNothingElse) {
    TempDir dir;
    EnvVar xdg("XDG_STATE_HOME", (dir.str() + "/xdg").c_str());
    EnvVar home("HOME", (dir.str() + "/home").c_str());
    const std::string log = dir.str() + "/xdg/vesmora/log.txt";

    start_in(unwritable_program_folder(dir));
    EXPECT_EQ(std::string(LOG_FOLDER), dir.str() + "/xdg/vesmora/");
    ASSERT_TRUE(std::filesystem::exists(log));  // folders made, log emptied at start
    EXPECT_EQ(read_file(log), "");
    WRITE_LOGFILE("No Dcm\n\n");
    WRITE_LOGFILE("Max data : 100.0\n");
    EXPECT_EQ(read_file(log), "No Dcm\n\nMax data : 100.0\n");
    // The log names patients: the file and its folder are the owner's alone, whatever the umask.
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(log).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(dir.str() + "/xdg/vesmora").permissions(), fs::perms::owner_all);
    // Palettes are still looked for in the program folder (missing there: the built-in ones, with a box).
    ASSERT_EQ(headless::state().boxes.size(), 1u);
    EXPECT_NE(headless::state().boxes[0].text.find("PALETS"), std::string::npos);
    EXPECT_EQ(std::string(APP_FOLDER), dir.str() + "/a-file/bin/");

    // The next start empties it again; a writable program folder takes the log back.
    INIT_STATE();
    EXPECT_EQ(read_file(log), "");
    start_in(dir.str());
    EXPECT_EQ(LOG_FOLDER[0], 0);
    WRITE_LOGFILE("beside\n");
    EXPECT_EQ(read_file(dir.str() + "/log.txt"), "beside\n");
    EXPECT_EQ(fs::status(dir.str() + "/log.txt").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(read_file(log), "");
}

TEST(LogFolder, WithoutAnAbsoluteXdgStateHomeTheLogGoesUnderHome) {
    TempDir dir;
    for (const char* xdg_value : {static_cast<const char*>(nullptr), "", "relative/state"}) {
        EnvVar xdg("XDG_STATE_HOME", xdg_value);
        EnvVar home("HOME", (dir.str() + "/home").c_str());
        start_in(unwritable_program_folder(dir));
        WRITE_LOGFILE("under home\n");
        EXPECT_EQ(read_file(dir.str() + "/home/.local/state/vesmora/log.txt"), "under home\n")
            << "XDG_STATE_HOME=" << (xdg_value ? xdg_value : "(unset)");
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "relative"));
    }
}

TEST(LogFolder, NoUsableStateFolderLosesTheTextSilentlyAsBefore) {
    TempDir dir;
    write_file(dir.str() + "/home-is-a-file", "");
    EnvVar xdg("XDG_STATE_HOME", nullptr);
    EnvVar home("HOME", (dir.str() + "/home-is-a-file").c_str());
    start_in(unwritable_program_folder(dir));
    EXPECT_EQ(LOG_FOLDER[0], 0);
    EXPECT_EQ(WRITE_LOGFILE("lost\n"), 0);
    EXPECT_EQ(read_file(dir.str() + "/home-is-a-file"), "");

    // A state folder whose log path would not fit the 260-byte buffer is not cut either.
    const std::string deep = dir.str() + "/" + std::string(240, 'd');
    EnvVar long_xdg("XDG_STATE_HOME", deep.c_str());
    start_in(unwritable_program_folder(dir));
    EXPECT_EQ(LOG_FOLDER[0], 0);
    EXPECT_FALSE(std::filesystem::exists(deep));
}

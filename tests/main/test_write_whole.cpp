// The one way the program writes a file, and the one way it converts its texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "latin1.h"
#include "test_support.h"
#include "write_whole.h"

namespace fs = std::filesystem;

namespace {
std::size_t files_in(const fs::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) n++;
    return n;
}
}  // namespace

TEST(WriteWhole, AWriterThatFailsHalfWayLeavesTheOldFileWholeAndNoTemporary) {
    TempDir dir;
    const std::string path = (dir.path() / "mod\xC3\xA8le.json").string();
    std::string error;
    ASSERT_TRUE(write_whole(path, std::string("ancien contenu\n"), error)) << error;

    std::string temporary_seen;
    const bool ok = write_whole(
        path,
        [&](const std::string& temporary, std::string& why) {
            temporary_seen = temporary;
            write_file(temporary, "moiti\xE9 du nouveau");  // half of the new file, then the disk fills up
            why = "No space left on device";
            return false;
        },
        error, "le fichier mod\xE8le");
    EXPECT_FALSE(ok);
    EXPECT_EQ(read_file(path), "ancien contenu\n");
    EXPECT_EQ(fs::path(temporary_seen).parent_path(), dir.path());  // written beside, so the rename stays on one disk
    EXPECT_FALSE(fs::exists(temporary_seen));
    EXPECT_EQ(files_in(dir.path()), 1u);
    EXPECT_EQ(error, "Impossible d'\xE9" "crire le fichier mod\xE8le " + path + " \x97 d\xE9tail : No space left on device");

    // A rename that cannot happen (a folder holds the name) is a failure too, with nothing left behind.
    fs::create_directories(dir.path() / "pris" / "plein");
    EXPECT_FALSE(write_whole((dir.path() / "pris").string(), std::string("x"), error));
    EXPECT_NE(error.find(" \x97 d\xE9tail : "), std::string::npos) << error;
    EXPECT_EQ(files_in(dir.path()), 2u);

    ASSERT_TRUE(write_whole(path, std::string("nouveau\n"), error)) << error;
    EXPECT_EQ(read_file(path), "nouveau\n");
    EXPECT_FALSE(write_whole((dir.path() / "absent" / "f").string(), std::string("x"), error));
    EXPECT_EQ(files_in(dir.path()), 2u);
}

TEST(Latin1, WindowsSignsRoundTripAndPathsInUtf8StayReadable) {
    const std::string program = "Fr\xE9quence \x97 d\xE9tail \x80";  // é, the dash and the euro of Windows-1252
    const std::string utf8 = latin1_to_utf8(program);
    EXPECT_EQ(utf8, "Fr\xC3\xA9quence \xE2\x80\x94 d\xC3\xA9tail \xE2\x82\xAC");
    EXPECT_EQ(utf8_to_latin1(utf8), program);
    EXPECT_EQ(utf8_to_latin1("\xE6\x97\xA5 \xC3"), "? ?");  // beyond Windows-1252; a cut sequence

    std::string latin1;
    EXPECT_TRUE(utf8_to_latin1_strict("Ren\xC3\xA9 \xC3\xBF", latin1));
    EXPECT_EQ(latin1, "Ren\xE9 \xFF");
    EXPECT_FALSE(utf8_to_latin1_strict("\xE2\x80\x94", latin1));  // the dash: Windows-1252, not ISO_IR 100
    EXPECT_FALSE(utf8_to_latin1_strict("\xE6\x97\xA5", latin1));
    EXPECT_FALSE(utf8_to_latin1_strict("Ren\xE9", latin1));      // Latin-1 given where UTF-8 is wanted
    EXPECT_FALSE(utf8_to_latin1_strict("\xC0\xA9", latin1));     // overlong

    // A message naming a path in the system's UTF-8 bytes: the path is kept, the letters converted.
    EXPECT_EQ(program_text_to_utf8("Impossible d'\xE9" "crire /tmp/\xC3\xA9t\xC3\xA9"),
              "Impossible d'\xC3\xA9" "crire /tmp/\xC3\xA9t\xC3\xA9");
}

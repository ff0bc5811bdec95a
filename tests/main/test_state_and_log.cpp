// Start-up state, the program folder, the log file, the boxes and the exits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "headless.h"
#include "main.h"
#include "test_support.h"

namespace {

std::string folder_of(const char* program_path) {
    char buf[PATH_SIZE];
    SET_APP_FOLDER(buf, program_path);
    for (int i = static_cast<int>(std::strlen(buf)); i < PATH_SIZE; i++)
        if (buf[i] != 0) return "<byte " + std::to_string(i) + " not zero>";
    return buf;
}

}  // namespace

TEST(AppFolder, CutsAtTheSeparatorBeforeTheProgramAndTurnsBackslashes) {
    EXPECT_EQ(folder_of("C:\\Tools\\App\\prog.exe"), "C:/Tools/App/");
    EXPECT_EQ(folder_of("/opt/vesmora/bin/vesmora"), "/opt/vesmora/bin/");
}

TEST(AppFolder, UpperCaseExtensionIsNotAStopSoTheLastSeparatorWins) {
    EXPECT_EQ(folder_of("C:\\TOOLS\\PROG.EXE"), "C:/TOOLS/");
}

TEST(AppFolder, LowerCaseExeInsideTheFolderStopsTheScanEarly) {
    EXPECT_EQ(folder_of("C:\\x.exe\\prog.exe"), "C:/");
}

TEST(AppFolder, PathWithoutSeparatorGivesAnEmptyFolder) {
    EXPECT_EQ(folder_of("prog.exe"), "");
}

TEST(AppFolder, OverlongPathIsCutToTheBuffer) {
    std::string longpath = "/" + std::string(400, 'a') + "/prog";
    std::string f = folder_of(longpath.c_str());
    EXPECT_EQ(f, "/");  // no separator is seen within the first 256 characters but the first
}

TEST(RempSlash, TurnsEveryBackslashUpToTheLastByteEvenPastTheZero) {
    char buf[PATH_SIZE];
    std::memset(buf, '\\', sizeof buf);
    buf[3] = 0;
    REMP_SLASH(buf, 2);
    EXPECT_EQ(buf[0], '\\');
    EXPECT_EQ(buf[1], '\\');
    EXPECT_EQ(buf[2], '/');
    EXPECT_EQ(buf[3], 0);
    EXPECT_EQ(buf[259], '/');
}

class StartedProgram : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { start_in(dir.str()); }
    std::string log() { return read_file(dir.str() + "/log.txt"); }
};

TEST_F(StartedProgram, HasItsStartValues) {
    EXPECT_EQ(std::string(APP_FOLDER), dir.str() + "/");
    EXPECT_STREQ(chaine, "Infos patient\n");
    EXPECT_EQ(ech, 64);
    EXPECT_EQ(Nhla, 128);
    EXPECT_EQ(Nvla, 128);
    EXPECT_EQ(Nsa, 128);
    EXPECT_EQ(Tot_ang, 32);
    EXPECT_EQ(res3D_ang, 8);
    EXPECT_EQ(sam_ax, 240);
    EXPECT_EQ(sam_ang, 480);
    EXPECT_EQ(set_ombre, 1);
    EXPECT_EQ(load_ok + ell_ok + res_ok, 0);
    EXPECT_EQ(RES_DISP, 0);
    for (int n = 0; n < VIEW_BYTES; n++) ASSERT_EQ(BMPhla[n] | BMPvla[n] | BMPsa[n], 0);
    for (int n = 0; n < RES_BYTES; n++) ASSERT_EQ(BMPres[n], 0);
}

// The first start leaves the volume as the process got it (zeros); every later one clears what was written.
TEST_F(StartedProgram, StartsWithAnEmptyVolumeAndClearsOneWrittenSince) {
    const auto empty = [] { return std::all_of(data, data + VOL_SIZE, [](float v) { return v == 0.0f; }); };
    EXPECT_TRUE(empty());
    data[0] = 1.0f, data[VOL_SIZE / 2 + 7] = 2.0f, data[VOL_SIZE - 1] = 3.0f;  // written without a load
    const unsigned long before = data_generation;
    INIT_STATE();
    EXPECT_TRUE(empty());
    EXPECT_GT(data_generation, before);
}

TEST_F(StartedProgram, DescribesEveryPictureKindTwiceAlike) {
    struct {
        const BitmapDesc& a;
        const BitmapDesc& b;
        int w, h;
        unsigned bytes;
    } kinds[] = {{bmpinfo, bmpinf, 256, 256, 196608},
                 {bmpinfo_, bmpinf_, 400, 400, 480000},
                 {bmpinfo_s, bmpinf_s, 256, 16, 12288},
                 {bmpinfo_p, bmpinf_p, 220, 56, 36960}};
    for (auto& k : kinds) {
        EXPECT_EQ(std::memcmp(&k.a, &k.b, sizeof(BitmapDesc)), 0);
        EXPECT_EQ(k.a.biSize, 40);
        EXPECT_EQ(k.a.biWidth, k.w);
        EXPECT_EQ(k.a.biHeight, k.h);
        EXPECT_EQ(k.a.biPlanes, 1);
        EXPECT_EQ(k.a.biBitCount, 24);
        EXPECT_EQ(k.a.biCompression, 0u);
        EXPECT_EQ(k.a.biSizeImage, k.bytes);
        EXPECT_EQ(k.a.biXPelsPerMeter, 1);
        EXPECT_EQ(k.a.biYPelsPerMeter, 1);
        EXPECT_EQ(k.a.biClrUsed + k.a.biClrImportant, 0u);
    }
}

TEST_F(StartedProgram, LogIsEmptyAfterStartAndGrowsTextByTextWithNothingAdded) {
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "log.txt"));  // made, not only absent
    EXPECT_EQ(log(), "");
    WRITE_LOGFILE("No Dcm\n\n");
    WRITE_LOGFILE("runs on");
    WRITE_LOGFILE(" the same line\n");
    EXPECT_EQ(log(), "No Dcm\n\nruns on the same line\n");
}

TEST_F(StartedProgram, StartEmptiesALogLeftByAnEarlierRun) {
    WRITE_LOGFILE("old run\n");
    INIT_STATE();
    EXPECT_EQ(log(), "");
}

TEST(ProgramFolder, BackslashBeforeTheProgramNameStillFindsTheLogBesideIt) {
    TempDir dir;
    headless::reset();
    headless::set_module_path(dir.str() + "\\vesmora");
    INIT_STATE();
    EXPECT_EQ(std::string(APP_FOLDER), dir.str() + "/");
    WRITE_LOGFILE("found\n");
    EXPECT_EQ(read_file(dir.str() + "/log.txt"), "found\n");
}

TEST_F(StartedProgram, LogThatCannotBeOpenedLosesTheTextSilently) {
    std::filesystem::create_directory(dir.path() / "ro");
    std::snprintf(APP_FOLDER, PATH_SIZE, "%s/missing/folder/", dir.str().c_str());
    EXPECT_EQ(WRITE_LOGFILE("lost\n"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

TEST_F(StartedProgram, TextFileAppendsInBinaryAndSkipsAFileThatCannotOpen) {
    WRITE_TXTFILE("notes.txt", "a\n");
    WRITE_TXTFILE("notes.txt", "b");
    EXPECT_EQ(read_file(dir.str() + "/notes.txt"), "a\nb");
    EXPECT_EQ(WRITE_TXTFILE("no/such/dir.txt", "x"), 0);
}

TEST_F(StartedProgram, OverlongFileNameIsCutNotOverrun) {
    std::string name(1000, 'n');
    WRITE_TXTFILE(name.c_str(), "x");
    EXPECT_LT(std::strlen(tmpath), static_cast<size_t>(PATH_SIZE));
}

TEST_F(StartedProgram, BoxesCarryTheirTitlesIconsAndOwners) {
    headless::reset();
    HWND_ saved = WINDOW;
    WINDOW = plat_create_window(TPL_WIN, nullptr, nullptr);
    MEMS("Ce fichier n'est pas un fichier dicom valide");
    MUMS("info");
    MOMS(" DRE-1 ");
    auto& boxes = headless::state().boxes;
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].title, "Vesmora");
    EXPECT_EQ(boxes[0].icon, ICON_WARNING);
    EXPECT_EQ(boxes[0].owner, WINDOW);
    EXPECT_EQ(boxes[1].icon, ICON_INFORMATION);
    EXPECT_EQ(boxes[1].title, "Vesmora");
    EXPECT_EQ(boxes[2].title, "D\xE9sol\xE9, le programme doit fermer...");
    EXPECT_EQ(boxes[2].text, "Erreur M\xE9moire. Code  DRE-1 ");
    EXPECT_EQ(boxes[2].owner, nullptr);
    WINDOW = saved;
}

TEST_F(StartedProgram, BrowseDirAnswersThroughTheFolderPicker) {
    char path[PATH_SIZE] = {};
    headless::queue_folder_answer("/data/studies");
    headless::queue_folder_cancel();
    EXPECT_EQ(BrowseDir("Choisir", path), 1);
    EXPECT_STREQ(path, "/data/studies");
    EXPECT_EQ(BrowseDir("Choisir", path), 0);
    ASSERT_EQ(headless::state().folder_requests.size(), 2u);
    EXPECT_EQ(headless::state().folder_requests[0], "Choisir");
}

// Failed reservations: the allocator fails on the n-th start-up reservation.
namespace {
int fail_at = -1;
int calls = 0;
void* failing_alloc(std::size_t n) {
    return calls++ == fail_at ? nullptr : std::malloc(n);
}

void start_failing_at(int n, const std::string& folder) {
    headless::reset();
    headless::state().echo_boxes = true;
    headless::set_module_path(folder + "/vesmora");
    fail_at = n;
    calls = 0;
    vesmora_alloc = failing_alloc;
    INIT_STATE();
}
}  // namespace

TEST(FailedReservation, NoReservationFailsWhenMemoryIsThere) {
    TempDir dir;
    start_failing_at(-1, dir.str());
    vesmora_alloc = std::malloc;
    EXPECT_EQ(calls, 16);
    EXPECT_NE(BMPpal, nullptr);
}

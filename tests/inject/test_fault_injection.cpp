// Fault injection: every reservation of start-up and of the import made to fail in
// turn, the log folder and the palette file unusable, the study deleted or cut
// between the dialog and the read, and a disk whose reads stop half way.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dicom_writer.h"
#include "headless.h"
#include "main.h"
#include "test_support.h"

namespace {

// ---- hooks -------------------------------------------------------------------------------------
int g_fail_at = 0;  // reservation (1-based, counted from arming) that fails; 0: none
int g_count = 0;
std::string g_log_path;
std::vector<long> g_log_at;  // size of log.txt when each reservation was asked for

long file_size(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

void* hooked_alloc(std::size_t n) {
    if (++g_count == g_fail_at) return nullptr;
    g_log_at.push_back(file_size(g_log_path));
    return std::malloc(n);
}

void arm(int fail_at) {
    g_count = 0;
    g_fail_at = fail_at;
    g_log_at.clear();
    vesmora_alloc = hooked_alloc;
}

// Reads that stop half way once `g_short_read` calls have passed.
int g_short_read = -1;
std::size_t half_read(void* buf, std::size_t size, std::size_t count, FILE* f) {
    if (g_short_read-- == 0) return std::fread(buf, size, count / 2, f);
    return std::fread(buf, size, count, f);
}

// Reads that stop after `g_read_cap` bytes once `g_capped_read` calls have passed.
int g_capped_read = -1;
std::size_t g_read_cap = 0;
std::size_t capped_read(void* buf, std::size_t size, std::size_t count, FILE* f) {
    if (g_capped_read-- == 0 && count > g_read_cap) return std::fread(buf, size, g_read_cap, f);
    return std::fread(buf, size, count, f);
}

std::vector<std::int16_t> ramp(int n, int scale) {
    std::vector<std::int16_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; i++) v[static_cast<std::size_t>(i)] = static_cast<std::int16_t>((i * scale) % 700);
    return v;
}

const std::string kFirst = nm_header(8, 8, 8, "FIRST^STUDY").pixels(ramp(512, 37)).bytes();
const std::string kSecond = nm_header(8, 8, 8, "SECOND^STUDY", "20251224", "071Y").pixels(ramp(512, 91)).bytes();

class FaultTest : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        write_file(dir.str() + "/PALETS", read_file(VESMORA_SOURCE_DIR "/data/PALETS"));
        headless::reset();
        headless::set_module_path(dir.str() + "/vesmora");
        headless::state().echo_boxes = true;  // death tests match the boxes on stderr
        g_log_path = dir.str() + "/log.txt";
    }
    void TearDown() override {
        vesmora_alloc = std::malloc;
        vesmora_read = std::fread;
        headless::state().on_open_answer = nullptr;
    }
    std::string save(const std::string& name, const std::string& bytes) {
        write_file(dir.str() + "/" + name, bytes);
        return dir.str() + "/" + name;
    }
    void open(const std::string& path) {
        headless::queue_open_answer(path);
        plat_send_message(WINDOW, VM_COMMAND, 10, 0);
    }
    std::string log() { return read_file(g_log_path); }
};

// What the screen and the model show of the study loaded last.
struct Shown {
    std::string caption, patient;
    int load_ok, ech, NCZ, ell_ok, res_ok, Nsa;
    double volume_sum;
    bool operator==(const Shown&) const = default;
};

Shown shown() {
    double sum = 0;
    for (int n = 0; n < VOL_SIZE; n += 7) sum += data[n];
    return Shown{WINDOW->caption, headless::text_of(WINDOW, 54), load_ok, ech, NCZ, ell_ok, res_ok, Nsa, sum};
}

// Codes of start-up's reservations, in order: the texts, then the pictures.
const std::vector<std::string> kStartupCodes = {" char ", " DRE-1 ", " DRE-2 ", " DRE-3 ", " DRE-3 ", " DRE-4 ",
                                                " char ", " char ", " char ", " char ", " char ", " char ",
                                                " char ", " char ", " char ", " char "};
// Codes of the import of a whole study (elements in ascending tag order): the file,
// each value's scratch copy, the new date and age texts and the dates' reformatting,
// then the pixel block and the resampling rows.
const std::vector<std::string> kImportCodes = {" DRE-0 ", " DRE-0 ", " DRE-5 ", " DRE-33 ", " DRE-0 ",
                                               " DRE-0 ", " DRE-33 ", " DRE-0 ", " DRE-0 ", " DRE-4 ",
                                               " DRE-0 ", " DRE-0 ", " DRE-0 ", " load ", " load "};

std::string box_pattern(const std::string& code) {
    // "Désolé, le programme doit fermer... | Erreur Mémoire. Code " + code, as echoed in UTF-8.
    return "box warning D.+sol.+, le programme doit fermer\\.\\.\\. \\| Erreur M.+moire\\. Code " + code + "\n";
}

}  // namespace

TEST_F(FaultTest, EveryStartupReservationFailingShowsItsCodeAndEndsWith33) {
    arm(0);
    STARTUP();
    ASSERT_EQ(g_count, static_cast<int>(kStartupCodes.size())) << "start-up reserves another buffer: list its code";
    for (std::size_t k = 1; k <= kStartupCodes.size(); k++) {
        std::filesystem::remove(g_log_path);
        EXPECT_EXIT(
            {
                arm(static_cast<int>(k));
                STARTUP();
            },
            ::testing::ExitedWithCode(33), box_pattern(kStartupCodes[k - 1]))
            << "reservation " << k;
        // The log is emptied once the eight texts exist, and holds nothing then.
        EXPECT_EQ(file_size(g_log_path), k <= 8 ? -1 : 0) << "reservation " << k;
    }
}

TEST_F(FaultTest, EveryImportReservationFailingShowsItsCodeEndsWith33AndLeavesTheLogWritten) {
    const std::string path = save("second.dcm", kSecond);
    STARTUP();
    arm(0);
    open(path);
    ASSERT_EQ(load_ok, 1);
    ASSERT_EQ(g_count, static_cast<int>(kImportCodes.size())) << "the import reserves another buffer: list its code";
    const std::vector<long> log_at = g_log_at;
    const std::string whole_log = log();
    for (std::size_t k = 1; k <= kImportCodes.size(); k++) {
        EXPECT_EXIT(
            {
                STARTUP();
                arm(static_cast<int>(k));
                open(path);
            },
            ::testing::ExitedWithCode(33), box_pattern(kImportCodes[k - 1]))
            << "reservation " << k;
        // Every text written before the failure is on disk, and nothing after it.
        EXPECT_EQ(log(), whole_log.substr(0, static_cast<std::size_t>(log_at[k - 1]))) << "reservation " << k;
    }
}

TEST_F(FaultTest, ReservationsOfARefusedImportPuttingTheTextsBackShowTheirCodes) {
    // The pixels cut short: the header replaces the date and age texts, the loader
    // refuses the file, and the old texts get buffers again.
    const std::string path = save("cut.dcm", kSecond.substr(0, kSecond.size() - 600));
    STARTUP();
    arm(0);
    open(path);
    ASSERT_EQ(load_ok, 0);
    ASSERT_EQ(g_count, 15);
    const std::vector<std::string> codes = {" DRE-5 ", " DRE-4 "};
    for (int k = 14; k <= 15; k++) {
        EXPECT_EXIT(
            {
                STARTUP();
                arm(k);
                open(path);
            },
            ::testing::ExitedWithCode(33), box_pattern(codes[static_cast<std::size_t>(k - 14)]))
            << "reservation " << k;
    }
}

TEST_F(FaultTest, LogThatCannotBeWrittenIsLostSilentlyAndTheAnalysisGoesOn) {
    std::filesystem::create_directory(g_log_path);  // a folder where the log should be: no open succeeds
    STARTUP();
    open(save("first.dcm", kFirst));
    plat_send_message(WINDOW, VM_COMMAND, 24, 0);
    plat_send_message(WINDOW, VM_COMMAND, 45, 0);
    EXPECT_EQ(load_ok, 1);
    EXPECT_EQ(res_ok, 1);
    for (int n = 1; n <= 17; n++) EXPECT_TRUE(std::isfinite(SECTEUR[n])) << n;
    EXPECT_TRUE(headless::state().boxes.empty());
    EXPECT_TRUE(std::filesystem::is_directory(g_log_path));
}

TEST_F(FaultTest, ProgramFolderThatDoesNotExistRunsWithTheBuiltInPalettes) {
    headless::set_module_path(dir.str() + "/absent/vesmora");
    STARTUP();
    ASSERT_EQ(headless::state().boxes.size(), 1u);  // the palette warning, nothing else
    open(save("first.dcm", kFirst));
    EXPECT_EQ(load_ok, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.str() + "/absent"));
}

TEST_F(FaultTest, PaletteFileThatIsAFolderOrStopsHalfWayGivesTheBuiltInPalettes) {
    STARTUP();
    unsigned char shipped[PALETS_BYTES];
    std::memcpy(shipped, palette, sizeof shipped);
    const std::string file = dir.str() + "/PALETS";
    // A file of another palette set, read half way only.
    std::string other(PALETS_BYTES, '\x11');
    write_file(file, other);
    g_short_read = 0;
    vesmora_read = half_read;
    headless::reset();
    STARTUP();
    vesmora_read = std::fread;
    EXPECT_EQ(headless::state().boxes.size(), 1u);
    EXPECT_EQ(std::memcmp(palette, shipped, sizeof shipped), 0);
    // A folder by that name: it opens, but gives no bytes.
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    headless::reset();
    STARTUP();
    EXPECT_EQ(headless::state().boxes.size(), 1u);
    EXPECT_EQ(std::memcmp(palette, shipped, sizeof shipped), 0);
}

TEST_F(FaultTest, StudyDeletedOrCutBetweenTheDialogAndTheReadLeavesTheShownStudyWhole) {
    STARTUP();
    open(save("first.dcm", kFirst));
    plat_send_message(WINDOW, VM_COMMAND, 24, 0);
    ASSERT_EQ(load_ok, 1);
    const Shown before = shown();
    const std::string second = save("second.dcm", kSecond);
    struct Case {
        const char* what;
        std::function<void(const std::string&)> change;
        std::string box;
    } cases[] = {
        // The file named, then the system's reason.
        {"deleted", [](const std::string& p) { std::filesystem::remove(p); },
         "Impossible d'ouvrir ce fichier.\n" + second + " \x97 d\xE9tail : " + std::strerror(ENOENT)},
        {"cut inside the preamble", [](const std::string& p) { std::filesystem::resize_file(p, 100); },
         "Ce fichier n'est pas un fichier dicom valide"},
        {"cut inside the pixels", [](const std::string& p) { std::filesystem::resize_file(p, 700); },
         "Fichier incomplet"},
        {"emptied", [](const std::string& p) { std::filesystem::resize_file(p, 0); },
         "Ce fichier n'est pas un fichier dicom valide"},
    };
    for (const Case& c : cases) {
        write_file(second, kSecond);
        headless::state().boxes.clear();
        headless::state().on_open_answer = c.change;
        open(second);
        EXPECT_EQ(shown(), before) << c.what;
        ASSERT_EQ(headless::state().boxes.size(), 1u) << c.what;
        EXPECT_NE(headless::state().boxes[0].text.find(c.box), std::string::npos) << c.what;
    }
    headless::state().on_open_answer = nullptr;
    write_file(second, kSecond);
    open(second);
    EXPECT_NE(shown(), before);  // the same file, left alone, loads
}

TEST_F(FaultTest, PixelReadStoppingHalfWayLeavesTheShownStudyWhole) {
    STARTUP();
    open(save("first.dcm", kFirst));
    const Shown before = shown();
    // Reads of a load: the mark, the whole file for the header, the pixel block.
    g_short_read = 2;
    vesmora_read = half_read;
    open(save("second.dcm", kSecond));
    EXPECT_EQ(shown(), before);
    ASSERT_FALSE(headless::state().boxes.empty());
    EXPECT_EQ(headless::state().boxes.back().text, "Lecture des images du fichier impossible.");
}

TEST_F(FaultTest, HeaderReadStoppingHalfWayIsRefusedNotTakenForTheEndOfTheFile) {
    STARTUP();
    open(save("first.dcm", kFirst));
    const Shown before = shown();
    // The header's read of the second study stops inside its sex element: frames and
    // matrix are not reached, and must not be taken over from the first study.
    g_capped_read = 1;
    g_read_cap = 200;
    vesmora_read = capped_read;
    open(save("second.dcm", kSecond));
    EXPECT_EQ(shown(), before);
    EXPECT_EQ(std::string(PAT_NAME), "FIRST STUDY");
    ASSERT_EQ(headless::state().boxes.size(), 1u);
    EXPECT_EQ(headless::state().boxes[0].text, "Lecture du fichier impossible.");
}

// The Win32 back end's own arithmetic, run here on the headless back end: the
// window placed for the frame Windows really draws and the wheel's screen point
// turned into the right client pixel by the program; paths handed over whole;
// the program folder from Windows paths; the names a drop accepts.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "headless.h"
#include "layout.h"
#include "main.h"
#include "test_support.h"
#include "commands.h"
#include "win32_geometry.h"
#include "win32_menu.h"

namespace {

class Win32Frame : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        headless::reset();
        headless::set_module_path(dir.str() + "/vesmora.exe");
        STARTUP();
    }
    // The main window as the Win32 back end reports it, its client area at (x, y) on screen.
    static void client_at(int x, int y) {
        const PlatRect r = win32::reported_rect(x, y);
        plat_set_window_pos(WINDOW, r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    static void wheel_at_screen(int sx, int sy, int delta) {
        plat_send_message(WINDOW, VM_MOUSEWHEEL, MAKE_PARAM(0, delta), static_cast<std::intptr_t>(MAKE_PARAM(sx, sy)));
    }
};

// Frames a Windows may draw around the client area (caption and menu bar in the top):
// Windows 10/11 (invisible resize borders), the classic theme, a menu bar on two lines, Wine.
const win32::Frame FRAMES[] = {{8, 51, 8, 8}, {3, 41, 3, 3}, {8, 71, 8, 8}, {1, 39, 1, 1}};

TEST_F(Win32Frame, WindowPlacedForItsRealFrameKeepsTheProgramsClientPoints) {
    for (const win32::Frame& f : FRAMES) {
        SCOPED_TRACE(testing::Message() << "frame " << f.left << " " << f.top << " " << f.right << " " << f.bottom);
        // Asked for (60, 30): the client area lands where the program's own frame puts it,
        // with the layout's size, whatever the real frame.
        const PlatRect outer = win32::outer_rect_for(60, 30, f);
        const int cx = outer.left + f.left, cy = outer.top + f.top;
        EXPECT_EQ(cx, 60 + FRAME_LEFT);
        EXPECT_EQ(cy, 30 + FRAME_TOP);
        const win32::Frame back = win32::frame_of(outer, cx, cy, CLIENT_WIDTH, CLIENT_HEIGHT);
        EXPECT_EQ(back.right, f.right);
        EXPECT_EQ(back.bottom, f.bottom);
    }
}

TEST_F(Win32Frame, WheelLandsOnTheClientPixelUnderThePointer) {
    // On the primary screen, and on a screen left of and above it (negative coordinates).
    const int origins[][2] = {{63, 52}, {-1500, -300}, {2000, 900}};
    for (const auto& o : origins) {
        SCOPED_TRACE(testing::Message() << "client area at " << o[0] << ", " << o[1]);
        client_at(o[0], o[1]);
        // The results picture answers over 419..818 x 338..737, with or without results.
        res3D_ang = 8;
        wheel_at_screen(o[0] + 419, o[1] + 338, 120);
        EXPECT_EQ(res3D_ang, 9);
        wheel_at_screen(o[0] + 818, o[1] + 737, -120);
        EXPECT_EQ(res3D_ang, 8);
        wheel_at_screen(o[0] + 418, o[1] + 500, 120);
        wheel_at_screen(o[0] + 600, o[1] + 337, 120);
        wheel_at_screen(o[0] + 819, o[1] + 500, 120);
        wheel_at_screen(o[0] + 600, o[1] + 738, 120);
        EXPECT_EQ(res3D_ang, 8) << "a point beside the picture turned it";

        // The views step their slice over 50..303, view 2 from x 294 to 547.
        load_ok = 1;
        RAP = 1;
        Nvla = 100;
        wheel_at_screen(o[0] + 294, o[1] + 50, -120);
        EXPECT_EQ(Nvla, 99);
        wheel_at_screen(o[0] + 547, o[1] + 303, 120);
        EXPECT_EQ(Nvla, 100);
        wheel_at_screen(o[0] + 293, o[1] + 100, 120);
        wheel_at_screen(o[0] + 400, o[1] + 304, 120);
        EXPECT_EQ(Nvla, 100);
        load_ok = 0;
    }
}

TEST(Win32Paths, ChosenPathIsHandedOverWholeOrRefused) {
    char path[8];
    std::memset(path, 'x', sizeof path);
    EXPECT_EQ(win32::hand_over_path("C:\\a.dc", path, 8), 1);  // 7 letters and the zero: fits exactly
    EXPECT_STREQ(path, "C:\\a.dc");
    EXPECT_EQ(win32::hand_over_path("C:\\ab.dc", path, 8), -1);  // one byte too many: refused, not cut
    EXPECT_STREQ(path, "");
    EXPECT_EQ(win32::hand_over_path("", path, 0), -1);
}

TEST(Win32Paths, ProgramFolderFromWindowsPaths) {
    auto folder_of = [](const char* program) {
        char buf[PATH_SIZE];
        SET_APP_FOLDER(buf, program);
        return std::string(buf);
    };
    EXPECT_EQ(folder_of("C:\\Program Files\\Vesmora\\vesmora.exe"), "C:/Program Files/Vesmora/");
    EXPECT_EQ(folder_of("D:\\vesmora.exe"), "D:/");  // a drive root keeps its separator
    EXPECT_EQ(folder_of("\\\\serveur\\partage\\Vesmora\\vesmora.exe"), "//serveur/partage/Vesmora/");  // UNC
    EXPECT_EQ(folder_of("C:\\Users\\Ren\xE9\\T\xE9l\xE9" "chargements\\vesmora.exe"),
              "C:/Users/Ren\xE9/T\xE9l\xE9" "chargements/");  // Windows-1252 letters kept

    // The shell gets the help document back with the system's separators, a UNC path included.
    char aide[] = "//serveur/partage/Vesmora/Aide.pdf";
    win32::to_backslashes(aide);
    EXPECT_STREQ(aide, "\\\\serveur\\partage\\Vesmora\\Aide.pdf");
}

// The rule of which dropped file is a study is the program's (both desktop programs use it).
TEST(Win32Drop, OnlyStudiesAreTaken) {
    EXPECT_TRUE(IS_STUDY_FILE("C:\\Etudes\\patient.dcm"));
    EXPECT_TRUE(IS_STUDY_FILE("C:\\Etudes\\PATIENT.DCM"));
    EXPECT_FALSE(IS_STUDY_FILE("C:\\Etudes\\patient.dcm.txt"));
    EXPECT_FALSE(IS_STUDY_FILE("C:\\Etudes\\.dcm"));
    EXPECT_FALSE(IS_STUDY_FILE("/home/x/.dcm"));
    EXPECT_FALSE(IS_STUDY_FILE(".dcm"));
    EXPECT_FALSE(IS_STUDY_FILE("C:\\Etudes\\patient.dicom"));
    // A CD's DICOMDIR and its images without extension; a folder is no file.
    EXPECT_TRUE(IS_STUDY_FILE("D:\\DICOMDIR"));
    EXPECT_TRUE(IS_STUDY_FILE("/media/cdrom/dicom/s0001/IM000001"));
    EXPECT_FALSE(IS_STUDY_FILE("/media/cdrom/"));
    EXPECT_FALSE(IS_STUDY_FILE("/media/cdrom/README.TXT"));
}

// Every command of the table is in the Windows menu or listed as missing in the checklist
// at the top of its back end, and the checklist lists nothing that the menu offers.
TEST(Win32Menu, EveryCommandIsOfferedOrListedAsMissing) {
    std::ifstream in(std::string(VESMORA_SOURCE_DIR) + "/platform/win32/win32_backend.cpp", std::ios::binary);
    ASSERT_TRUE(in);
    std::string head, line;
    while (std::getline(in, line) && line.rfind("//", 0) == 0) head += line + "\n";
    auto plain = [](const char* label) {  // no accelerator marker, no "...", as the UTF-8 source says it
        std::string s;
        for (const char* p = label; *p; p++)
            if (*p != '&' && *p != '.') s += *p;
        return headless::utf8(s);
    };
    int offered = 0;
    for (int n = 0; n < COMMAND_COUNT; n++) {
        const Command& c = COMMANDS[n];
        const bool missing = head.find("//  [ ] " + plain(c.label) + ": missing") != std::string::npos;
        EXPECT_NE(win32::offers(c), missing) << c.label;
        offered += win32::offers(c) ? 1 : 0;
    }
    EXPECT_GE(offered, 7);  // Ouvrir, the two model items, Quitter, Placement automatique, Aide, À propos
    ASSERT_NE(command_of(ID_AUTO_PLACE), nullptr);
    EXPECT_TRUE(win32::offers(*command_of(ID_AUTO_PLACE)));
}

}  // namespace

// What the program keeps between runs (see remembered.h).
#include "remembered.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "Main_Wnd_Proc.h"
#include "layout.h"
#include "main.h"

namespace {

// A kept whole number within lo..hi, else false.
bool kept_int(const char* key, int lo, int hi, int& out) {
    char text[32];
    if (plat_load_setting(key, text, sizeof text) != 1) return false;
    const std::string s = text;
    const std::size_t digits = s.find_first_not_of("0123456789", s[0] == '-' ? 1 : 0);
    if (s.empty() || s == "-" || digits != std::string::npos || s.size() > 7) return false;
    const int v = std::stoi(s);
    if (v < lo || v > hi) return false;
    out = v;
    return true;
}

}  // namespace

void RESTORE_SETTINGS() {
    kept_int(KEY_PALETTE, 0, 15, palet);
    kept_int(KEY_COLOUR, 0, 5, couleur);
    int x = 0, y = 0;
    // A place far beyond any screen is a damaged value; the back end keeps the window on a screen.
    if (kept_int(KEY_WINDOW_X, -16000, 16000, x) && kept_int(KEY_WINDOW_Y, -16000, 16000, y)) {
        plat_set_window_pos(WINDOW, x, y, WIN_WIDTH, WIN_HEIGHT);
        PlatRect r;
        plat_get_window_rect(WINDOW, &r);  // where it went
        PLACE_POPUPS(r.left, r.top);
    }
}

void SAVE_SETTINGS() {
    plat_save_setting(KEY_PALETTE, std::to_string(palet).c_str());
    plat_save_setting(KEY_COLOUR, std::to_string(couleur).c_str());
    if (WINDOW == nullptr) return;
    PlatRect r;
    plat_get_window_rect(WINDOW, &r);
    plat_save_setting(KEY_WINDOW_X, std::to_string(r.left).c_str());
    plat_save_setting(KEY_WINDOW_Y, std::to_string(r.top).c_str());
}

void REMEMBER_FOLDER(const char* key, const std::string& path, bool is_folder) {
    const std::string folder = is_folder ? path : std::filesystem::path(path).parent_path().string();
    if (!folder.empty() && folder.size() < static_cast<std::size_t>(PATH_SIZE)) plat_save_setting(key, folder.c_str());
}

std::string REMEMBERED_FOLDER(const char* key) {
    char folder[PATH_SIZE];
    if (plat_load_setting(key, folder, PATH_SIZE) != 1 || folder[0] == 0) return "";
    std::error_code ec;
    return std::filesystem::is_directory(folder, ec) ? folder : "";
}

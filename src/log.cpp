// The log file, the message boxes and the small file utilities.
#include "main.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

// ---------------------------------------------------------------------------------------------
// Log file, message boxes, file utilities
// ---------------------------------------------------------------------------------------------
namespace {

// tmpath = APP_FOLDER + name, cut to the buffer.
void compose_path(const char* name) {
    std::snprintf(tmpath, PATH_SIZE, "%s%s", APP_FOLDER, name);
}

// The log names patients: its file is the owner's alone (0600), and so is the state folder
// that holds it (0700). On Windows the user's profile already is.
void owner_only(const std::filesystem::path& path, bool folder) {
#ifndef _WIN32
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(path, folder ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace, ec);
#else
    (void)path, (void)folder;
#endif
}

// The user's state folder for this program, '/'-ended, made if missing:
// $XDG_STATE_HOME/vesmora/ when that variable holds an absolute path, else
// $HOME/.local/state/vesmora/. False when there is none, it cannot be made, or
// its log path would not fit the 260-byte path buffer (a path is never cut).
bool state_folder(char* dest) {
    std::filesystem::path folder;
#ifdef _WIN32
    const char* local = std::getenv("LOCALAPPDATA");  // C:\Users\<user>\AppData\Local
    if (local == nullptr || local[0] == 0) return false;
    folder = std::filesystem::path(local) / "Vesmora";
#else
    const char* xdg = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (xdg != nullptr && xdg[0] == '/')  // a relative value is to be ignored
        folder = std::filesystem::path(xdg) / "vesmora";
    else if (home != nullptr && home[0] == '/')
        folder = std::filesystem::path(home) / ".local" / "state" / "vesmora";
    else
        return false;
#endif
    std::string text = folder.string() + "/";
    for (char& c : text)
        if (c == '\\') c = '/';  // the program's paths use '/' throughout
    if (text.size() + std::strlen("log.txt") >= static_cast<std::size_t>(PATH_SIZE)) return false;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) return false;
    owner_only(folder, true);
    std::memset(dest, 0, PATH_SIZE);
    std::memcpy(dest, text.c_str(), text.size());
    return true;
}

// tmpath = the log's folder + "log.txt".
void compose_log_path() {
    if (LOG_FOLDER[0] != 0) {
        // The state folder is taken only when its log path fits; a cut path would name another file.
        if (std::snprintf(tmpath, PATH_SIZE, "%slog.txt", LOG_FOLDER) >= PATH_SIZE) tmpath[0] = 0;
    } else {
        compose_path("log.txt");
    }
}

}  // namespace

int INIT_EXPFILES() {
    std::memset(LOG_FOLDER, 0, PATH_SIZE);
    compose_path("log.txt");
    FILE_LOG = std::fopen(tmpath, "w");
    if (FILE_LOG != nullptr) owner_only(tmpath, false);
    // An installed program's folder is not the user's to write: the log goes to
    // the user's state folder rather than being lost. Everything else (PALETS,
    // Aide.pdf) is still read from the program folder.
    if (FILE_LOG == nullptr && state_folder(LOG_FOLDER)) {
        compose_log_path();
        FILE_LOG = std::fopen(tmpath, "w");
        if (FILE_LOG == nullptr) std::memset(LOG_FOLDER, 0, PATH_SIZE);
        else owner_only(tmpath, false);
    }
    if (FILE_LOG != nullptr) std::fclose(FILE_LOG);
    FILE_LOG = nullptr;
    return 0;
}

int WRITE_LOGFILE(const char* text) {
    compose_log_path();
    FILE_LOG = std::fopen(tmpath, "a");
    if (FILE_LOG == nullptr) {
        FILE_LOG = std::fopen(tmpath, "w");
        if (FILE_LOG != nullptr) owner_only(tmpath, false);
    }
    if (FILE_LOG == nullptr) return 0;  // the text is lost, silently
    std::fputs(text, FILE_LOG);
    std::fclose(FILE_LOG);  // on disk now, even if the program ends right after
    FILE_LOG = nullptr;
    return 0;
}

int MEMS(const char* text) {
    plat_message_box(WINDOW, text, "Vesmora", ICON_WARNING);
    return 0;
}

int MUMS(const char* text) {
    plat_message_box(WINDOW, text, "Vesmora", ICON_INFORMATION);
    return 0;
}

int MOMS(const char* code) {
    // Used before anything else exists: no reserved buffer, no owner window.
    char text[128];
    std::snprintf(text, sizeof text, "Erreur M\xE9moire. Code %s", code);
    plat_message_box(nullptr, text, "D\xE9sol\xE9, le programme doit fermer...", ICON_WARNING);
    return 0;
}

int REMP_SLASH(char* path, int start) {
    // Runs over the whole buffer, past the terminating zero.
    for (int i = start < 0 ? 0 : start; i < PATH_SIZE; i++)
        if (path[i] == '\\') path[i] = '/';
    return 0;
}

int WRITE_TXTFILE(const char* name, const char* text) {
    compose_path(name);
    FILE* f = std::fopen(tmpath, "ab");
    if (f == nullptr) return 0;
    std::fputs(text, f);
    std::fclose(f);
    return 0;
}

int BrowseDir(const char* title, char* path) {
    return plat_browse_folder(title, path);
}

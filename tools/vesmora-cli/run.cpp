// One run's program folder, its log and what the program showed (see cli.h).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "cli.h"
#include "headless.h"
#include "latin1.h"
#include "main.h"

namespace fs = std::filesystem;

namespace {

// The private folder of this run, removed when the tool ends (also through the program's own exit).
std::string private_folder;

void remove_private_folder() {
    if (private_folder.empty()) return;
    std::error_code ec;
    fs::remove_all(private_folder, ec);
    private_folder.clear();
}

// Why the program could not use `folder` as its own, or "". Every file of the program
// folder is composed as the folder, '/', and a name of up to 8 bytes ("Aide.pdf") in a
// 260-byte buffer; and the program's scan of its own path stops at ".exe".
std::string unfit_folder(const std::string& folder) {
    const std::size_t most = PATH_SIZE - 1 - 1 - std::strlen("Aide.pdf");
    if (folder.size() > most)
        return "le dossier " + folder + " fait " + std::to_string(folder.size()) +
               " octets ; les chemins du programme en tiennent " + std::to_string(PATH_SIZE - 1) +
               ", son dossier en a donc au plus " + std::to_string(most);
    if (folder.find(".exe") != std::string::npos)
        return "le dossier " + folder + " contient \".exe\", o\xF9 le programme cesse de lire son propre chemin";
    return "";
}

}  // namespace

bool use_program_folder(const std::string& app_folder, const char* command) {
    std::string folder = app_folder;
    if (folder.empty()) {
        const fs::path base = fs::temp_directory_path();
        std::string tmpl = (base / "vesmora-cli.XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) {
            std::cerr << "vesmora-cli " << command << ": "
                      << program_text_to_utf8(with_detail("impossible de cr\xE9" "er le dossier du programme dans " +
                                                              base.string(), std::strerror(errno)))
                      << "\n";
            return false;
        }
        private_folder = tmpl;
        std::atexit(remove_private_folder);
        folder = tmpl;
        // The palettes beside the tool, as the build puts them; without them the program says so itself.
        std::error_code ec;
        const fs::path palets = fs::read_symlink("/proc/self/exe", ec).parent_path() / "PALETS";
        if (!ec && fs::exists(palets, ec)) fs::copy_file(palets, fs::path(folder) / "PALETS", ec);
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string problem = unfit_folder(folder);
    if (!problem.empty()) {
        std::cerr << "vesmora-cli " << command << ": "
                  << program_text_to_utf8((app_folder.empty() ? "" : "--app-folder refus\xE9 : ") + problem) << "\n";
        return false;
    }
    headless::set_module_path(folder + "/vesmora-cli");
    return true;
}

std::string log_path() {
    if (APP_FOLDER == nullptr) return "";
    // Beside the program, or in the user's state folder when the program's cannot be written.
    return std::string(LOG_FOLDER[0] != 0 ? LOG_FOLDER : APP_FOLDER) + "log.txt";
}

void print_log() {
    const std::string path = log_path();
    if (path.empty()) {
        std::printf("--- no log: the program ended before it made its log ---\n");
        return;
    }
    // Opened for appending as the program does: when that fails, what the file holds is not
    // this run's log (an older run's, or nothing).
    FILE* f = std::fopen(path.c_str(), "a");
    if (f == nullptr) {
        std::printf("--- %s not written: %s ---\n", path.c_str(), std::strerror(errno));
        return;
    }
    std::fclose(f);
    std::ifstream log(path, std::ios::binary);
    std::stringstream ss;
    ss << log.rdbuf();
    std::printf("--- %s ---\n%s", path.c_str(), headless::utf8(ss.str()).c_str());
}

void print_boxes() {
    for (const auto& b : headless::state().boxes)
        std::printf("--- box \"%s\" ---\n%s\n", headless::utf8(b.title).c_str(), headless::utf8(b.text).c_str());
}

void print_ending(int status, bool boxes) {
    std::printf("Exit       : the program ended itself with status %d\n", status);
    if (boxes) print_boxes();
    print_log();
    std::fflush(stdout);
}

std::string unreadable(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return "c'est un dossier";
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::strerror(errno);
    std::fclose(f);
    return "";
}

std::string cannot_open(const std::string& path, const char* verb) {
    std::error_code ec;
    const std::string why = unreadable(path);
    if (why.empty()) return "";
    const std::string head = std::string("impossible ") + verb + " " + path;
    return fs::is_directory(path, ec) ? head + " : " + why : program_text_to_utf8(with_detail(head, why));
}

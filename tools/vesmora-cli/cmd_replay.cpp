// vesmora-cli replay SCRIPT [--app-folder DIR] [--timings]
//
// Runs the program headless and feeds it a script of user actions, one per
// line, as the desktop front end would translate them into messages. This is
// how an analysis is reproduced exactly and how the scenario tests drive the
// whole program. Texts written by `dump ui` are converted from Latin-1 to UTF-8.
// A relative path in a script is taken from the script's own folder, so a script
// runs the same from wherever the tool is started. The lines `export pdf PATH`,
// `export png DIR`, `export dicom DIR`, `export pair PATH`, `save model PATH` and `load model PATH` run
// the code of their menu items (commands.h) with the path given: a refusal is a box. `role stress`,
// `role rest` and `compare` are the Examen menu's items; `dump ui` then lists the comparison window's text.
// `function` is "Examen > Fonction (synchronisé)..."; `dump ui` then lists the function window's captions
// and text, and `dump function DIR` writes its cine (gateNN-hla.bmp, -vla, -sa) and its curve (curve.bmp)
// when it shows one.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Main_Wnd_Proc.h"
#include "cli.h"
#include "Pair_Roles.h"
#include "commands.h"
#include "headless.h"
#include "layout.h"
#include "main.h"
#include "model_file.h"
#ifdef VESMORA_HAVE_REPORT
#include "export_hooks.h"
#endif
#include "write_whole.h"

namespace {

// Line breaks written as the two characters \n, so every entry stays on one line.
std::string one_line(const std::string& latin1) {
    std::string out;
    for (char c : headless::utf8(latin1)) {
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

struct ScriptError {
    std::string what;
};

namespace fs = std::filesystem;

// The folder of the script being replayed: relative paths in it start there.
fs::path script_folder;

std::string from_script(const std::string& path) {
    return (script_folder / path).lexically_normal().string();  // an absolute path stays as it is
}

// Makes the folders a dump needs, as `mkdir -p` does.
void make_folders(const fs::path& folder) {
    if (folder.empty()) return;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw ScriptError{
            program_text_to_utf8(with_detail("impossible de cr\xE9" "er le dossier " + folder.string(), ec.message()))};
}

int to_int(const std::string& word) {
    try {
        std::size_t used = 0;
        int v = std::stoi(word, &used);
        if (used == word.size()) return v;
    } catch (...) {
    }
    throw ScriptError{"'" + word + "' is not a whole number"};
}

void send(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) { plat_send_message(WINDOW, msg, wparam, lparam); }

std::intptr_t point(int x, int y) { return static_cast<std::intptr_t>(MAKE_PARAM(x, y)); }

HWND_ popup_named(const std::string& name) {
    if (name == "A") return d3_A;
    if (name == "S") return d3_S;
    if (name == "I") return d3_I;
    if (name == "L") return d3_L;
    for (int n = 1; n <= 17; n++)
        if (name == std::to_string(n)) return winsect[n];
    throw ScriptError{"no pop-up named '" + name +
                      "'; the pop-ups are the letters A, S, I, L and the sector labels 1 to 17"};
}

void write_out(const std::string& path, std::string_view bytes) {
    std::string error;
    if (!write_whole(path, bytes, error)) throw ScriptError{program_text_to_utf8(error)};
}

void dump_state(const std::string& path) {
    std::string f;
    auto ints = [&f](const char* name, const int* v, int n) {
        f += name;
        for (int i = 0; i < n; i++) f += " " + std::to_string(v[i]);
        f += "\n";
    };
    auto one = [&ints](const char* name, int v) { ints(name, &v, 1); };
    one("load_ok", load_ok);
    one("ell_ok", ell_ok);
    one("res_ok", res_ok);
    one("ech", ech);
    one("NCZ", NCZ);
    one("RAP", RAP);
    one("Nhla", Nhla);
    one("Nvla", Nvla);
    one("Nsa", Nsa);
    one("palet", palet);
    one("couleur", couleur);
    one("set_ombre", set_ombre);
    one("ell_ci", ell_ci);
    one("ell_cj", ell_cj);
    one("ell_ck", ell_ck);
    one("ell_ri", ell_ri);
    one("ell_rj", ell_rj);
    one("ell_rk", ell_rk);
    one("ill_ci", ill_ci);
    one("ill_cj", ill_cj);
    one("ill_ck", ill_ck);
    one("ill_ri", ill_ri);
    one("ill_rj", ill_rj);
    one("ill_rk", ill_rk);
    one("plan_i", plan_i);
    one("apex_i", apex_i);
    one("amplii", amplii);
    ints("sect_i", sect_i, 5);
    one("RES_DISP", RES_DISP);
    one("res3D_ang", res3D_ang);
    one("Tot_ang", Tot_ang);
    one("sam_ax", sam_ax);
    one("sam_ang", sam_ang);
    ints("set_centre", set_centre, 3);
    ints("set_centri", set_centri, 3);
    ints("set_plan", set_plan, 2);
    ints("slide", slide, 3);
    ints("lbutt", lbutt, 3);
    ints("rbutt", rbutt, 3);
    one("res_rot", res_rot);
    one("res3D_prev", res3D_prev);
    one("buttposi", buttposi);
    one("buttposj", buttposj);
    one("elri_", elri_);
    one("elrj_", elrj_);
    one("elrk_", elrk_);
    one("ilri_", ilri_);
    one("ilrj_", ilrj_);
    one("ilrk_", ilrk_);
    f += "SECTEUR";
    for (int n = 0; n < 18; n++) {
        char v[32];
        std::snprintf(v, sizeof v, " %.9g", static_cast<double>(SECTEUR[n]));
        f += v;
    }
    f += "\n";
    int score[18];
    std::memcpy(score, SCORE, sizeof score);
    score[0] = 0;
    ints("SCORE", score, 18);
    ints("sectposi", sectposi, 18);
    ints("sectposj", sectposj, 18);
    write_out(path, f);
}

void dump_ui(const std::string& path) {
    std::ostringstream f;
    f << "caption " << one_line(WINDOW ? WINDOW->caption : "") << "\n";
    for (int id : {ID_TITLE_HLA, ID_TITLE_VLA, ID_TITLE_SA, ID_HOVER, ID_PATIENT, ID_STALE_LINE}) f << "text " << id << " " << one_line(headless::text_of(WINDOW, id)) << "\n";
    PlatWindow_* shadow = headless::control(WINDOW, ID_SHADOW);
    f << "check " << ID_SHADOW << " " << (shadow ? shadow->checked : 0) << "\n";
    for (int n = 1; n <= 17; n++) f << "label " << n << " " << one_line(headless::text_of(winsect[n], ID_SECT_LABEL)) << "\n";
    auto popup = [&f](const std::string& name, HWND_ w) {
        if (w == nullptr) return;
        f << "popup " << name << " " << (w->visible ? "visible" : "hidden") << " " << w->rect.left << " " << w->rect.top
          << "\n";
    };
    popup("A", d3_A);
    popup("S", d3_S);
    popup("I", d3_I);
    popup("L", d3_L);
    for (int n = 1; n <= 17; n++) popup(std::to_string(n), winsect[n]);
    if (!headless::state().pairs_shown.empty())  // the comparison window, as last shown
        f << "pair " << one_line(headless::state().pairs_shown.back().text) << "\n";
    if (!headless::state().functions_shown.empty()) {  // the function window, as last shown
        const headless::FunctionShown& fn = headless::state().functions_shown.back();
        f << "function-title " << one_line(fn.title) << "\n";
        f << "function-cine " << fn.gates << " gates, " << fn.speed << " images/s\n";
        for (const std::string& c : fn.gate_captions) f << "function-gate " << one_line(c) << "\n";
        f << "function " << (fn.flagged ? "flagged " : "") << one_line(fn.text) << "\n";
    }
    f << "focus " << (headless::state().focus == WINDOW && WINDOW ? "main" : "other") << "\n";
    for (const auto& b : headless::state().boxes)
        f << "box " << (b.icon == ICON_WARNING ? "warning" : "information") << " " << one_line(b.title) << " | "
          << one_line(b.text) << "\n";
    write_out(path, f.str());
}

void write_le32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; i++) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void dump_bmp(const std::string& path, const BitmapDesc& desc, const unsigned char* pixels) {
    if (pixels == nullptr) {
        std::cerr << "replay: " << path << latin1_to_utf8(" non \xE9" "crit : son tampon a \xE9t\xE9 lib\xE9r\xE9 par la demande de fermeture\n");
        return;
    }
    std::string head = "BM";
    write_le32(head, 54 + desc.biSizeImage);
    write_le32(head, 0);  // two reserved 16-bit fields
    write_le32(head, 54);
    head.append(reinterpret_cast<const char*>(&desc), sizeof desc);  // little-endian host: the 40 bytes as stored
    head.append(reinterpret_cast<const char*>(pixels), desc.biSizeImage);
    write_out(path, head);
}

void dump_pictures(const std::string& dir) {
    dump_bmp(dir + "/BMPhla.bmp", bmpinfo, BMPhla);
    dump_bmp(dir + "/BMPvla.bmp", bmpinfo, BMPvla);
    dump_bmp(dir + "/BMPsa.bmp", bmpinfo, BMPsa);
    dump_bmp(dir + "/BMPshla.bmp", bmpinfo_s, BMPshla);
    dump_bmp(dir + "/BMPsvla.bmp", bmpinfo_s, BMPsvla);
    dump_bmp(dir + "/BMPssa.bmp", bmpinfo_s, BMPssa);
    dump_bmp(dir + "/BMPres.bmp", bmpinfo_, BMPres);
    dump_bmp(dir + "/BMPpal.bmp", bmpinfo_p, BMPpal);
}

// The function window's cine and curve as BMP files in `dir`.
void dump_function(const std::string& dir) {
    if (headless::state().functions_shown.empty()) throw ScriptError{"no function window was shown"};
    const headless::FunctionShown& fn = headless::state().functions_shown.back();
    static const char* const VIEW[3] = {"hla", "vla", "sa"};
    for (int g = 0; g < fn.gates; g++)
        for (int v = 0; v < 3; v++) {
            char name[32];
            std::snprintf(name, sizeof name, "/gate%02d-%s.bmp", g + 1, VIEW[v]);
            dump_bmp(dir + name, bmpinfo, fn.frames.data() + (static_cast<std::size_t>(g) * 3 + v) * VIEW_BYTES);
        }
    if (fn.curve.empty()) return;  // nothing measured: the window shows no curve
    BitmapDesc curve = bmpinfo;
    curve.biWidth = fn.curve_width;
    curve.biHeight = fn.curve_height;
    curve.biSizeImage = static_cast<std::uint32_t>(fn.curve.size());
    dump_bmp(dir + "/curve.bmp", curve, fn.curve.data());
}

void dump_raw(const std::string& path, const void* p, std::size_t bytes) {
    write_out(path, std::string_view(static_cast<const char*>(p), bytes));
}

// The line after its first `words` words, without the blanks around it: a path keeps its own blanks.
std::string rest_of(const std::string& line, int words) {
    std::size_t at = 0;
    for (int n = 0; n < words; n++) {
        at = line.find_first_not_of(" \t", at);
        at = line.find_first_of(" \t", at);
    }
    const std::size_t start = line.find_first_not_of(" \t", at);
    if (start == std::string::npos) return "";
    return line.substr(start, line.find_last_not_of(" \t") + 1 - start);
}

// The log so far, as the program wrote it.
void dump_log(const std::string& path) {
    std::ifstream in(log_path(), std::ios::binary);
    if (!in) throw ScriptError{"the log " + log_path() + " was not written"};
    std::ostringstream f;
    f << in.rdbuf();
    write_out(path, f.str());
}

void run_line(const std::vector<std::string>& w, const std::string& line) {
    auto need = [&w](std::size_t n) {
        if (w.size() != n + 1)
            throw ScriptError{"'" + w[0] + "' takes " + std::to_string(n) + " argument" + (n == 1 ? "" : "s")};
    };
    const std::string& verb = w[0];
    if (verb == "open") {
        if (w.size() < 2) throw ScriptError{"'open' takes a path or the word cancel"};
        const std::string path = rest_of(line, 1);  // a path may hold blanks, even two in a row
        if (path == "cancel") {  // "Ouvrir", its dialog cancelled
            headless::queue_open_cancel();
            send(VM_COMMAND, ID_OPEN, 0);
        } else {  // the study as "Ouvrir" opens the dialog's full path
            OPEN_STUDY(fs::absolute(from_script(path)).lexically_normal().string().c_str());
        }
    } else if (verb == "command") {
        need(1);
        int id = to_int(w[1]);
        if (id < 0 || id > 0xFFFF) throw ScriptError{"control id out of range"};
        if (id == ID_SHADOW) headless::toggle_check(WINDOW, ID_SHADOW);  // the check box toggles itself on a click
        send(VM_COMMAND, static_cast<std::uintptr_t>(id), 0);
    } else if (verb == "lbuttondown" || verb == "lbuttonup" || verb == "rbuttondown" || verb == "rbuttonup" ||
               verb == "mousemove") {
        need(2);
        const int x = to_int(w[1]), y = to_int(w[2]);
        if (x < 0 || y < 0 || x > 0xFFFF || y > 0xFFFF) throw ScriptError{"client pixels must be 0 to 65535"};
        const unsigned msg = verb == "lbuttondown"   ? VM_LBUTTONDOWN
                             : verb == "lbuttonup"   ? VM_LBUTTONUP
                             : verb == "rbuttondown" ? VM_RBUTTONDOWN
                             : verb == "rbuttonup"   ? VM_RBUTTONUP
                                                     : VM_MOUSEMOVE;
        send(msg, 0, point(x, y));
    } else if (verb == "wheel") {
        need(3);
        const int x = to_int(w[1]), y = to_int(w[2]), delta = to_int(w[3]);
        // The message carries each as a signed 16-bit number: a larger one would wrap silently.
        if (x < -32768 || x > 32767 || y < -32768 || y > 32767)
            throw ScriptError{"screen pixels must be -32768 to 32767"};
        if (delta < -32768 || delta > 32767) throw ScriptError{"wheel turn must fit 16 bits"};
        send(VM_MOUSEWHEEL, MAKE_PARAM(0, delta), point(x, y));
    } else if (verb == "move") {
        need(2);
        const int l = to_int(w[1]), t = to_int(w[2]);
        PlatRect r;
        plat_get_window_rect(WINDOW, &r);
        plat_set_window_pos(WINDOW, l, t, r.right - r.left, r.bottom - r.top);
        send(VM_MOVE, 0, point(l, t));
    } else if (verb == "popup") {
        need(1);
        HWND_ p = popup_named(w[1]);
        plat_send_message(p, VM_LBUTTONDOWN, 0, point(5, 5));
    } else if (verb == "auto") {
        need(0);
        send(VM_COMMAND, ID_AUTO_PLACE, 0);  // the menu item "Placement automatique"
    } else if (verb == "role") {  // "Examen > Définir comme effort / repos"
        need(1);
        if (w[1] != "stress" && w[1] != "rest") throw ScriptError{"'role' takes stress or rest"};
        send(VM_COMMAND, w[1] == "stress" ? ID_ROLE_STRESS : ID_ROLE_REST, 0);
    } else if (verb == "compare") {  // "Examen > Comparer effort / repos"
        need(0);
        send(VM_COMMAND, ID_COMPARE_PAIR, 0);
    } else if (verb == "function") {  // "Examen > Fonction (synchronisé)..."
        need(0);
        send(VM_COMMAND, ID_FUNCTION, 0);
    } else if (verb == "export" || verb == "save" || verb == "load") {
        // Named after the menu items; the path is the dialog's answer.
        if (w.size() < 3) throw ScriptError{"'" + verb + "' takes what and a path"};
        const std::string what = verb + " " + w[1];
        const std::string path = fs::absolute(from_script(rest_of(line, 2))).lexically_normal().string();
        if (what == "export pdf")
            EXPORT_PDF(path.c_str());
        else if (what == "export png")
            EXPORT_PNG(path.c_str());
        else if (what == "export dicom")
            EXPORT_DICOM(path.c_str());
        else if (what == "export pair")
            EXPORT_PAIR(path.c_str());
        else if (what == "save model")
            SAVE_MODEL(path.c_str());
        else if (what == "load model")
            LOAD_MODEL(path.c_str());
        else
            throw ScriptError{"unknown action '" + what +
                              "'; these are export pdf, export png, export dicom, export pair, save model, load model"};
    } else if (verb == "answer") {
        // The answer to the next question box ("Oui" / "Non"); unanswered questions get "Non".
        need(1);
        if (w[1] != "yes" && w[1] != "no") throw ScriptError{"'answer' takes yes or no"};
        headless::state().confirm_answers.push_back(w[1] == "yes" ? 1 : 0);
    } else if (verb == "choose") {
        // The line to pick in the next chooser (the series of a CD), counted from 1; unanswered: the first.
        need(1);
        char* end = nullptr;
        const long n = std::strtol(w[1].c_str(), &end, 10);
        if (w[1] == "cancel")
            headless::state().choose_answers.push_back(-1);
        else if (end == w[1].c_str() || *end != 0 || n < 1 || n > 100000)
            throw ScriptError{"'choose' takes a line number from 1, or the word cancel"};
        else
            headless::state().choose_answers.push_back(static_cast<int>(n - 1));
    } else if (verb == "close") {
        need(0);
        send(VM_CLOSE, 0, 0);
    } else if (verb == "dump") {
        if (w.size() < 3) throw ScriptError{"'dump' takes what to dump and a path"};
        const std::string& what = w[1];
        const std::string out = from_script(rest_of(line, 2));  // a path may hold blanks
        const bool known = what == "state" || what == "ui" || what == "pictures" || what == "data" ||
                           what == "SAMPLE" || what == "BULL" || what == "mesh_sect" || what == "log" ||
                           what == "function";
        if (!known) throw ScriptError{"nothing to dump named '" + what + "'"};
        make_folders(what == "pictures" || what == "function" ? fs::path(out) : fs::path(out).parent_path());
        if (what == "state")
            dump_state(out);
        else if (what == "ui")
            dump_ui(out);
        else if (what == "pictures")
            dump_pictures(out);
        else if (what == "function")
            dump_function(out);
        else if (what == "data")
            dump_raw(out, data, sizeof data);
        else if (what == "SAMPLE")
            dump_raw(out, SAMPLE, sizeof SAMPLE);
        else if (what == "BULL")
            dump_raw(out, BULL, sizeof BULL);
        else if (what == "mesh_sect")
            dump_raw(out, mesh_sect, sizeof mesh_sect);
        else
            dump_log(out);
    } else {
        throw ScriptError{"unknown action '" + verb + "'"};
    }
}

int replay(const std::string& script, const std::string& folder, bool timings) {
    std::string why = cannot_open(script, "de lire");
    std::ifstream in(script);
    if (why.empty() && !in) why = program_text_to_utf8(with_detail("impossible de lire " + script, std::strerror(errno)));
    if (!why.empty()) {
        std::cerr << "replay: " << why << "\n";
        return 2;
    }
    script_folder = fs::absolute(script).parent_path();
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }

    headless::reset();
    headless::state().echo_boxes = true;
#ifdef VESMORA_HAVE_REPORT
    register_export_hooks();  // the exports' own code; paths come from the script
#else
    command_hooks.write_model = write_model_file;  // a build without Qt: the model files only
    command_hooks.read_model = read_model_file_for_study;
#endif
    if (!use_program_folder(folder, "replay")) return 2;
    STARTUP();

    for (std::size_t n = 0; n < lines.size(); n++) {
        std::istringstream words(lines[n]);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.empty() || w[0][0] == '#') continue;
        const auto t0 = std::chrono::steady_clock::now();
        try {
            run_line(w, lines[n]);
            headless::run_posted();  // as the message loop would, before the next input
        } catch (const ScriptError& e) {
            std::cerr << "replay: " << script << ":" << n + 1 << ": " << e.what << ": " << lines[n] << "\n";
            return 2;
        }
        if (timings) {
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            std::fprintf(stderr, "time %zu %.3f\n", n + 1, ms);
        }
    }
    return 0;
}

}  // namespace

void add_replay_command(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("replay", "Run the program headless and feed it a script of user actions");
    static std::string script, folder;
    static bool timings = false;
    cmd->add_option("SCRIPT", script, "Script: one action per line")->required();
    cmd->add_option("--app-folder", folder,
                    "Program folder: PALETS, log.txt, Aide.pdf (default: a private folder made for this run with "
                    "the tool's PALETS, removed at the end)");
    cmd->add_flag("--timings", timings, "Print each line's wall time to standard error as 'time LINE MS'");
    cmd->callback([&status] { status = replay(script, folder, timings); });
}

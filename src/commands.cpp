// The command table, the staleness of the results and the exports (see commands.h).
#include "commands.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "Auto_Place.h"
#include "Gated_Cine.h"
#include "Output_Names.h"
#include "Pair_Roles.h"
#include "layout.h"
#include "main.h"
#include "remembered.h"
#include "version.h"

CommandHooks command_hooks{};

namespace {

int always() { return 1; }
int study_loaded() { return load_ok == 1 ? 1 : 0; }
int model_placed() { return load_ok == 1 && ell_ok == 1 ? 1 : 0; }
// The report and the pictures: once "Résultats" has run on a loaded study (stale or not:
// a stale export is refused with a box that says why, not greyed out without a word).
int results_exist() { return load_ok == 1 && res_ok == 1 ? 1 : 0; }
// The DICOM objects copy the analysed file's identification: results, and that file.
int dicom_results() { return results_exist() == 1 && DCM_PATH[0] != 0 ? 1 : 0; }

}  // namespace

const Command COMMANDS[] = {
    {ID_OPEN, MENU_FILE, false, "&Ouvrir...", true, 'O', 0, always, NEEDS_NOTHING},
    {ID_OPEN_PACS, MENU_FILE, false, "Ouvrir depuis le &PACS...", false, 0, 0, always, NEEDS_PACS | NEEDS_DICOM},
    {ID_PACS_SETTINGS, MENU_FILE, false, "&Archive (PACS)...", false, 0, 0, always, NEEDS_PACS},
    {ID_EXPORT_PDF, MENU_FILE, true, "Exporter le &rapport PDF...", true, 'S', 0, results_exist, NEEDS_REPORT},
    {ID_EXPORT_PNG, MENU_FILE, false, "Enregistrer les &images (PNG)...", false, 0, 0, results_exist, NEEDS_REPORT},
    {ID_EXPORT_DICOM, MENU_FILE, false, "Exporter en &DICOM...", false, 0, 0, dicom_results,
     NEEDS_REPORT | NEEDS_DICOM},
    {ID_SEND_PACS, MENU_FILE, false, "En&voyer les r\xE9sultats au PACS", false, 0, 0, dicom_results,
     NEEDS_REPORT | NEEDS_DICOM | NEEDS_PACS},
    {ID_SAVE_MODEL, MENU_FILE, true, "&Enregistrer le mod\xE8le...", false, 0, 0, model_placed, NEEDS_MODEL_FILES},
    {ID_LOAD_MODEL, MENU_FILE, false, "&Charger un mod\xE8le...", false, 0, 0, study_loaded, NEEDS_MODEL_FILES},
    {ID_QUIT, MENU_FILE, true, "&Quitter", true, 'Q', 0, always, NEEDS_NOTHING},
    {ID_AUTO_PLACE, MENU_MODEL, false, "Placement &automatique", true, 'M', 0, AUTO_PLACE_AVAILABLE, NEEDS_NOTHING},
    {ID_ROLE_STRESS, MENU_EXAM, false, "D\xE9" "finir comme &effort", false, 0, 0, ROLE_AVAILABLE, NEEDS_NOTHING},
    {ID_ROLE_REST, MENU_EXAM, false, "D\xE9" "finir comme &repos", false, 0, 0, ROLE_AVAILABLE, NEEDS_NOTHING},
    {ID_COMPARE_PAIR, MENU_EXAM, true, "&Comparer effort / repos", false, 0, 0, COMPARE_AVAILABLE, NEEDS_NOTHING},
    {ID_EXPORT_PAIR, MENU_EXAM, false, "E&xporter le rapport effort / repos...", false, 0, 0, COMPARE_AVAILABLE,
     NEEDS_REPORT},
    {ID_FUNCTION, MENU_EXAM, true, "&Fonction (synchronis\xE9)...", false, 0, 0, FUNCTION_AVAILABLE, NEEDS_NOTHING},
    {ID_HELP, MENU_HELP, false, "&Aide", false, 0, 1, always, NEEDS_NOTHING},
    {ID_ABOUT, MENU_HELP, false, "\xC0 &propos de Vesmora", false, 0, 0, always, NEEDS_NOTHING},
};
const int COMMAND_COUNT = static_cast<int>(sizeof COMMANDS / sizeof COMMANDS[0]);

const Command* command_of(int id) {
    for (const Command& c : COMMANDS)
        if (c.id == id) return &c;
    return nullptr;
}

std::string shortcut_text(const Command& c) {
    char text[16] = "";  // formatted here: GCC 12 warns falsely (-Wrestrict) on the string concatenation
    if (c.function_key > 0)
        std::snprintf(text, sizeof text, "F%d", c.function_key);
    else if (c.key != 0)
        std::snprintf(text, sizeof text, "%s%c", c.ctrl ? "Ctrl+" : "", c.key);
    return text;
}

int IS_STUDY_FILE(const char* name) {
    const std::size_t n = name ? std::strlen(name) : 0;
    // A CD's files: its DICOMDIR and images named without an extension ("IM000001").
    const char* base = name;
    for (std::size_t k = 0; k < n; k++)
        if (name[k] == '/' || name[k] == '\\') base = name + k + 1;
    if (*base != 0 && std::strchr(base, '.') == nullptr) return 1;
    if (n < 5) return 0;  // at least one letter before the extension
    const char* e = name + n - 4;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return e[0] == '.' && lower(e[1]) == 'd' && lower(e[2]) == 'c' && lower(e[3]) == 'm' && e[-1] != '\\' &&
           e[-1] != '/';
}

const char* ABOUT_TEXT() {
    return "Vesmora " VESMORA_VERSION "\n\n"
           "Analyse de la fixation myocardique en tomoscintigraphie cardiaque (SPECT).\n\n"
           "Palettes : niveaux de gris (formules) ; palettes standard DICOM Hot Iron, Hot Metal Blue, "
           "PET, PET 20 Step, Spring, Summer, Fall, Winter (PS3.6 annexe B, fichiers de pydicom, "
           "licence MIT) ; formules de gnuplot (Fire, Pm3d, Spectrum) ; Jet ; Cubehelix "
           "(D. A. Green, 2011).\n\n"
           "Licence : Apache License 2.0 (fichier LICENSE). Les palettes gardent leurs propres sources "
           "et licences, cit\xE9" "es ci-dessus.";
}

// ---------------------------------------------------------------------------------------------
// Stale results: the model and bounds the last evaluation used, against the current ones.
// ---------------------------------------------------------------------------------------------
namespace {

constexpr int MODEL_WORDS = 18;
int g_evaluated[MODEL_WORDS];  // the model of the last EVAL_RES

void model_now(int out[MODEL_WORDS]) {
    const int v[MODEL_WORDS] = {ell_ci, ell_cj, ell_ck, ell_ri, ell_rj, ell_rk, ill_ci, ill_cj, ill_ck,
                                ill_ri, ill_rj, ill_rk, plan_i, apex_i, sect_i[0], sect_i[1], sect_i[2], sect_i[4]};
    std::memcpy(out, v, sizeof v);
}

// The line's last state in the window it was shown in (-1: not yet), so that it is set
// only when it changes, not at every pointer move.
HWND_ g_line_window = nullptr;
int g_line_shown = -1;

}  // namespace

// Whether the results of the last evaluation went out (a file or the archive).
static bool g_results_out = false;

void RESULTS_EVALUATED() {
    model_now(g_evaluated);
    g_results_out = false;
}

int QUIT_CONFIRMED() {
    if (res_ok != 1 || g_results_out || WINDOW == nullptr) return 1;
    // A program that can write no report (the Windows build) has nothing to offer before quitting.
    if (command_hooks.write_pdf == nullptr && command_hooks.write_png == nullptr && command_hooks.write_dicom == nullptr &&
        command_hooks.send_results == nullptr)
        return 1;
    return plat_confirm_box(WINDOW, UNSAVED_RESULTS_TEXT, "Vesmora");
}

void SHOW_STATUS(const std::string& text) {
    // The warning that the results no longer match the model keeps the line (a model saved meanwhile).
    if (WINDOW != nullptr && !RESULTS_STALE()) plat_set_dlg_item_text(WINDOW, ID_STALE_LINE, text.c_str());
}

int RESULTS_STALE() {
    if (res_ok != 1) return 0;
    int now[MODEL_WORDS];
    model_now(now);
    // sect_i[3] is apex_i: the words above hold every value the evaluation reads.
    return std::memcmp(now, g_evaluated, sizeof now) != 0 ? 1 : 0;
}

void FORGET_STALE_STATE() {
    std::memset(g_evaluated, 0, sizeof g_evaluated);
    g_line_window = nullptr;
    g_line_shown = -1;
}

void UPDATE_STALE_LINE() {
    if (WINDOW == nullptr || chaine == nullptr) return;  // not yet made, or closed
    const int stale = RESULTS_STALE();
    if (g_line_window == WINDOW && g_line_shown == stale) return;
    g_line_window = WINDOW;
    g_line_shown = stale;
    plat_set_dlg_item_text(WINDOW, ID_STALE_LINE, stale ? STALE_LINE_TEXT : "");
}

// ---------------------------------------------------------------------------------------------
// Exports and model files
// ---------------------------------------------------------------------------------------------
namespace {

namespace fs = std::filesystem;

void warn(const std::string& text) { MEMS(text.c_str()); }

void missing(const char* what) {
    warn(std::string("Cette version de Vesmora a \xE9t\xE9 construite sans ") + what + ".");
}

// The checks every export of results makes first: 0 (after a box when stale) to stop.
int results_exportable(int (*available)()) {
    if (available() != 1) return 0;
    if (RESULTS_STALE()) {
        warn(STALE_EXPORT_TEXT);
        return 0;
    }
    return 1;
}

std::string study_folder() {
    return DCM_PATH[0] ? fs::path(DCM_PATH).parent_path().string() : std::string();
}

// Where an export's dialog starts: the folder it wrote to last, else the study's folder.
std::string start_folder(const char* key) {
    const std::string kept = REMEMBERED_FOLDER(key);
    return kept.empty() ? study_folder() : kept;
}

std::string in_folder(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : (fs::path(folder) / name).string();
}

std::string ask(AskKind kind, const char* title, const char* filter, const std::string& suggested) {
    return command_hooks.ask_path ? command_hooks.ask_path(kind, title, filter, suggested) : std::string();
}

}  // namespace

std::string STUDY_OUTPUT_STEM() { return output_stem(DCM_PATH[0] ? fs::path(DCM_PATH).stem().string() : ""); }

namespace {

// The one road of every export of results: available and not stale, built into this
// program, then written, or a box that says why not.
template <class Hook, class Write>
int export_results(int (*available)(), Hook hook, const char* what, Write write) {
    if (!results_exportable(available)) return 0;
    if (hook == nullptr) {
        missing(what);
        return 0;
    }
    std::string error;
    // A report of a gated study measures its function again: a second or two, under the wait cursor.
    plat_busy(1);
    const bool written = write(error);
    plat_busy(0);
    if (!written) {
        warn(error);
        return 0;
    }
    g_results_out = true;
    return 1;
}

// The archive's settings first when there are none: false when the user leaves them unsaved.
bool pacs_ready() {
    if (command_hooks.pacs_configured == nullptr || command_hooks.pacs_configured()) return true;
    if (command_hooks.pacs_settings) command_hooks.pacs_settings();
    return command_hooks.pacs_configured();
}

}  // namespace

int EXPORT_PDF(const char* path) {
    if (export_results(results_exist, command_hooks.write_pdf, "le rapport PDF",
                       [&](std::string& error) { return command_hooks.write_pdf(path, error); }) != 1)
        return 0;
    SHOW_STATUS(std::string("Rapport PDF enregistr\xE9 : ") + path);
    return 1;
}

int EXPORT_PNG(const char* folder) {
    if (export_results(results_exist, command_hooks.write_png, "les images PNG", [&](std::string& error) {
            return command_hooks.write_png(folder, STUDY_OUTPUT_STEM(), error);
        }) != 1)
        return 0;
    SHOW_STATUS(std::string("Images PNG enregistr\xE9" "es dans ") + folder);
    return 1;
}

int EXPORT_DICOM(const char* folder) {
    if (export_results(dicom_results, command_hooks.write_dicom, "l'export DICOM", [&](std::string& error) {
            return command_hooks.write_dicom(folder, STUDY_OUTPUT_STEM(), error);
        }) != 1)
        return 0;
    SHOW_STATUS(std::string("Objets DICOM (capture secondaire et SR) enregistr\xE9s dans ") + folder);
    return 1;
}

int SEND_RESULTS() {
    if (export_results(dicom_results, command_hooks.send_results, "l'envoi au PACS", [](std::string& error) {
            return command_hooks.send_results(STUDY_OUTPUT_STEM(), error);
        }) != 1)
        return 0;
    SHOW_STATUS("R\xE9sultats envoy\xE9s \xE0 l'archive");
    MUMS("R\xE9sultats envoy\xE9s \xE0 l'archive : le rapport (capture secondaire) et le compte rendu "
         "structur\xE9 (SR) de l'\xE9tude.");
    return 1;
}

int SAVE_MODEL(const char* path) {
    if (model_placed() != 1) return 0;
    if (command_hooks.write_model == nullptr) {
        missing("les fichiers de mod\xE8le");
        return 0;
    }
    ModelValues v{};
    MODEL_CURRENT(v);
    std::string error;
    if (!command_hooks.write_model(path, v, error)) {
        warn(error);
        return 0;
    }
    SHOW_STATUS(std::string("Mod\xE8le enregistr\xE9 : ") + path);
    return 1;
}

int LOAD_MODEL(const char* path) {
    if (study_loaded() != 1) return 0;
    if (command_hooks.read_model == nullptr) {
        missing("les fichiers de mod\xE8le");
        return 0;
    }
    ModelValues v{};
    std::string other_study, error;
    if (!command_hooks.read_model(path, v, other_study, error)) {
        warn(error);
        return 0;
    }
    // A model drawn on another patient is placed only when the user says so.
    if (!other_study.empty() &&
        plat_confirm_box(WINDOW, (other_study + "\n\nPlacer ce mod\xE8le sur l'\xE9tude ouverte quand m\xEAme ?").c_str(),
                         "Vesmora") != 1)
        return 0;
    char why[256] = {};
    const int placed = PLACE_MODEL(v, why, sizeof why);
    if (placed == 1) MODEL_PLACED_BY(MODEL_FROM_FILE, path);
    if (placed != 1) warn(std::string("Ce mod\xE8le ne peut pas \xEAtre plac\xE9 : ") + why);
    UPDATE_STALE_LINE();
    return placed;
}

int RUN_COMMAND(int id) {
    const Command* c = command_of(id);
    if (c == nullptr) return 0;
    const std::string stem = STUDY_OUTPUT_STEM();
    std::string path;
    switch (id) {
    case ID_EXPORT_PDF:
        if (!results_exportable(results_exist)) break;
        path = ask(ASK_SAVE_FILE, "Exporter le rapport PDF", "Rapport PDF (*.pdf)",
                   in_folder(start_folder(KEY_PDF_FOLDER), report_pdf_name(stem)));
        if (!path.empty() && EXPORT_PDF(path.c_str()) == 1) REMEMBER_FOLDER(KEY_PDF_FOLDER, path, false);
        break;
    case ID_EXPORT_PNG:
        if (!results_exportable(results_exist)) break;
        path = ask(ASK_FOLDER, "Enregistrer les images (PNG) dans le dossier", "", start_folder(KEY_PNG_FOLDER));
        if (!path.empty() && EXPORT_PNG(path.c_str()) == 1) REMEMBER_FOLDER(KEY_PNG_FOLDER, path, true);
        break;
    case ID_EXPORT_DICOM:
        if (!results_exportable(dicom_results)) break;
        path = ask(ASK_FOLDER, "Exporter en DICOM dans le dossier", "", start_folder(KEY_DICOM_FOLDER));
        if (!path.empty() && EXPORT_DICOM(path.c_str()) == 1) REMEMBER_FOLDER(KEY_DICOM_FOLDER, path, true);
        break;
    case ID_SEND_PACS:
        if (results_exportable(dicom_results) && pacs_ready()) SEND_RESULTS();
        break;
    case ID_SAVE_MODEL:
        if (model_placed() != 1) break;
        path = ask(ASK_SAVE_FILE, "Enregistrer le mod\xE8le", "Mod\xE8le (*.json)",
                   in_folder(start_folder(KEY_MODEL_FOLDER), model_file_name(stem)));
        if (!path.empty() && SAVE_MODEL(path.c_str()) == 1) REMEMBER_FOLDER(KEY_MODEL_FOLDER, path, false);
        break;
    case ID_LOAD_MODEL:
        if (study_loaded() != 1) break;
        path = ask(ASK_OPEN_FILE, "Charger un mod\xE8le", "Mod\xE8le (*.json)", start_folder(KEY_MODEL_FOLDER));
        if (!path.empty() && LOAD_MODEL(path.c_str()) == 1) REMEMBER_FOLDER(KEY_MODEL_FOLDER, path, false);
        break;
    case ID_OPEN_PACS:
        if (command_hooks.open_from_pacs == nullptr) missing("l'archive (PACS)");
        else if (pacs_ready()) command_hooks.open_from_pacs();
        break;
    case ID_PACS_SETTINGS:
        if (command_hooks.pacs_settings) command_hooks.pacs_settings();
        else missing("l'archive (PACS)");
        break;
    case ID_QUIT:
        if (QUIT_CONFIRMED()) plat_send_message(WINDOW, VM_CLOSE, 0, 0);
        break;
    case ID_ABOUT:
        plat_message_box(WINDOW, ABOUT_TEXT(), ABOUT_TITLE, ICON_INFORMATION);
        break;
    case ID_FUNCTION:
        SHOW_FUNCTION();
        break;
    default:
        return RUN_PAIR_COMMAND(id);  // the Examen menu, else a button of the window: its own handler runs it
    }
    return 1;
}

// The user commands of the desktop programs' menus, in one table: id, French label,
// shortcut, menu, when each is available and what it needs linked. Qt and Win32 build
// their menus from it and enable each item from its `available` answer; an item sends
// its id to the main window as a button does, and the window's handler runs it (the
// buttons' own ids there, the others through RUN_COMMAND).
//
// Also here, decided once for every front end: whether the results are stale (the model
// changed since "Résultats"), the exports that refuse stale results, the About text and
// which dropped files are studies. The work that needs a library (Qt for the report,
// DCMTK for the DICOM objects, the JSON model files, the dialogs that ask a path) is
// reached through hooks that the program linking it registers.
#ifndef VESMORA_COMMANDS_H
#define VESMORA_COMMANDS_H

#include <string>

#include "Model_Place.h"

enum MenuId { MENU_FILE = 0, MENU_MODEL = 1, MENU_EXAM = 2, MENU_HELP = 3 };
constexpr int MENU_COUNT = 4;
inline constexpr const char* MENU_LABEL[MENU_COUNT] = {"&Fichier", "&Mod\xE8le", "&Examen", "&Aide"};

// What a command needs linked beyond the core; a back end offers the commands whose
// needs it links and lists the others as missing.
enum CommandNeeds : unsigned {
    NEEDS_NOTHING = 0,
    NEEDS_REPORT = 1,       // report/ (Qt Gui): the PDF report and the PNG pictures
    NEEDS_DICOM = 2,        // dicom_export/ (DCMTK)
    NEEDS_PACS = 4,         // pacs/ and its dialogs
    NEEDS_MODEL_FILES = 8,  // export/ (JSON model files)
};

struct Command {
    int id;                 // CtlId (layout.h)
    MenuId menu;
    bool separator_before;  // a separator above it in its menu
    const char* label;      // Latin-1; '&' before the accelerator letter; "..." when it asks more
    bool ctrl;              // shortcut: Ctrl + key, or the function key, or none (0, 0)
    char key;               // 'O'... (upper case)
    int function_key;       // 1 for F1
    int (*available)();     // 1 when the item is enabled now
    unsigned needs;         // CommandNeeds
};

extern const Command COMMANDS[];
extern const int COMMAND_COUNT;
// The row of a command id, or null.
const Command* command_of(int id);
// "Ctrl+O", "F1" or "".
std::string shortcut_text(const Command& c);

// Runs a menu command that is not a button of the window (exports, models, PACS,
// Quitter, A propos): nothing when unavailable. Returns 1 when the id is such a command.
int RUN_COMMAND(int id);

// --- the study ------------------------------------------------------------------------------
// Which dropped file is a study: a name ending in ".dcm", in any case, with a letter before,
// or a name without extension (a CD's DICOMDIR and images).
int IS_STUDY_FILE(const char* name);
// The About box's text (Latin-1) and title.
const char* ABOUT_TEXT();
inline constexpr const char* ABOUT_TITLE = "\xC0 propos de Vesmora";

// --- stale results ------------------------------------------------------------------------------
// 1 when results exist and the model or the sector bounds changed since the evaluation
// that made them; the screen keeps them, the exports refuse them.
int RESULTS_STALE();
// Called by EVAL_RES once it has results: they match the model as it is now.
void RESULTS_EVALUATED();
// Shows (or clears) the line under the results picture that says they are stale.
void UPDATE_STALE_LINE();
// Forgets the last evaluated model and the line's last state, as at the program's start
// (INIT_STATE calls it: a window made later may take a closed one's address).
void FORGET_STALE_STATE();
inline constexpr const char* STALE_LINE_TEXT =
    "R\xE9sultats \xE0 recalculer : le mod\xE8le a chang\xE9 depuis le dernier calcul";
inline constexpr const char* STALE_EXPORT_TEXT =
    "Le mod\xE8le a chang\xE9 depuis le dernier calcul : cliquez \xAB R\xE9sultats \xBB avant d'exporter.";

// --- leaving and the status line --------------------------------------------------------------
// 1 when the program may end now: after a question (plat_confirm_box) when results computed
// since the last "R\xE9sultats" were neither exported nor sent. "Quitter" and the window's
// close button ask it before the close request.
int QUIT_CONFIRMED();
inline constexpr const char* UNSAVED_RESULTS_TEXT =
    "Les r\xE9sultats de cette \xE9tude n'ont \xE9t\xE9 ni export\xE9s ni envoy\xE9s \xE0 l'archive.\n\n"
    "Quitter quand m\xEAme ?";
// The line under the results picture, where each export says what it wrote; while the results
// are stale their warning keeps the line.
void SHOW_STATUS(const std::string& text);

// --- the exports and the model files ---------------------------------------------------------
// Each does what its menu item does once the path is known: nothing when unavailable, a
// box when the results are stale or the writing fails (nothing changed then). 1: written.
int EXPORT_PDF(const char* path);
int EXPORT_PNG(const char* folder);
int EXPORT_DICOM(const char* folder);
int SEND_RESULTS();
int SAVE_MODEL(const char* path);  // allowed with stale results
int LOAD_MODEL(const char* path);
// The stem of the files written for the loaded study (src/Output_Names.h).
std::string STUDY_OUTPUT_STEM();

enum AskKind { ASK_OPEN_FILE, ASK_SAVE_FILE, ASK_FOLDER };

// Registered by the program that links the libraries; a null hook makes its command
// say that this build lacks it. Errors are French, Latin-1.
struct CommandHooks {
    // The path the user chooses ("" when cancelled); `suggested` is a file path or a folder.
    std::string (*ask_path)(AskKind kind, const char* title, const char* filter, const std::string& suggested);
    bool (*write_pdf)(const std::string& path, std::string& error);
    bool (*write_png)(const std::string& folder, const std::string& stem, std::string& error);
    // The report's Secondary Capture and the SR, whole or not at all.
    bool (*write_dicom)(const std::string& folder, const std::string& stem, std::string& error);
    bool (*send_results)(const std::string& stem, std::string& error);
    bool (*write_model)(const std::string& path, const ModelValues& v, std::string& error);
    // A model file read and checked; `other_study` says (French, Latin-1) when it was made on
    // another patient's study than the one loaded, "" otherwise.
    bool (*read_model)(const std::string& path, ModelValues& v, std::string& other_study, std::string& error);
    void (*open_from_pacs)();
    void (*pacs_settings)();
    // True when the archive's settings are saved and valid; while not, the archive's items open
    // "Archive (PACS)..." first (null: the items go straight on).
    bool (*pacs_configured)();
};
extern CommandHooks command_hooks;  // all null at start

#endif

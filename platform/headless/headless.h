// Headless back end of the window services: nothing is drawn on a screen;
// every call is recorded so that tests and the command-line tool can read what
// the program showed, and the dialogs answer from queues the caller fills.
//
// Window services provided (platform.h):
//   [x] windows from the three templates of layout.h: caption, every control
//       with its kind, client rectangle and initial text, made at creation
//   [x] control texts, check boxes, visibility, outer rectangles, focus, icon
//   [x] synchronous messages (each one also logged in State::sent)
//   [x] posted messages: a mutex-protected queue, run by run_posted() as a
//       message loop would run them (no loop of its own)
//   [x] bitmaps: a copy of the pixels, kept for reading after deletion
//   [x] message boxes (recorded, optionally echoed), open-file and folder
//       dialogs (answered from queues; an open-file answer longer than the
//       buffer gives -1), choosers (the lines recorded, answered from a queue,
//       else the first line), shell open (recorded), module path
//   [x] the comparison and function windows: what they were given, kept (no timer:
//       the cine's images are read one by one)
// Where it differs from a desktop back end:
//   - no screen: positions are only stored; the frame is the program's own
//     (3 pixels at the left, 22 at the top), as layout.h gives it;
//   - no event source: input comes as plat_send_message calls from the caller;
//   - the quit message only sets quit_posted; nothing waits for it;
//   - plat_get_dlg_item returns null for an id that its template lacks, as a
//     dialog does.
#ifndef VESMORA_HEADLESS_H
#define VESMORA_HEADLESS_H

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform.h"

struct PlatWindow_ {
    PlatTemplate tpl = TPL_WIN;
    PlatWindow_* owner = nullptr;   // pop-ups: the main window
    PlatWindow_* parent = nullptr;  // controls: their window
    int id = 0;                     // controls: control id
    WNDPROC_ proc = nullptr;
    bool visible = false;
    PlatRect rect{0, 0, 0, 0};      // outer rectangle in screen pixels
    std::string caption;            // Latin-1
    std::string text;               // controls: their text (Latin-1)
    int checked = 0;                // check boxes
    HBMP_ image = nullptr;          // picture controls: the bitmap shown
    int paints = 0;                 // plat_update_window calls
    bool icon = false;
    std::map<int, std::unique_ptr<PlatWindow_>> controls;
};

struct PlatBitmap_ {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;  // copy of the buffer at creation
    bool alive = true;
};

namespace headless {

struct Box {
    HWND_ owner;
    std::string title, text;
    PlatIcon icon;
};

struct OpenRequest {
    HWND_ owner;
    std::string title, filter_name, filter_pattern;
    int path_size;
};

// A comparison window shown (plat_show_pair), as given.
struct PairShown {
    HWND_ owner;
    std::string title, text, captions[3];
    std::vector<unsigned char> pictures[3];  // 400 x 400 x 3 each
};

// A function window shown (plat_show_function), as given.
struct FunctionShown {
    HWND_ owner;
    std::string title, text, captions[3];
    int gates = 0, speed = 0, flagged = 0;
    std::vector<unsigned char> frames;  // gates x 3 x 256 x 256 x 3
    std::vector<std::string> gate_captions;
    int curve_width = 0, curve_height = 0;
    std::vector<unsigned char> curve;
};

struct State {
    std::vector<std::unique_ptr<PlatWindow_>> windows;  // top-level windows and pop-ups
    std::vector<std::unique_ptr<PlatBitmap_>> bitmaps;  // every bitmap ever made
    int live_bitmaps = 0;
    int deleted_bitmaps = 0;
    std::vector<Box> boxes;
    std::deque<std::optional<std::string>> open_answers;    // nullopt: cancel
    std::deque<std::optional<std::string>> folder_answers;  // nullopt: cancel
    std::deque<int> choose_answers;   // answers to the next choosers (an index, -1 cancel); the first line when none
    std::vector<std::vector<std::string>> choose_requests;  // the lines each chooser listed
    std::deque<int> confirm_answers;  // answers to the next questions (1 "Oui"); "Non" when none is queued
    std::vector<OpenRequest> open_requests;
    std::vector<std::string> folder_requests;
    std::vector<std::string> shell_opens;
    std::vector<PairShown> pairs_shown;
    std::vector<FunctionShown> functions_shown;
    int functions_closed = 0;  // plat_show_function(owner, null) calls
    int busy = 0;         // plat_busy depth now
    int busy_shown = 0;   // times the wait cursor was put up
    HWND_ focus = nullptr;
    bool quit_posted = false;
    int quit_code = 0;
    std::string module_path;  // empty: the real program file (/proc/self/exe)
    std::map<std::string, std::string> settings;  // the remembered settings (empty at start)
    bool echo_boxes = false;  // also print each box to stderr ("box ICON TITLE | TEXT")
    std::vector<std::string> sent;  // "msg wparam lparam" of every plat_send_message, in order
    std::vector<std::string> posted_run;  // "msg wparam lparam" of every posted message run, in order
    // Called with the path the open-file dialog answers, after the user chose it and
    // before the program opens it (tests delete or cut the file there).
    std::function<void(const std::string&)> on_open_answer;
};

State& state();
// Forgets every window, bitmap, box, answer and posted message (module_path is kept).
void reset();
// Hands every posted message, in the order posted, to its window's handler on
// the calling thread, as the message loop of a desktop back end does; messages
// posted meanwhile run too. Returns how many ran.
int run_posted();
void set_module_path(const std::string& path);
// An answer longer than the caller's buffer (path_size - 1 bytes) makes the dialog
// return -1 with the path left empty, as the desktop back ends do.
void queue_open_answer(const std::string& path);
void queue_open_cancel();
void queue_folder_answer(const std::string& path);
void queue_folder_cancel();

// Program texts are Windows-1252; what a person reads (the terminal, dump files) is UTF-8.
// A path inside a text, in the system's own UTF-8 bytes, is shown as the desktop shows it.
std::string utf8(const std::string& latin1);

// Reading what is shown.
PlatWindow_* control(HWND_ window, int id);  // null if the window's template has no such control
std::string text_of(HWND_ window, int id);   // "" if never set
const PlatBitmap_* image_of(HWND_ control);  // bitmap set on a control, or null
// A click on a self-toggling check box, as the user makes it (before the command is sent).
void toggle_check(HWND_ window, int id);

}  // namespace headless

#endif

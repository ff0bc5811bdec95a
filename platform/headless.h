// Headless back end of the window services: nothing is drawn on a screen;
// every call is recorded so that tests and the command-line tool can read what
// the program showed, and the dialogs answer from queues the caller fills.
#ifndef VESMORA_HEADLESS_H
#define VESMORA_HEADLESS_H

#include <deque>
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

struct State {
    std::vector<std::unique_ptr<PlatWindow_>> windows;  // top-level windows and pop-ups
    std::vector<std::unique_ptr<PlatBitmap_>> bitmaps;  // every bitmap ever made
    int live_bitmaps = 0;
    int deleted_bitmaps = 0;
    std::vector<Box> boxes;
    std::deque<std::optional<std::string>> open_answers;    // nullopt: cancel
    std::deque<std::optional<std::string>> folder_answers;  // nullopt: cancel
    std::vector<OpenRequest> open_requests;
    std::vector<std::string> folder_requests;
    std::vector<std::string> shell_opens;
    HWND_ focus = nullptr;
    bool quit_posted = false;
    int quit_code = 0;
    std::string module_path;  // empty: the real program file (/proc/self/exe)
    bool echo_boxes = false;  // also print each box to stderr ("box ICON TITLE | TEXT")
    std::vector<std::string> sent;  // "msg wparam lparam" of every plat_send_message, in order
};

State& state();
// Forgets every window, bitmap, box and answer (module_path is kept).
void reset();
void set_module_path(const std::string& path);
// An answer longer than the caller's buffer (path_size - 1 bytes) makes the dialog
// return -1 with the path left empty, as the desktop back ends do.
void queue_open_answer(const std::string& path);
void queue_open_cancel();
void queue_folder_answer(const std::string& path);
void queue_folder_cancel();

// Program texts are Latin-1; what a person reads (the terminal, dump files) is UTF-8.
std::string utf8(const std::string& latin1);

// Reading what is shown.
PlatWindow_* control(HWND_ window, int id);  // null if the program never touched it
std::string text_of(HWND_ window, int id);   // "" if never set
const PlatBitmap_* image_of(HWND_ control);  // bitmap set on a control, or null
// A click on a self-toggling check box, as the user makes it (before the command is sent).
void toggle_check(HWND_ window, int id);

}  // namespace headless

#endif

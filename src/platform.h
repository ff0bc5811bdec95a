// Window services: the only door from the program to a windowing system.
//
// The program (everything under src/) never includes a toolkit header. It asks
// for the few services below; exactly one back end implements them in a build:
//   - platform/headless/: records every call and answers dialogs from a queue
//     (tests and the command-line tool);
//   - platform/win32/: the native Windows program, built when cross-building for
//     Windows (preset "windows"); the Win32 calls take these messages as they are;
//   - desktop back ends to come, each in its own folder and CMake target,
//     selected by an option (platform/qt/ with VESMORA_QT).
// Every back end builds its windows from the templates of layout.h.
//
// Messages are platform-neutral but keep the classic packing: a command id in
// the low 16 bits of wparam (notification code in the high 16 bits), a pointer
// position as x in the low and y in the high 16 bits of lparam, a wheel turn as
// a signed count in the high 16 bits of wparam (one notch = 120), the wheel's
// pointer in screen pixels in lparam.
//
// plat_send_message is synchronous: the target's handler has run to completion
// when it returns. Handlers rely on that when they re-enter the main window.
#ifndef VESMORA_PLATFORM_H
#define VESMORA_PLATFORM_H

#include <cstdint>
#include <cstddef>

// Opaque handles; each back end defines what they point to.
typedef struct PlatWindow_* HWND_;   // a window, pop-up or control
typedef struct PlatBitmap_* HBMP_;   // a displayable (device) bitmap

typedef std::intptr_t (*WNDPROC_)(HWND_ hwnd, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam);

// Message numbers (values borrowed from the classic desktop API for familiarity).
enum : unsigned {
    VM_DESTROY = 0x0002,
    VM_MOVE = 0x0003,
    VM_CLOSE = 0x0010,
    VM_INITDIALOG = 0x0110,  // dialog initialisation; the program also sends it as a refresh
    VM_COMMAND = 0x0111,
    VM_MOUSEMOVE = 0x0200,
    VM_LBUTTONDOWN = 0x0201,
    VM_LBUTTONUP = 0x0202,
    VM_LBUTTONDBLCLK = 0x0203,
    VM_RBUTTONDOWN = 0x0204,
    VM_RBUTTONUP = 0x0205,
    VM_RBUTTONDBLCLK = 0x0206,
    VM_MOUSEWHEEL = 0x020A,
    VM_APP = 0x8000,  // first number free for the program's own posted messages
};

inline std::uintptr_t MAKE_PARAM(int lo, int hi) {
    return (static_cast<std::uintptr_t>(static_cast<std::uint16_t>(hi)) << 16) | static_cast<std::uint16_t>(lo);
}
inline int LO_WORD(std::uintptr_t v) { return static_cast<int>(v & 0xFFFF); }
inline int HI_WORD(std::uintptr_t v) { return static_cast<int>((v >> 16) & 0xFFFF); }
inline int HI_WORD_SIGNED(std::uintptr_t v) { return static_cast<std::int16_t>((v >> 16) & 0xFFFF); }
inline int LO_WORD_SIGNED(std::uintptr_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }

// 40-byte description of a 24-bit picture stored lowest line first.
struct BitmapDesc {
    std::int32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;  // positive: lowest line first
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
static_assert(sizeof(BitmapDesc) == 40, "a bitmap description is 40 bytes");

struct PlatRect {
    int left, top, right, bottom;
};

// One message of the loop (the back end owns the loop; `message` in main.h is its record).
struct PlatMsg {
    HWND_ hwnd;
    unsigned msg;
    std::uintptr_t wparam;
    std::intptr_t lparam;
};

// Dialog templates the program creates windows from.
enum PlatTemplate { TPL_WIN = 0, TPL_D3WIN = 1, TPL_SECTWIN = 2 };

enum PlatIcon { ICON_WARNING = 0, ICON_INFORMATION = 1 };

// --- windows and controls --------------------------------------------------
// Creates a window from a template, not yet visible (like a dialog made from a
// template, the handler receives VM_INITDIALOG while it is created).
HWND_ plat_create_window(PlatTemplate tpl, HWND_ owner, WNDPROC_ proc);
HWND_ plat_get_dlg_item(HWND_ window, int id);
void plat_set_dlg_item_text(HWND_ window, int id, const char* text);  // Latin-1 text
void plat_set_window_text(HWND_ window, const char* text);            // caption, Latin-1
void plat_check_dlg_button(HWND_ window, int id, int checked);
int plat_is_dlg_button_checked(HWND_ window, int id);
void plat_show_window(HWND_ window, int visible);
// Outer position and size in screen pixels; the window goes behind topmost windows.
void plat_set_window_pos(HWND_ window, int x, int y, int w, int h);
void plat_get_window_rect(HWND_ window, PlatRect* rect);
void plat_update_window(HWND_ window);  // let it paint now
void plat_set_icon(HWND_ window);       // program icon as large and small icon
void plat_set_focus(HWND_ window);
// The wait cursor over the whole program while a long measure runs (on 1, off 0; nested calls
// balance).
void plat_busy(int on);

// Synchronous: the target's handler has returned when this returns.
std::intptr_t plat_send_message(HWND_ window, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam);
void plat_post_quit_message(int code);
// Thread-safe: queues a message that the window's thread hands to the window's
// handler from its message loop, after the message being handled. The one way
// a worker thread (network, batch) gives a result to the program.
void plat_post_message(HWND_ window, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam);

// --- pictures ---------------------------------------------------------------
// A displayable bitmap made from a description and a 24-bit pixel buffer
// (the pixels are copied); the program keeps one per picture and deletes the
// previous one before making the next.
HBMP_ plat_create_bitmap(HWND_ window, const BitmapDesc* desc, const unsigned char* pixels);
void plat_delete_bitmap(HBMP_ bmp);  // null is ignored
void plat_set_image(HWND_ control, HBMP_ bmp);

// --- modal boxes and shell services ----------------------------------------------
// Modal box with one OK button; returns when the user has closed it. owner may be null.
int plat_message_box(HWND_ owner, const char* text, const char* title, PlatIcon icon);
// Modal question with two buttons, "Oui" and "Non" (a warning icon); 1 when the user
// answers "Oui", 0 for "Non" or when the box is closed otherwise.
int plat_confirm_box(HWND_ owner, const char* text, const char* title);
// Open-file dialog (file and path must exist, read-only box hidden). Writes the
// chosen full path into path (at most path_size bytes with its zero) and returns 1;
// returns 0 when the user cancels, and -1 (path left empty) when the chosen path
// does not fit in path_size bytes: a path is never cut.
int plat_open_file_dialog(HWND_ owner, const char* title, const char* filter_name, const char* filter_pattern,
                          char* path, int path_size);
// Chooser: a modal list of `count` lines (Latin-1) under `prompt`, one of them chosen;
// returns its index (0..count-1), or -1 when the user cancels. owner may be null.
int plat_choose_item(HWND_ owner, const char* title, const char* prompt, const char* const* items, int count);
// Folder picker: the chosen folder's full path into path (260 bytes), 1; 0 on cancel.
int plat_browse_folder(const char* title, char* path);
// Asks the desktop to open a document with its registered program; the answer is not reported.
void plat_shell_open(HWND_ parent, const char* path);
// The stress/rest comparison window (non-modal; a second call replaces what it shows):
// three 400 x 400 pictures (blue, green, red, lowest line first: the stress and rest
// bull's-eyes in one palette, the difference map) with their captions, and the texts under
// them (Latin-1, lines in columns: shown in a fixed-width font). Copied: the caller's buffers
// may go once it returns.
struct PlatPairView {
    const char* title;
    const char* captions[3];
    const unsigned char* pictures[3];
    const char* text;
};
void plat_show_pair(HWND_ owner, const PlatPairView* view);
// The function window of a gated study (non-modal; a second call replaces what it shows): a cine
// of `gates` images, each three 256 x 256 pictures (`frames`: gate after gate, views 1, 2, 3 of
// each; blue, green, red, lowest line first) under the three `captions`, shown in turn with the
// gate's own caption (`gate_captions`, one per gate) under them; a play / pause button and a speed
// control in images per second (1 to 30, starting at `speed`; it starts playing). Beside it the
// volume curve (curve_width x curve_height, same format) and under it the text (Latin-1, a
// fixed-width font, lines of `text_columns` characters at most; in the warning colour when
// `flagged`). Copied: the caller's buffers may go.
// A null view closes it (another study was opened: what it shows belongs to the one before).
struct PlatFunctionView {
    const char* title;
    const char* captions[3];
    int gates;
    const unsigned char* frames;
    const char* const* gate_captions;
    int speed;
    const unsigned char* curve;
    int curve_width, curve_height;
    const char* text;
    int text_columns;
    int flagged;
};
void plat_show_function(HWND_ owner, const PlatFunctionView* view);
// Full path of the program's own file, at most size bytes with its zero; returns its length.
int plat_module_file_name(char* buf, int size);
// Has the system give the memory [start, start + bytes) its pages now, in large pages where
// it offers them, rather than one by one at the first writes; no byte's value changes, so
// other threads may read and write the range meanwhile. Does nothing where the system
// offers no such call. May be called from any thread; returns when it is done.
void plat_give_pages(void* start, std::size_t bytes);
// Has the calling thread's memory allocator hold at least `bytes` of memory with its pages
// given, and keep what is freed rather than hand it back, so that the buffers of the first
// load (the file's bytes, its rows) take pages already there, as every later load does.
// Call it on the thread that will load. Does nothing where the system offers no such control.
void plat_keep_heap(std::size_t bytes);

// --- remembered settings ------------------------------------------------------------------
// A short text kept between runs under a name (the desktop's own store: Qt's settings on
// Linux, the registry under HKCU\Software\Vesmora on Windows; the headless back end keeps
// them in memory). Load: 1 with the text in value (at most size bytes with its zero), 0 when
// none is kept or it does not fit.
int plat_load_setting(const char* name, char* value, int size);
void plat_save_setting(const char* name, const char* value);

#endif

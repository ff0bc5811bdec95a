// Qt 6 back end of the window services: what the desktop executable, the GUI
// tests and the documentation tools use beyond src/platform.h.
//
// A QApplication must exist before STARTUP() (or any window service) runs.
#ifndef VESMORA_QT_BACKEND_H
#define VESMORA_QT_BACKEND_H

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

#include "platform.h"

class QMainWindow;
class QWidget;

namespace vesmora_qt {

// Runs the event loop until the program posts its quit message; returns the
// quit message's code (at once if it was posted before the loop started).
int run_event_loop();

// The main window (null before the program creates it), the widget that is its
// client area (exactly CLIENT_WIDTH x CLIENT_HEIGHT, below the menu bar), a
// control of a window by id (null if the template has none) and the widget of
// any window handle.
QMainWindow* main_window();
// plat_show_pair's window (pair_window.cpp).
void show_pair(HWND_ owner, const PlatPairView* view);
// plat_show_function's window (function_window.cpp).
void show_function(HWND_ owner, const PlatFunctionView* view);
QWidget* client_area();
QWidget* control(HWND_ window, int id);
QWidget* widget_of(HWND_ window);

// The study at `path` (made absolute) opened through the program's OPEN_STUDY, with
// every box it shows, and the menu items refreshed. Used for `vesmora FILE`, a drop and
// the archive's retrieval.
void open_study(const QString& path);

// A program text for display: Latin-1, except that well-formed UTF-8 sequences
// (the letters of a file name on Linux) are read as UTF-8.
QString text_from_program(const char* bytes);

// The remembered settings (palette, colour, window place, folders) in Qt's native store
// (~/.config/Vesmora/Vesmora.conf on Linux); the executable asks for it before STARTUP(). Without
// it they live in memory for the run, as the tests want.
void use_native_settings();

// Tests and tools.
// Instead of asking the desktop to open a document, hand its path to `handler`
// (an empty function restores the desktop).
void set_shell_open_handler(std::function<void(const QString& path)> handler);
// Called with every message plat_send_message delivers, before its handler runs.
void set_message_observer(std::function<void(HWND_, unsigned, std::uintptr_t, std::intptr_t)> observer);
// Called after each repaint of the main window has been handed to the window
// system (the latency measurement's end point).
void set_frame_hook(std::function<void()> hook);
// How many bitmaps the program has had made so far.
long bitmaps_made();
// Destroys every window and bitmap made so far, so that STARTUP() can run again.
void reset();

}  // namespace vesmora_qt

#endif

// Message handlers of the main window (buttons, wheel commands, refresh, move,
// close, mouse) and of the pop-ups.
#ifndef VESMORA_MAIN_WND_PROC_H
#define VESMORA_MAIN_WND_PROC_H

#include <cstdint>

#include "platform.h"

std::intptr_t MainWndProc(HWND_ hwnd, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam);
std::intptr_t NullProc(HWND_ hwnd, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam);

// Puts the letter and sector label pop-ups at their places beside a main
// window whose outer top-left corner is (left, top); hidden ones stay hidden.
void PLACE_POPUPS(int left, int top);

// Opens the study at `path` as "Ouvrir" does once its dialog has answered: the same
// checks, boxes and log, then the views and the results picture redrawn. The command
// line, a dropped file, the archive's retrieval and the replay call it. 1: loaded.
int OPEN_STUDY(const char* path);

// The pointer has left the client area (through a menu, a dialog or the window's edge): the
// hover text under the results picture is cleared, as no pixel is pointed at any more.
void POINTER_LEFT();

#endif

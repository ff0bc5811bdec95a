// Message handlers of the main window (buttons, wheel commands, refresh, move,
// close, mouse) and of the pop-ups.
#include "Main_Wnd_Proc.h"

#include "main.h"

std::intptr_t MainWndProc(HWND_ hwnd, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    (void)hwnd, (void)msg, (void)wparam, (void)lparam;
    return 0;  // TODO(shell)
}

std::intptr_t NullProc(HWND_ hwnd, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    (void)hwnd, (void)msg, (void)wparam, (void)lparam;
    return 0;  // TODO(shell)
}

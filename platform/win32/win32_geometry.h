// Arithmetic of the Win32 back end that needs no Windows header (and so is
// tested on any system): where the main window goes for the frame the system
// really draws, the rectangle the program is told, a chosen path handed over
// whole or refused, and the file names the window accepts.
#ifndef VESMORA_WIN32_GEOMETRY_H
#define VESMORA_WIN32_GEOMETRY_H

#include <cstring>

#include "layout.h"

namespace win32 {

// The frame the system draws around the main window's client area, in pixels:
// what lies between the outer rectangle and the client area on each side
// (caption and menu bar included at the top).
struct Frame {
    int left, top, right, bottom;
};

// The frame of an outer rectangle and its client area (client origin in screen pixels).
constexpr Frame frame_of(const PlatRect& outer, int client_x, int client_y, int client_w, int client_h) {
    return Frame{client_x - outer.left, client_y - outer.top, outer.right - (client_x + client_w),
                 outer.bottom - (client_y + client_h)};
}

// The program places its window and turns screen points into client points with
// the frame FRAME_LEFT x FRAME_TOP. Whatever frame the system draws, the window
// is placed so that its client area stands where that frame puts it, at
// (x + FRAME_LEFT, y + FRAME_TOP), with the layout's client size.
constexpr PlatRect outer_rect_for(int x, int y, const Frame& f) {
    const int left = x + FRAME_LEFT - f.left;
    const int top = y + FRAME_TOP - f.top;
    return PlatRect{left, top, left + f.left + CLIENT_WIDTH + f.right, top + f.top + CLIENT_HEIGHT + f.bottom};
}

// ... and the main window's rectangle is reported as its client area grown by
// that frame, so that the program's own conversion of a wheel point
// (screen x - left - FRAME_LEFT, screen y - top - FRAME_TOP) lands on the client pixel.
constexpr PlatRect reported_rect(int client_x, int client_y) {
    const int left = client_x - FRAME_LEFT, top = client_y - FRAME_TOP;
    return PlatRect{left, top, left + WIN_WIDTH, top + WIN_HEIGHT};
}

// Hands a chosen path to the caller whole: 1 when it fits in size bytes with its
// zero, -1 (and an empty path) when it does not. A path is never cut.
inline int hand_over_path(const char* chosen, char* path, int size) {
    if (size <= 0) return -1;
    const std::size_t n = std::strlen(chosen);
    if (n + 1 > static_cast<std::size_t>(size)) {
        path[0] = 0;
        return -1;
    }
    std::memcpy(path, chosen, n + 1);
    return 1;
}

// A path as the shell wants it: every '/' turned into '\' (the program composes
// its paths with '/').
inline void to_backslashes(char* path) {
    for (; *path; path++)
        if (*path == '/') *path = '\\';
}

}  // namespace win32

#endif

// A started program driven through its main window's messages, as a user would.
#ifndef VESMORA_SHELL_FIXTURE_H
#define VESMORA_SHELL_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "headless.h"
#include "layout.h"
#include "main.h"
#include "test_support.h"

class Shell : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        headless::reset();
        headless::set_module_path(dir.str() + "/vesmora");
        STARTUP();
    }

    static void command(int id) { plat_send_message(WINDOW, VM_COMMAND, static_cast<std::uintptr_t>(id), 0); }
    static void mouse(unsigned msg, int x, int y) {
        plat_send_message(WINDOW, msg, 0, static_cast<std::intptr_t>(MAKE_PARAM(x, y)));
    }
    static void press(int x, int y) { mouse(VM_LBUTTONDOWN, x, y); }
    static void release(int x, int y) { mouse(VM_LBUTTONUP, x, y); }
    static void rpress(int x, int y) { mouse(VM_RBUTTONDOWN, x, y); }
    static void move(int x, int y) { mouse(VM_MOUSEMOVE, x, y); }
    // Wheel at a client point, converted to screen pixels for the window's current place.
    static void wheel(int x, int y, int delta) {
        PlatRect r;
        plat_get_window_rect(WINDOW, &r);
        plat_send_message(WINDOW, VM_MOUSEWHEEL, MAKE_PARAM(0, delta),
                          static_cast<std::intptr_t>(MAKE_PARAM(x + r.left + FRAME_LEFT, y + r.top + FRAME_TOP)));
    }
    static std::string text(int id) { return headless::text_of(WINDOW, id); }
    // What a successful load leaves behind (the loader's own reset), without a file.
    static void as_if_loaded() {
        load_ok = 1;
        RAP = 1;
        Nhla = Nvla = Nsa = 128;
        ell_ri = 80, ell_rj = 50, ell_rk = 50;
        ill_ri = 30, ill_rj = 20, ill_rk = 20;
        ell_ok = res_ok = 0;
    }
    static PlatRect rect(HWND_ w) { return w->rect; }
};

#endif

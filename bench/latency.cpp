// Latency of a model drag on a real X server: the time from a pointer move (made by
// xdotool through the XTEST extension) to the redrawn pictures being in the X
// server, and the memory reservations made per move.
//
//   xvfb-run -a -s '-screen 0 1280x1024x24' vesmora_latency samples/normal-64.dcm [MOVES]
//
// For each move during a left drag in view 3 (the transverse semi-axes follow it):
//  - program: from the move's arrival in the event loop to the end of the repaint it
//    caused, after a round trip to the X server (which has then drawn the pictures);
//  - server: the same end point measured from the X server's own time stamp of the
//    move (milliseconds, CLOCK_MONOTONIC on both sides);
//  - reservations (malloc calls) made in between, by the program, the back end and Qt.
#include <QApplication>
#include <QMainWindow>
#include <QMouseEvent>
#include <QProcess>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "layout.h"
#include "main.h"
#include "qt_backend.h"

extern "C" void* __libc_malloc(std::size_t);
std::atomic<long> malloc_calls{0};
extern "C" void* malloc(std::size_t n) {
    malloc_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}

namespace {

using Clock = std::chrono::steady_clock;

double monotonic_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

struct Sample {
    double program_ms, server_ms;
    long reservations;
};

struct Probe : QObject {
    bool armed = false;
    Clock::time_point t0;
    unsigned long x_time = 0;
    long mallocs0 = 0;
    std::vector<Sample> samples;

    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::MouseMove && o == vesmora_qt::client_area()) {
            auto* m = static_cast<QMouseEvent*>(e);
            if (m->buttons() & Qt::LeftButton) {
                armed = true;
                t0 = Clock::now();
                x_time = m->timestamp();
                mallocs0 = malloc_calls.load();
            }
        }
        return false;
    }
    void frame_done() {
        if (!armed) return;
        armed = false;
        // The window's pictures have been sent; one round trip and the server has drawn them.
        auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_connection_t* c = x11->connection();
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        const long reservations = malloc_calls.load() - mallocs0;
        const double program = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        const double server = monotonic_ms() - static_cast<double>(x_time);
        samples.push_back({program, server, reservations});
    }
};

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2 || QGuiApplication::platformName() != "xcb") {
        std::fprintf(stderr, "usage (on an X server): vesmora_latency STUDY [MOVES]\n");
        return 2;
    }
    const int moves = argc > 2 ? std::atoi(argv[2]) : 200;
    STARTUP();
    vesmora_qt::open_study(QString::fromLocal8Bit(argv[1]));
    plat_send_message(WINDOW, VM_COMMAND, ID_PLACE_MODEL, 0);
    if (load_ok != 1 || ell_ok != 1) return 1;

    // The handler alone (program and back end, no Qt event or painting): the same drag
    // sent as messages, with the reservations and pictures handed over per move.
    {
        plat_send_message(WINDOW, VM_LBUTTONDOWN, 0, static_cast<std::intptr_t>(MAKE_PARAM(760, 120)));
        std::vector<double> times, reserved, pictures;
        for (int n = 1; n <= 40; n++) {
            const long made = vesmora_qt::bitmaps_made();
            const long m0 = malloc_calls.load();
            const auto t = Clock::now();
            plat_send_message(WINDOW, VM_MOUSEMOVE, 0, static_cast<std::intptr_t>(MAKE_PARAM(760 - 2 * (n % 20), 120 + n % 20)));
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
            reserved.push_back(static_cast<double>(malloc_calls.load() - m0));
            pictures.push_back(static_cast<double>(vesmora_qt::bitmaps_made() - made));
        }
        plat_send_message(WINDOW, VM_LBUTTONUP, 0, static_cast<std::intptr_t>(MAKE_PARAM(760, 120)));
        // The program's own: each EVAL_APEX opens and closes log.txt for each of its six texts.
        std::printf("handler alone: median %.2f ms, max %.2f ms; reservations per move %.0f..%.0f for %.0f..%.0f pictures\n",
                    percentile(times, 0.5), percentile(times, 1.0), percentile(reserved, 0.0),
                    percentile(reserved, 1.0), percentile(pictures, 0.0), percentile(pictures, 1.0));
    }

    Probe probe;
    app.installEventFilter(&probe);
    vesmora_qt::set_frame_hook([&probe] { probe.frame_done(); });

    // A left drag in view 3 away from the centre: each move reshapes the outer ellipsoid
    // and redraws the three views. One move every 40 ms, 2 pixels at a time, to and fro.
    const QPoint origin = vesmora_qt::client_area()->mapToGlobal(QPoint(0, 0));
    QStringList args{"mousemove", "--sync", QString::number(origin.x() + 760), QString::number(origin.y() + 120),
                     "mousedown", "1", "sleep", "0.2"};
    for (int n = 0; n < moves; n++) {
        const int step = n % 40 < 20 ? n % 20 : 20 - n % 20;
        args << "mousemove" << QString::number(origin.x() + 760 - 2 * step) << QString::number(origin.y() + 120 + step)
             << "sleep" << "0.04";
    }
    args << "mouseup" << "1";
    QProcess xdotool;
    QTimer::singleShot(500, [&] { xdotool.start("xdotool", args); });
    // exit(), not quit(): quit() first asks the window to close, and the window's close is the
    // program's to decide (it goes through its own message), so it would never return here.
    QObject::connect(&xdotool, &QProcess::finished, [] { QTimer::singleShot(300, [] { QApplication::exit(0); }); });
    app.exec();

    if (probe.samples.empty()) {
        std::fprintf(stderr, "no drag move reached the window\n");
        return 1;
    }
    std::vector<double> program, server;
    std::vector<double> reservations;
    for (const Sample& s : probe.samples) {
        program.push_back(s.program_ms);
        server.push_back(s.server_ms);
        reservations.push_back(static_cast<double>(s.reservations));
    }
    std::printf("%zu drag moves measured (ell_rj now %d)\n", probe.samples.size(), ell_rj);
    std::printf("program: move received -> pictures in the X server: median %.2f ms, 90%% %.2f ms, 99%% %.2f ms, max %.2f ms\n",
                percentile(program, 0.5), percentile(program, 0.9), percentile(program, 0.99), percentile(program, 1.0));
    std::printf("server:  X event time -> pictures in the X server:  median %.0f ms, 90%% %.0f ms, 99%% %.0f ms, max %.0f ms\n",
                percentile(server, 0.5), percentile(server, 0.9), percentile(server, 0.99), percentile(server, 1.0));
    std::printf("reservations per move (malloc calls, all code): median %.0f, max %.0f\n",
                percentile(reservations, 0.5), percentile(reservations, 1.0));
    return 0;
}

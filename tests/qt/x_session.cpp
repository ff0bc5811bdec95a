// The desktop program on a real X server (run under xvfb-run): started with a study
// on its command line, "Centrer volume" and "Résultats" clicked with real pointer
// events (xdotool), the screen taken (import) and compared with the headless
// replay of the same clicks; then Ctrl+Q asks before losing the results and, answered
// "Oui", ends it with status 0.
//
// x_session VESMORA VESMORA_CLI STUDY WORK_DIR
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QThread>
#include <cstdio>

#include "layout.h"

namespace {

QString run(const QString& program, const QStringList& args, int timeout_ms = 30000) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeout_ms)) {
        p.kill();
        p.waitForFinished();
        return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QPoint centre_of(int id) {
    const PlatRect r = client_rect_of(*win_control(id));
    return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// Pixels of picture `id` on the screen (client area at `origin`) that differ from the
// replay's dump `bmp` (54-byte header, then blue, green, red lowest line first).
int mismatches(const QImage& screen, QPoint origin, int id, const QByteArray& bmp) {
    const PlatRect r = client_rect_of(*win_control(id));
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (bmp.size() != 54 + w * h * 3) return w * h;
    const auto* px = reinterpret_cast<const unsigned char*>(bmp.constData()) + 54;
    int bad = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const unsigned char* p = px + (static_cast<std::size_t>(h - 1 - y) * w + x) * 3;
            const QRgb got = screen.pixel(origin.x() + r.left + x, origin.y() + r.top + y);
            if (qRed(got) != p[2] || qGreen(got) != p[1] || qBlue(got) != p[0]) bad++;
        }
    return bad;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: x_session VESMORA VESMORA_CLI STUDY WORK_DIR\n");
        return 2;
    }
    const QString vesmora = argv[1], cli = argv[2], study = QDir(argv[3]).absolutePath(), work = argv[4];
    if (!QDir().mkpath(work)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(work));
        return 2;
    }

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    // No settings kept from an earlier run: the window starts as the replay does.
    QDir(work + "/config").removeRecursively();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", work + "/config");
    program.setProcessEnvironment(env);
    program.start(vesmora, {study});
    if (!program.waitForStarted()) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(vesmora));
        return 1;
    }
    // The window, once its caption names the study (the open has run).
    const QString name = QFileInfo(study).fileName().replace(".", "\\.");
    const QString wid = run("xdotool", {"search", "--sync", "--onlyvisible", "--name", name}).split('\n').first();
    if (wid.isEmpty()) {
        std::fprintf(stderr, "no window named after %s\n", qPrintable(study));
        program.kill();
        return 1;
    }
    // The client area is the window's lowest CLIENT_HEIGHT rows (the menu bar is above it).
    int wx = 0, wy = 0, wh = 0;
    for (const QString& line : run("xdotool", {"getwindowgeometry", "--shell", wid}).split('\n')) {
        if (line.startsWith("X=")) wx = line.mid(2).toInt();
        if (line.startsWith("Y=")) wy = line.mid(2).toInt();
        if (line.startsWith("HEIGHT=")) wh = line.mid(7).toInt();
    }
    const QPoint origin(wx, wy + wh - CLIENT_HEIGHT);
    std::printf("window %s, client area at (%d, %d)\n", qPrintable(wid), origin.x(), origin.y());

    for (int id : {ID_PLACE_MODEL, ID_RESULTS}) {
        const QPoint p = origin + centre_of(id);
        run("xdotool", {"mousemove", "--sync", QString::number(p.x()), QString::number(p.y()), "click", "1"});
        QThread::msleep(300);
    }

    QFile script(work + "/clicks.replay");
    script.open(QIODevice::WriteOnly);
    script.write(("open " + study + "\ncommand 24\ncommand 45\ndump pictures " + work + "\n").toUtf8());
    script.close();
    run(cli, {"replay", script.fileName()}, 120000);
    auto dump = [&work](const char* n) {
        QFile f(work + "/" + n + ".bmp");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray hla = dump("BMPhla"), vla = dump("BMPvla"), sa = dump("BMPsa"), res = dump("BMPres");

    // The results take a moment: compare until the screen shows them (20 s at most).
    int bad[4] = {-1, -1, -1, -1};
    bool same = false;
    for (int attempt = 0; attempt < 40 && !same; attempt++) {
        run("import", {"-window", "root", work + "/screen.png"});
        const QImage screen(work + "/screen.png");
        if (screen.isNull()) continue;
        bad[0] = mismatches(screen, origin, ID_VIEW_HLA, hla);
        bad[1] = mismatches(screen, origin, ID_VIEW_VLA, vla);
        bad[2] = mismatches(screen, origin, ID_VIEW_SA, sa);
        bad[3] = mismatches(screen, origin, ID_RES_PICTURE, res);
        same = bad[0] == 0 && bad[1] == 0 && bad[2] == 0 && bad[3] == 0;
        if (!same) QThread::msleep(500);
    }
    std::printf("pixels differing from the replay: views %d, %d, %d; results %d (screen: %s/screen.png)\n", bad[0],
                bad[1], bad[2], bad[3], qPrintable(work));

    run("xdotool", {"key", "ctrl+q"});  // to the window under the pointer (no window manager)
    // Results never exported: the program asks first ("Non" by default). The pointer onto the
    // question (the keys go to the window under it), Tab to "Oui", Return.
    bool asked = !program.waitForFinished(2000);
    if (asked) {
        const QString box = run("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^Vesmora$"}).trimmed();
        asked = !box.isEmpty();
        if (asked) {
            run("xdotool", {"mousemove", "--window", box.split('\n').first(), "10", "10"});
            run("xdotool", {"key", "Tab", "Return"});
        }
    }
    std::printf("Ctrl+Q: %s\n", asked ? "asked before losing the results" : "did not ask");
    const bool ended = program.waitForFinished(10000);
    if (!ended) program.kill();
    std::printf("Ctrl+Q: %s, exit status %d\n", ended ? "ended" : "still running", ended ? program.exitCode() : -1);
    return same && asked && ended && program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0 ? 0 : 1;
}

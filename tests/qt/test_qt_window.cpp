// The desktop window driven with real input events (QtTest, offscreen platform):
// what it shows is the program's own buffers, and what the mouse does to the
// state is what the headless replay of the same actions does.
// QTest's mouse events go to the window, which routes them as the window system's.
#define QTEST_QPA_MOUSE_HANDLING
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <QtTest>
#include <cstring>
#include <thread>
#include <map>
#include <string>
#include <vector>

#include "layout.h"
#include "main.h"
#include "qt_backend.h"

namespace {

const QString STUDY = QStringLiteral(VESMORA_BINARY_DIR "/samples/normal-64.dcm");

QWidget* client() { return vesmora_qt::client_area(); }

// --- what a modal window showed ---------------------------------------------------------------------
struct ModalSeen {
    QString kind, title, text, filters;
    bool modal = false;
    QWidget* parent = nullptr;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the next modal window that opens (a box: OK; a file dialog: `file`, or
// cancel when empty) and keeps what it showed.
class ModalAnswer {
public:
    explicit ModalAnswer(QString file = QString()) : file_(std::move(file)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    std::vector<ModalSeen> seen;

private:
    void poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || !w->isVisible()) return;
        if (answered_.contains(w)) {  // it would not take the answer: close it rather than hang
            qobject_cast<QDialog*>(w)->reject();
            return;
        }
        answered_ << w;
        ModalSeen s;
        s.title = w->windowTitle();
        s.modal = w->isModal();
        s.parent = w->parentWidget();
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            s.kind = "box";
            s.text = box->text();
            s.icon = box->icon();
            seen.push_back(s);
            box->accept();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            s.kind = "open";
            s.filters = dialog->nameFilters().join(';');
            seen.push_back(s);
            if (file_.isEmpty()) {
                dialog->reject();
            } else {
                // Typed in as a user would, then its Open button.
                dialog->findChild<QLineEdit*>("fileNameEdit")->setText(file_);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        }
    }
    QString file_;
    QTimer timer_;
    QList<QWidget*> answered_;
};

// --- the headless program, run on the same actions -------------------------------------------------
struct Replay {
    QTemporaryDir dir;
    std::map<std::string, std::vector<std::string>> state;
    QString errors;

    // Runs `lines` (replay actions) after "open FILE", then dumps the state and the pictures.
    bool run(const QString& file, const QStringList& lines) {
        QFile script(dir.filePath("script.replay"));
        if (!script.open(QIODevice::WriteOnly)) return false;
        QString text = "open " + file + "\n" + lines.join('\n') + "\ndump state " + dir.filePath("state.txt") +
                       "\ndump pictures " + dir.path() + "\n";
        script.write(text.toUtf8());
        script.close();
        QProcess p;
        p.start(QStringLiteral(VESMORA_CLI), {"replay", script.fileName()});
        if (!p.waitForFinished(120000) || p.exitCode() != 0) return false;
        errors = QString::fromUtf8(p.readAllStandardError());
        QFile st(dir.filePath("state.txt"));
        if (!st.open(QIODevice::ReadOnly)) return false;
        for (const QByteArray& line : st.readAll().split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() < 2) continue;
            auto& v = state[words[0].toStdString()];
            for (int n = 1; n < words.size(); n++) v.push_back(words[n].toStdString());
        }
        return true;
    }
    QByteArray picture(const char* name) const {
        QFile f(dir.filePath(QString(name) + ".bmp"));
        return f.open(QIODevice::ReadOnly) ? f.readAll().mid(54) : QByteArray();
    }
};

// The program's integer state as the replay dumps it.
std::map<std::string, std::vector<int>> int_state() {
    std::map<std::string, std::vector<int>> s;
    auto one = [&s](const char* n, int v) { s[n] = {v}; };
    auto many = [&s](const char* n, const int* v, int count) { s[n] = std::vector<int>(v, v + count); };
    one("load_ok", load_ok), one("ell_ok", ell_ok), one("res_ok", res_ok), one("RAP", RAP);
    one("Nhla", Nhla), one("Nvla", Nvla), one("Nsa", Nsa), one("set_ombre", set_ombre);
    one("ell_ci", ell_ci), one("ell_cj", ell_cj), one("ell_ck", ell_ck);
    one("ell_ri", ell_ri), one("ell_rj", ell_rj), one("ell_rk", ell_rk);
    one("ill_ci", ill_ci), one("ill_cj", ill_cj), one("ill_ck", ill_ck);
    one("ill_ri", ill_ri), one("ill_rj", ill_rj), one("ill_rk", ill_rk);
    one("plan_i", plan_i), one("apex_i", apex_i), one("amplii", amplii);
    many("sect_i", sect_i, 5);
    one("RES_DISP", RES_DISP), one("res3D_ang", res3D_ang);
    many("set_centre", set_centre, 3), many("set_centri", set_centri, 3), many("set_plan", set_plan, 2);
    many("slide", slide, 3), many("lbutt", lbutt, 3), many("rbutt", rbutt, 3);
    one("buttposi", buttposi), one("buttposj", buttposj);
    one("elri_", elri_), one("elrj_", elrj_), one("elrk_", elrk_);
    one("ilri_", ilri_), one("ilrj_", ilrj_), one("ilrk_", ilrk_);
    return s;
}

// Every integer the program holds equals the replay's; returns the first difference.
QString state_difference(const Replay& r) {
    for (const auto& [name, values] : int_state()) {
        auto it = r.state.find(name);
        if (it == r.state.end()) return QString("replay has no %1").arg(name.c_str());
        std::vector<std::string> mine;
        for (int v : values) mine.push_back(std::to_string(v));
        if (mine != it->second)
            return QString("%1: window %2, replay %3")
                .arg(name.c_str(), QString::fromStdString(mine[0]), QString::fromStdString(it->second[0]));
    }
    return QString();
}

// --- what the window shows ----------------------------------------------------------------------
// Client-area pixels where the picture control `id` shows the program's buffer
// `pixels` (w x h, lowest line first) that differ from it, at any device pixel ratio.
int picture_mismatches(const QImage& shot, int id, const unsigned char* pixels) {
    const PlatRect r = client_rect_of(*win_control(id));
    const int w = r.right - r.left, h = r.bottom - r.top;
    const qreal dpr = shot.devicePixelRatio();
    const int ratio = qRound(dpr);
    int bad = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const unsigned char* p = pixels + (static_cast<std::size_t>(h - 1 - y) * w + x) * 3;
            const QRgb want = qRgb(p[2], p[1], p[0]);
            for (int dy = 0; dy < ratio; dy++)
                for (int dx = 0; dx < ratio; dx++)
                    if ((shot.pixel((r.left + x) * ratio + dx, (r.top + y) * ratio + dy) & 0xFFFFFF) != (want & 0xFFFFFF))
                        bad++;
        }
    return bad;
}

QPoint at(int x, int y) { return QPoint(x, y); }

// A real button press and release at a client point (routed by the window to the widget under it).
void press(Qt::MouseButton b, QPoint p) { QTest::mousePress(client(), b, {}, p); }
void release(Qt::MouseButton b, QPoint p) { QTest::mouseRelease(client(), b, {}, p); }
void move(QPoint p) { QTest::mouseMove(client(), p); }

// A wheel turn over a client point, delivered to the window like the window system's.
void wheel(QPoint client_point, int turn) {
    QWindow* win = vesmora_qt::main_window()->windowHandle();
    const QPoint global = client()->mapToGlobal(client_point);
    const QPointF local = win->mapFromGlobal(global);
    QWheelEvent e(local, QPointF(global), QPoint(), QPoint(0, turn), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(win, &e);
}

void click_control(int id) { QTest::mouseClick(vesmora_qt::control(WINDOW, id), Qt::LeftButton); }

}  // namespace

class QtWindow : public QObject {
    Q_OBJECT

private slots:
    void init() {
        STARTUP();
        vesmora_qt::main_window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(vesmora_qt::main_window()));
    }
    void cleanup() {
        vesmora_qt::set_message_observer({});
        vesmora_qt::set_shell_open_handler({});
        vesmora_qt::reset();
    }

    void startup_places_everything_from_the_layout() {
        QMainWindow* mw = vesmora_qt::main_window();
        QCOMPARE(client()->size(), QSize(CLIENT_WIDTH, CLIENT_HEIGHT));
        QCOMPARE(mw->minimumSize(), mw->maximumSize());  // not resizable
        PlatRect r;
        plat_get_window_rect(WINDOW, &r);
        QCOMPARE(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), QRect(WIN_LEFT, WIN_TOP, WIN_WIDTH, WIN_HEIGHT));
        QCOMPARE(client()->mapToGlobal(QPoint(0, 0)), QPoint(WIN_LEFT + FRAME_LEFT, WIN_TOP + FRAME_TOP));
        QCOMPARE(mw->windowTitle(), QStringLiteral("  Vesmora"));

        int placed = 0;
        for (const CtlTemplate& c : WIN_CONTROLS) {
            if (c.id == ID_NONE) continue;
            QWidget* w = vesmora_qt::control(WINDOW, c.id);
            QVERIFY2(w, qPrintable(QString("control %1").arg(c.id)));
            const PlatRect cr = client_rect_of(c);
            QCOMPARE(w->parentWidget(), client());
            QCOMPARE(w->geometry(), QRect(cr.left, cr.top, cr.right - cr.left, cr.bottom - cr.top));
            QVERIFY(w->isVisible());
            placed++;
        }
        QCOMPARE(placed, 33);  // the stale-results line included
        // The unnamed labels too, and the texts start-up gives.
        QStringList labels;
        for (QLabel* l : client()->findChildren<QLabel*>()) labels << l->text();
        QVERIFY(labels.contains("Palette") && labels.contains("Couleur") && labels.contains("Grand Axe Horizontal") &&
                labels.contains("Petit Axe") && labels.contains("Infos patient\n"));
        QCOMPARE(qobject_cast<QPushButton*>(vesmora_qt::control(WINDOW, ID_RESULTS))->text(), QString("R\u00E9sultats"));
        QVERIFY(qobject_cast<QCheckBox*>(vesmora_qt::control(WINDOW, ID_SHADOW))->isChecked());

        for (HWND_ p : {d3_A, d3_S, d3_I, d3_L}) QVERIFY(!vesmora_qt::widget_of(p)->isVisible());
        for (int n = 1; n <= 17; n++) {
            QWidget* p = vesmora_qt::widget_of(winsect[n]);
            QVERIFY(!p->isVisible());
            QCOMPARE(p->geometry(), QRect(WIN_LEFT + SECT_LABEL_DX + sectposi[n], WIN_TOP + SECT_LABEL_DY + sectposj[n],
                                          SECT_LABEL_W, SECT_LABEL_H));
            QVERIFY(p->isWindow() && p->parentWidget() == mw);  // owned by the main window
        }
        QCOMPARE(vesmora_qt::widget_of(d3_S)->geometry(), QRect(485, 585, 10, 10));
    }

    void program_texts_are_windows_1252_and_file_names_utf8() {
        QCOMPARE(vesmora_qt::text_from_program("N\xE9(e) : [ /tmp/\xC3\xA9tude c\xC5\x93ur.dcm ] \xEAtre \xC3"),
                 QString("N\u00E9(e) : [ /tmp/\u00E9tude c\u0153ur.dcm ] \u00EAtre \u00C3"));
        // An overlong or surrogate sequence is not UTF-8: each byte is a Windows-1252 letter (0x80 the euro).
        QCOMPARE(vesmora_qt::text_from_program("\xC0\x80 \xED\xA0\x80"), QString("\u00C0\u20AC \u00ED\u00A0\u20AC"));
    }

    void each_button_sends_its_command() {
        std::vector<int> commands;
        int shadow_at_command = -1;
        vesmora_qt::set_message_observer([&](HWND_ w, unsigned msg, std::uintptr_t wp, std::intptr_t) {
            if (w != WINDOW || msg != VM_COMMAND) return;
            commands.push_back(LO_WORD(wp));
            if (LO_WORD(wp) == ID_SHADOW) shadow_at_command = plat_is_dlg_button_checked(WINDOW, ID_SHADOW);
        });
        QStringList opened;
        vesmora_qt::set_shell_open_handler([&](const QString& p) { opened << p; });
        int buttons = 0;
        for (const CtlTemplate& c : WIN_CONTROLS) {
            if (c.kind != CTL_BUTTON && c.kind != CTL_CHECKBOX) continue;
            commands.clear();
            ModalAnswer cancel;  // "Ouvrir" shows its dialog
            click_control(c.id);
            QVERIFY2(!commands.empty() && commands.front() == c.id, qPrintable(QString("button %1").arg(c.id)));
            buttons++;
        }
        QCOMPARE(buttons, 19);
        QCOMPARE(shadow_at_command, 0);  // the box had unticked itself when its command came
        QCOMPARE(set_ombre, 0);
        QCOMPARE(opened, QStringList{QString::fromLocal8Bit(APP_FOLDER) + "Aide.pdf"});
    }

    void menu_shortcuts_send_the_program_commands() {
        std::vector<int> commands;
        vesmora_qt::set_message_observer([&](HWND_ w, unsigned msg, std::uintptr_t wp, std::intptr_t) {
            if (w == WINDOW && (msg == VM_COMMAND || msg == VM_CLOSE)) commands.push_back(msg == VM_CLOSE ? -1 : LO_WORD(wp));
        });
        QStringList opened;
        vesmora_qt::set_shell_open_handler([&](const QString& p) { opened << p; });
        QWidget* mw = vesmora_qt::main_window();
        {
            ModalAnswer cancel;
            QTest::keyClick(mw, Qt::Key_O, Qt::ControlModifier);
            QCOMPARE(cancel.seen.size(), std::size_t(1));
        }
        mw->activateWindow();  // as the window manager does when the dialog has gone
        QVERIFY(QTest::qWaitForWindowActive(mw));
        QTest::keyClick(mw, Qt::Key_F1);
        QTest::keyClick(mw, Qt::Key_M, Qt::ControlModifier);  // no study yet: "Placement automatique" is off
        vesmora_qt::open_study(STUDY);
        QTest::keyClick(mw, Qt::Key_M, Qt::ControlModifier);
        QCOMPARE(ell_ok, 1);  // the model found in the study
        QVERIFY(ell_cj >= 120 && ell_cj <= 136 && ell_ck >= 120 && ell_ck <= 136);
        QTest::keyClick(mw, Qt::Key_Q, Qt::ControlModifier);
        // The study named opens through OPEN_STUDY, not a command; "Quitter" sends the close request.
        QCOMPARE(commands, (std::vector<int>{ID_OPEN, ID_HELP, ID_AUTO_PLACE, ID_QUIT, -1}));
        QCOMPARE(opened.size(), 1);
        QVERIFY(chaine == nullptr);  // "Quitter" is the close request
    }

    void mouse_and_wheel_change_the_state_as_the_replay_does() {
        vesmora_qt::open_study(STUDY);
        QCOMPARE(load_ok, 1);
        click_control(ID_PLACE_MODEL);
        QCOMPARE(ell_ok, 1);
        // Outer centre dragged in view 1, semi-axes in view 3, the inner ellipsoid in view 2.
        press(Qt::LeftButton, at(151, 177));
        move(at(171, 167));
        move(at(181, 157));
        release(Qt::LeftButton, at(181, 157));
        press(Qt::LeftButton, at(750, 120));
        move(at(725, 145));
        move(at(700, 170));
        release(Qt::LeftButton, at(700, 170));
        press(Qt::RightButton, at(400, 100));
        move(at(420, 80));
        release(Qt::RightButton, at(420, 80));
        // The window somewhere else, then a wheel turn over view 2: the frame arithmetic lands on it.
        vesmora_qt::main_window()->move(237, 141);
        PlatRect r;
        QTRY_VERIFY((plat_get_window_rect(WINDOW, &r), r.left != WIN_LEFT));
        const QPoint global = client()->mapToGlobal(at(400, 150));
        QCOMPARE(global, QPoint(r.left + FRAME_LEFT + 400, r.top + FRAME_TOP + 150));
        wheel(at(400, 150), -120);
        QCOMPARE(Nvla, 127);

        Replay replay;
        QVERIFY(replay.run(STUDY, {"command 24", "lbuttondown 151 177", "mousemove 171 167", "mousemove 181 157",
                                    "lbuttonup 181 157", "lbuttondown 750 120", "mousemove 725 145",
                                    "mousemove 700 170", "lbuttonup 700 170", "rbuttondown 400 100",
                                    "mousemove 420 80", "rbuttonup 420 80",
                                    QString("move %1 %2").arg(r.left).arg(r.top),
                                    QString("wheel %1 %2 -120").arg(global.x()).arg(global.y())}));
        QCOMPARE(state_difference(replay), QString());
        QCOMPARE(ell_ci, 148);  // the centre followed the pointer
        QCOMPARE(ell_cj, 158);
        QVERIFY(replay.picture("BMPhla") == QByteArray(reinterpret_cast<const char*>(BMPhla), VIEW_BYTES));
        QVERIFY(replay.picture("BMPvla") == QByteArray(reinterpret_cast<const char*>(BMPvla), VIEW_BYTES));
        QVERIFY(replay.picture("BMPsa") == QByteArray(reinterpret_cast<const char*>(BMPsa), VIEW_BYTES));
    }

    void clicks_land_on_client_pixels_at_any_pixel_ratio() {
        // Pointer positions between device pixels (ratio 2) still name the client pixel under them.
        std::vector<std::intptr_t> points;
        vesmora_qt::set_message_observer([&](HWND_ w, unsigned msg, std::uintptr_t, std::intptr_t lp) {
            if (w == WINDOW && msg == VM_LBUTTONDOWN) points.push_back(lp);
        });
        QWindow* win = vesmora_qt::main_window()->windowHandle();
        const QPointF offset = win->mapFromGlobal(client()->mapToGlobal(QPoint(0, 0)));
        for (QPointF p : {QPointF(23.5, 313.5), QPointF(300.0, 320.0), QPointF(818.5, 737.5)}) {
            const QPointF global = win->mapToGlobal(p + offset);
            QMouseEvent down(QEvent::MouseButtonPress, p + offset, global, Qt::LeftButton, Qt::LeftButton, {});
            QApplication::sendEvent(win, &down);
            QMouseEvent up(QEvent::MouseButtonRelease, p + offset, global, Qt::LeftButton, Qt::NoButton, {});
            QApplication::sendEvent(win, &up);
        }
        QCOMPARE(points.size(), std::size_t(3));
        QCOMPARE(points[0], static_cast<std::intptr_t>(MAKE_PARAM(23, 313)));
        QCOMPARE(points[1], static_cast<std::intptr_t>(MAKE_PARAM(300, 320)));
        QCOMPARE(points[2], static_cast<std::intptr_t>(MAKE_PARAM(818, 737)));
        QCOMPARE(Nvla, 6);  // the strip click of the second point
    }

    void window_shows_the_program_buffers() {
        vesmora_qt::open_study(STUDY);
        click_control(ID_PLACE_MODEL);
        click_control(ID_RESULTS);
        QCOMPARE(res_ok, 1);
        const QImage shot = client()->grab().toImage();
        const qreal ratio = qEnvironmentVariable("QT_SCALE_FACTOR") == "2" ? 2.0 : 1.0;
        QCOMPARE(shot.devicePixelRatio(), ratio);
        QCOMPARE(shot.size(), QSize(CLIENT_WIDTH, CLIENT_HEIGHT) * ratio);  // twice as large at ratio 2
        QCOMPARE(picture_mismatches(shot, ID_VIEW_HLA, BMPhla), 0);
        QCOMPARE(picture_mismatches(shot, ID_VIEW_VLA, BMPvla), 0);
        QCOMPARE(picture_mismatches(shot, ID_VIEW_SA, BMPsa), 0);
        QCOMPARE(picture_mismatches(shot, ID_STRIP_HLA, BMPshla), 0);
        QCOMPARE(picture_mismatches(shot, ID_STRIP_VLA, BMPsvla), 0);
        QCOMPARE(picture_mismatches(shot, ID_STRIP_SA, BMPssa), 0);
        QCOMPARE(picture_mismatches(shot, ID_RES_PICTURE, BMPres), 0);
        QCOMPARE(picture_mismatches(shot, ID_PALETTE_BAR, BMPpal), 0);
        // Not black: the views show the study.
        int lit = 0;
        for (int n = 0; n < VIEW_BYTES; n++) lit += BMPsa[n] != 0;
        QVERIFY(lit > 1000);
    }

    void popups_follow_the_window_and_a_click_on_one_reaches_its_handler() {
        vesmora_qt::open_study(STUDY);
        click_control(ID_PLACE_MODEL);
        click_control(ID_RESULTS);
        click_control(ID_SHOW_SECTORS);
        QVERIFY(vesmora_qt::widget_of(winsect[1])->isVisible());
        QVERIFY(!vesmora_qt::widget_of(d3_A)->isVisible());
        // What the window system is told (the offscreen platform activates every window it shows).
        const Qt::WindowFlags flags = vesmora_qt::widget_of(winsect[1])->windowHandle()->flags();
        QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus) && flags.testFlag(Qt::Tool));

        vesmora_qt::main_window()->move(160, 90);
        PlatRect r;
        QTRY_VERIFY((plat_get_window_rect(WINDOW, &r), r.left != WIN_LEFT));
        QTRY_COMPARE(vesmora_qt::widget_of(winsect[5])->pos(),
                     QPoint(r.left + SECT_LABEL_DX + sectposi[5], r.top + SECT_LABEL_DY + sectposj[5]));
        QCOMPARE(vesmora_qt::widget_of(d3_L)->pos(), QPoint(r.left + LETTER_DX[3], r.top + LETTER_DY[3]));
        QVERIFY(!vesmora_qt::widget_of(d3_L)->isVisible());  // hidden ones move and stay hidden

        // A pop-up put elsewhere goes back beside the window when it is clicked.
        plat_set_window_pos(winsect[7], 5, 5, SECT_LABEL_W, SECT_LABEL_H);
        QTRY_COMPARE(vesmora_qt::widget_of(winsect[7])->pos(), QPoint(5, 5));
        QTest::mouseClick(vesmora_qt::widget_of(winsect[7]), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(vesmora_qt::widget_of(winsect[7])->pos(),
                 QPoint(r.left + SECT_LABEL_DX + sectposi[7], r.top + SECT_LABEL_DY + sectposj[7]));
        const auto* label = qobject_cast<QLabel*>(vesmora_qt::control(winsect[7], ID_SECT_LABEL));
        QCOMPARE(label->text(), QString("%1 %").arg(static_cast<int>(SECTEUR[7] + 0.5f)));
    }

    void a_box_is_modal_and_shows_the_program_text() {
        QTemporaryDir dir;
        const QString junk = dir.filePath("pas-dicom.dcm");
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(300, 'x'));
        f.close();
        ModalAnswer ok;
        vesmora_qt::open_study(junk);
        QCOMPARE(ok.seen.size(), std::size_t(1));
        const ModalSeen& box = ok.seen[0];
        QCOMPARE(box.kind, QString("box"));
        QVERIFY(box.modal);
        QCOMPARE(box.parent, vesmora_qt::main_window());
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(load_ok, 0);
        // The headless program says the same for the same file.
        Replay replay;
        QVERIFY(replay.run(junk, {}));
        QVERIFY2(replay.errors.contains("box warning " + box.title + " | " + box.text), qPrintable(replay.errors));
    }

    void a_cancelled_dialog_changes_nothing() {
        vesmora_qt::open_study(STUDY);
        const QString caption = vesmora_qt::main_window()->windowTitle();
        const unsigned long generation = data_generation;
        const QByteArray view(reinterpret_cast<const char*>(BMPhla), VIEW_BYTES);
        ModalAnswer cancel;
        click_control(ID_OPEN);
        QCOMPARE(cancel.seen.size(), std::size_t(1));
        QCOMPARE(cancel.seen[0].kind, QString("open"));
        QCOMPARE(cancel.seen[0].title, QString("Ouvrir un fichier Dicom"));
        QCOMPARE(cancel.seen[0].filters, QString("fichier DICOM (*.dcm DICOMDIR *)"));
        QVERIFY(cancel.seen[0].modal);
        QCOMPARE(vesmora_qt::main_window()->windowTitle(), caption);
        QCOMPARE(data_generation, generation);
        QVERIFY(view == QByteArray(reinterpret_cast<const char*>(BMPhla), VIEW_BYTES));
        QCOMPARE(load_ok, 1);
    }

    void non_ascii_and_long_paths() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QString("\u00E9tude c\u0153ur"));
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + QString("/patient \u00E9.dcm");
        QVERIFY(QFile::copy(STUDY, file));
        {
            ModalAnswer choose(file);  // through the real dialog
            click_control(ID_OPEN);
            QCOMPARE(choose.seen.size(), std::size_t(1));
        }
        QCOMPARE(load_ok, 1);
        QCOMPARE(vesmora_qt::main_window()->windowTitle(), "  Vesmora    -    [ " + file + " ]");

        // Longer than the program's 260-byte buffer: refused whole, never cut.
        QString deep = dir.path();
        while (QFile::encodeName(deep).size() < 300) deep += QString("/dossier-\u00E9-tr\u00E8s-long");
        QVERIFY(QDir().mkpath(deep));
        const QString long_file = deep + "/normal.dcm";
        QVERIFY(QFile::copy(STUDY, long_file));
        const QByteArray bytes = QFile::encodeName(long_file);
        char path[PATH_SIZE];
        {
            ModalAnswer choose(long_file);  // the real dialog answers a path longer than the buffer
            QCOMPARE(plat_open_file_dialog(WINDOW, "t", "f", "*.dcm", path, PATH_SIZE), -1);
        }
        QCOMPARE(path[0], '\0');
        std::vector<char> room(bytes.size() + 1);
        {
            ModalAnswer choose(long_file);
            QCOMPARE(plat_open_file_dialog(WINDOW, "t", "f", "*.dcm", room.data(), static_cast<int>(room.size())), 1);
        }
        QCOMPARE(QByteArray(room.data()), bytes);

        const QString caption = vesmora_qt::main_window()->windowTitle();
        ModalAnswer ok;
        vesmora_qt::open_study(long_file);
        QCOMPARE(ok.seen.size(), std::size_t(1));
        QCOMPARE(ok.seen[0].icon, QMessageBox::Warning);
        QVERIFY2(ok.seen[0].text.contains("trop long"), qPrintable(ok.seen[0].text));
        QCOMPARE(vesmora_qt::main_window()->windowTitle(), caption);  // the study before stays
    }

    void a_dropped_study_opens() {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(STUDY)});
        QWidget* mw = vesmora_qt::main_window();
        QDragEnterEvent enter(QPoint(400, 400), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(mw, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(400, 400), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(mw, &drop);
        QTRY_COMPARE(load_ok, 1);
        QVERIFY(mw->windowTitle().contains("normal-64.dcm"));

        QMimeData text;
        text.setUrls({QUrl::fromLocalFile(VESMORA_SOURCE_DIR "/README.md")});
        QDragEnterEvent refused(QPoint(400, 400), Qt::CopyAction, &text, Qt::LeftButton, {});
        QApplication::sendEvent(mw, &refused);
        QVERIFY(!refused.isAccepted());
    }

    void a_message_posted_from_another_thread_is_handled_on_the_window_thread() {
        QThread* handled_on = nullptr;
        vesmora_qt::set_message_observer([&](HWND_ w, unsigned msg, std::uintptr_t wp, std::intptr_t) {
            if (w == WINDOW && msg == VM_COMMAND && LO_WORD(wp) == ID_PALETTE_NEXT) handled_on = QThread::currentThread();
        });
        std::thread worker([] { plat_post_message(WINDOW, VM_COMMAND, ID_PALETTE_NEXT, 0); });
        worker.join();
        QCOMPARE(palet, 0);  // not before the loop takes it
        QTRY_COMPARE(palet, 1);
        QCOMPARE(handled_on, QThread::currentThread());
    }

    void closing_the_window_ends_the_program_with_status_0() {
        QTest::keyClick(vesmora_qt::main_window(), Qt::Key_Tab);  // no dialog keyboard handling
        QCOMPARE(QApplication::focusWidget(), client());
        vesmora_qt::main_window()->close();
        QVERIFY(vesmora_qt::main_window()->isVisible());  // the program ends itself
        QVERIFY(chaine == nullptr && BMPhla == nullptr);   // its close request has run
        QCOMPARE(vesmora_qt::run_event_loop(), 0);         // and the loop ends at once
    }

    void the_program_started_with_a_file_opens_it() {
        // The executable itself, as the desktop's "Open with" starts it; its log shows the load.
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        const QString log = QFileInfo(QStringLiteral(VESMORA_EXE)).absolutePath() + "/log.txt";
        QFile::remove(log);
        p.start(QStringLiteral(VESMORA_EXE), {STUDY});
        QVERIFY(p.waitForStarted());
        auto log_text = [&log] {
            QFile f(log);
            return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(log_text().contains("Max data"), 20000);
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
    }

};

QTEST_MAIN(QtWindow)
#include "test_qt_window.moc"

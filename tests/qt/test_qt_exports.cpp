// The "Fichier" menu's exports in the desktop window (QtTest, offscreen platform): each
// item is enabled exactly when the program says it makes sense, and the report and the
// pictures are written through the real file dialogs; a failure shows a French box.
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "Gated_Cine.h"
#include "Pair_Roles.h"
#include "commands.h"
#include "layout.h"
#include "main.h"
#include "qt_backend.h"

namespace {

const QString STUDY = QStringLiteral(VESMORA_BINARY_DIR "/samples/lad-64.dcm");

// The item of the "Fichier" menu whose text, without its mnemonic, is `text`.
QAction* file_item(const QString& text) {
    for (QAction* menu : vesmora_qt::main_window()->menuBar()->actions())
        if (menu->text().remove('&') == QStringLiteral("Fichier"))
            for (QAction* a : menu->menu()->actions())
                if (a->text().remove('&') == text) return a;
    return nullptr;
}

// Answers the file dialog that opens next with `path` (typed in, then accepted) and
// acknowledges any box, keeping its text.
class Answer {
public:
    explicit Answer(QString path) : path_(std::move(path)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (w == nullptr || !w->isVisible()) return;
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                boxes << box->text();
                box->accept();
            } else if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
                dialog->findChild<QLineEdit*>("fileNameEdit")->setText(path_);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        });
        timer_.start(10);
    }
    QStringList boxes;

private:
    QString path_;
    QTimer timer_;
};

void click(int id) { QTest::mouseClick(vesmora_qt::control(WINDOW, id), Qt::LeftButton); }

}  // namespace

class QtExports : public QObject {
    Q_OBJECT

private slots:
    // Every command of the program's table is an item of the menu bar, under its menu, with
    // its label, its shortcut and its state; a click on it sends its id to the main window.
    void the_menus_are_the_command_table() {
        STARTUP();
        QHash<int, QAction*> items;
        QHash<int, QString> menu_of;
        for (QAction* menu : vesmora_qt::main_window()->menuBar()->actions())
            for (QAction* a : menu->menu()->actions())
                if (!a->isSeparator()) {
                    items.insert(a->data().toInt(), a);
                    menu_of.insert(a->data().toInt(), menu->text());
                }
        QCOMPARE(items.size(), COMMAND_COUNT);
        for (int n = 0; n < COMMAND_COUNT; n++) {
            const Command& c = COMMANDS[n];
            QAction* a = items.value(c.id);
            QVERIFY2(a, c.label);
            QCOMPARE(menu_of.value(c.id), vesmora_qt::text_from_program(MENU_LABEL[c.menu]));
            QCOMPARE(a->text(), vesmora_qt::text_from_program(c.label).replace("...", "\u2026"));
            QCOMPARE(a->shortcut(), QKeySequence(QString::fromStdString(shortcut_text(c))));
            QCOMPARE(a->isEnabled(), c.available() == 1);
        }
        QCOMPARE(items.value(ID_AUTO_PLACE)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_M));
        vesmora_qt::reset();
    }

    void items_follow_the_state_and_write_the_report() {
        STARTUP();
        vesmora_qt::main_window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(vesmora_qt::main_window()));
        const QStringList names = {QStringLiteral("Exporter le rapport PDF\u2026"),
                                   QStringLiteral("Enregistrer les images (PNG)\u2026"),
                                   QStringLiteral("Exporter en DICOM\u2026"),
                                   QStringLiteral("Enregistrer le mod\u00E8le\u2026"),
                                   QStringLiteral("Charger un mod\u00E8le\u2026")};
        QList<QAction*> items;
        for (const QString& n : names) {
            items << file_item(n);
            QVERIFY2(items.back(), qPrintable(n));
        }
        QCOMPARE(items[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
        // Enabled: report, pictures, DICOM, save model, load model.
        auto enabled = [&items] {
            QString s;
            for (QAction* a : items) s += a->isEnabled() ? '1' : '0';
            return s;
        };
        QCOMPARE(enabled(), QStringLiteral("00000"));
        vesmora_qt::open_study(STUDY);
        QCOMPARE(load_ok, 1);
        QCOMPARE(enabled(), QStringLiteral("00001"));
        click(ID_PLACE_MODEL);  // "Centrer volume"
        QCOMPARE(enabled(), QStringLiteral("00011"));
        click(ID_RESULTS);
        QCOMPARE(enabled(), QStringLiteral("11111"));

        QTemporaryDir dir;
        {
            const QString pdf = dir.filePath(QStringLiteral("rapport \u00E9t\u00E9.pdf"));  // a name with accents
            Answer answer(pdf);
            items[0]->trigger();
            QVERIFY2(answer.boxes.isEmpty(), qPrintable(answer.boxes.join('|')));
            QFile f(pdf);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY(f.read(5) == "%PDF-");
        }
        {
            const QString folder = dir.filePath(QStringLiteral("images"));
            QVERIFY(QDir().mkpath(folder));
            Answer answer(folder);
            items[1]->trigger();
            QVERIFY2(answer.boxes.isEmpty(), qPrintable(answer.boxes.join('|')));
            QCOMPARE(QDir(folder).entryList({QStringLiteral("lad-64-*.png")}, QDir::Files).size(), 8);
        }
        {
            const QString folder = dir.filePath(QStringLiteral("dicom"));
            QVERIFY(QDir().mkpath(folder));
            Answer answer(folder);
            items[2]->trigger();
            QVERIFY2(answer.boxes.isEmpty(), qPrintable(answer.boxes.join('|')));
            for (const char* name : {"lad-64-sc.dcm", "lad-64-sr.dcm"}) {
                QFile f(QDir(folder).filePath(name));
                QVERIFY2(f.open(QIODevice::ReadOnly), name);
                QCOMPARE(f.readAll().mid(128, 4), QByteArray("DICM"));
            }
            QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);  // no temporary file left
        }
        {
            // The model saved, then a file with a value out of range refused by name, the
            // model left as it was; the saved one loads back.
            const QString model = dir.filePath(QStringLiteral("modele.json"));
            {
                Answer answer(model);
                items[3]->trigger();
                QVERIFY2(answer.boxes.isEmpty(), qPrintable(answer.boxes.join('|')));
            }
            QFile saved(model);
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QByteArray text = saved.readAll();
            QVERIFY(text.contains("\"semi_axes\""));
            const QString bad = dir.filePath(QStringLiteral("mauvais.json"));
            QFile out(bad);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(QByteArray(text).replace(QByteArray("\"base_plane\": ") + QByteArray::number(plan_i),
                                                "\"base_plane\": 400"));
            out.close();
            const int plan = plan_i;
            {
                Answer answer(bad);
                items[4]->trigger();
                QCOMPARE(answer.boxes.size(), 1);
                QVERIFY2(answer.boxes[0].contains(QStringLiteral("base_plane")), qPrintable(answer.boxes[0]));
            }
            QCOMPARE(plan_i, plan);
            {
                Answer answer(model);
                items[4]->trigger();
                QVERIFY2(answer.boxes.isEmpty(), qPrintable(answer.boxes.join('|')));
            }
            QCOMPARE(plan_i, plan);
            QCOMPARE(ell_ok, 1);
        }
        {
            // A folder that does not exist: a French box, nothing written.
            const QString pdf = dir.filePath(QStringLiteral("absent/rapport.pdf"));
            Answer answer(pdf);
            items[0]->trigger();
            QCOMPARE(answer.boxes.size(), 1);
            QVERIFY2(answer.boxes[0].startsWith(QStringLiteral("Impossible de cr\u00E9er le rapport")),
                     qPrintable(answer.boxes[0]));
            QVERIFY(!QFile::exists(pdf));
        }

        // A new study forgets the model and the results.
        vesmora_qt::open_study(QStringLiteral(VESMORA_BINARY_DIR "/samples/normal-64.dcm"));
        QCOMPARE(enabled(), QStringLiteral("00001"));
        vesmora_qt::reset();
    }

    // The Examen menu: both roles from one study, the comparison window shows the program's
    // pictures and texts, and the pair's report is written through the file dialog.
    void the_examen_menu_compares_and_exports_the_pair() {
        STARTUP();
        vesmora_qt::main_window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(vesmora_qt::main_window()));
        auto exam_item = [](const QString& text) -> QAction* {
            for (QAction* menu : vesmora_qt::main_window()->menuBar()->actions())
                if (menu->text().remove('&') == QStringLiteral("Examen"))
                    for (QAction* a : menu->menu()->actions())
                        if (a->text().remove('&') == text) return a;
            return nullptr;
        };
        QAction* stress = exam_item(QStringLiteral("D\u00E9finir comme effort"));
        QAction* rest = exam_item(QStringLiteral("D\u00E9finir comme repos"));
        QAction* compare = exam_item(QStringLiteral("Comparer effort / repos"));
        QAction* report = exam_item(QStringLiteral("Exporter le rapport effort / repos\u2026"));
        QVERIFY(stress && rest && compare && report);
        vesmora_qt::open_study(STUDY);
        click(ID_PLACE_MODEL);
        QVERIFY(!stress->isEnabled());
        click(ID_RESULTS);
        QVERIFY(stress->isEnabled() && !compare->isEnabled());
        stress->trigger();
        rest->trigger();
        QVERIFY(compare->isEnabled());
        compare->trigger();
        QDialog* window = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() &&
                                                     d->windowTitle() == QStringLiteral("Comparaison effort / repos"))
                window = d;
        QVERIFY(window);
        int pictures = 0;
        bool sums = false;
        for (QLabel* l : window->findChildren<QLabel*>()) {
            pictures += !l->pixmap().isNull();
            sums = sums || l->text().contains(QStringLiteral("SDS (diff\u00E9rence) :  0 / 68"));
        }
        QCOMPARE(pictures, 3);
        QVERIFY(sums);  // one study as both roles: nothing reversible
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("paire.pdf"));
        {
            Answer answer(pdf);
            report->trigger();
            QVERIFY2(answer.boxes.isEmpty(), qPrintable(answer.boxes.join('|')));
        }
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.read(5) == "%PDF-");
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("paire-difference.png"))));
        window->close();
        ROLES[ROLE_STRESS] = ROLES[ROLE_REST] = StudyRole{};
        vesmora_qt::reset();
    }

    // "Examen > Fonction (synchronisé)...": the cine shows the program's pictures, gate after
    // gate, at the speed of the spin box; the button pauses and plays it.
    void the_function_window_plays_the_program_s_cine() {
        STARTUP();
        vesmora_qt::main_window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(vesmora_qt::main_window()));
        QAction* item = nullptr;
        for (QAction* menu : vesmora_qt::main_window()->menuBar()->actions())
            if (menu->text().remove('&') == QStringLiteral("Examen"))
                for (QAction* a : menu->menu()->actions())
                    if (a->text().remove('&') == QStringLiteral("Fonction (synchronis\u00E9)\u2026")) item = a;
        QVERIFY(item);
        vesmora_qt::open_study(STUDY);
        click(ID_PLACE_MODEL);
        QVERIFY(!item->isEnabled());  // not gated
        // Eight gates of the study's own size, each brighter than the one before.
        GATES.count = 8, GATES.slices = 64, GATES.size = 64, GATES.is_unsigned = false;
        GATES.voxels.assign(std::size_t(8) * 64 * 64 * 64, 0);
        for (std::size_t n = 0; n < GATES.voxels.size(); n++)
            GATES.voxels[n] = static_cast<std::int16_t>((n / (64 * 64 * 64) + 1) * (n % 64 < 32 ? 100 : 10));
        click(ID_PLACE_MODEL);  // the menu is refreshed after a command
        QVERIFY(item->isEnabled());
        item->trigger();
        QDialog* window = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && d->windowTitle().startsWith("Fonction"))
                window = d;
        QVERIFY(window);
        auto* play = window->findChild<QPushButton*>("cine_play");
        auto* speed = window->findChild<QSpinBox*>("cine_speed");
        auto* gate = window->findChild<QLabel*>("cine_gate");
        auto* view = window->findChild<QLabel*>("cine_view2");
        QVERIFY(play && speed && gate && view);
        QCOMPARE(speed->value(), CINE_START_SPEED(8));
        QCOMPARE(play->text(), QStringLiteral("Pause"));
        // The short-axis picture shown is the program's, top line first, red green blue.
        const GateCine cine = MAKE_GATE_CINE(palet);
        const auto shows_gate = [&](int g) {
            const QImage shown = view->pixmap().toImage().convertToFormat(QImage::Format_RGB888);
            for (int y : {0, 100, 200, 255})
                for (int x : {0, 77, 128, 255}) {
                    const unsigned char* p = cine.picture(g, 2) + ((255 - y) * 256 + x) * 3;
                    if (shown.pixelColor(x, y) != QColor(p[2], p[1], p[0])) return false;
                }
            return true;
        };
        const int first = gate->text().section(' ', 1, 1).toInt();
        QCOMPARE(first, 1);
        QVERIFY(shows_gate(0));
        QTRY_VERIFY_WITH_TIMEOUT(gate->text().section(' ', 1, 1).toInt() != first, 2000);
        QTest::mouseClick(play, Qt::LeftButton);
        QCOMPARE(play->text(), QStringLiteral("Lecture"));
        const QString paused = gate->text();
        QVERIFY(shows_gate(paused.section(' ', 1, 1).toInt() - 1));
        QTest::qWait(400);
        QCOMPARE(gate->text(), paused);
        speed->setValue(30);
        QTest::mouseClick(play, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(gate->text() != paused, 1000);
        window->close();
        GATES.clear();
        vesmora_qt::reset();
    }
};

QTEST_MAIN(QtExports)
#include "test_qt_exports.moc"

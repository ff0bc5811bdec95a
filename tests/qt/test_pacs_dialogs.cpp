// The archive's dialogs of the desktop program, driven through the "Fichier" menu (QtTest,
// offscreen). Needs a running archive: tests/scripts/test_pacs.py starts Orthanc, saves the
// settings under XDG_CONFIG_HOME and runs this program with VESMORA_PACS_PATIENT, the name of a
// patient it stored. The dialogs are modal, so the steps run from a timer while they are open.
#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <vector>

#include "layout.h"
#include "main.h"
#include "qt_backend.h"

namespace {

QAction* menu_item(const QString& text) {
    for (QAction* menu : vesmora_qt::main_window()->menuBar()->actions())
        if (menu->menu())
            for (QAction* a : menu->menu()->actions())
                if (a->text() == text) return a;
    return nullptr;
}

QPushButton* button(QWidget* w, const QString& text) {
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

QString status(QWidget* w) {
    auto* label = w->findChild<QLabel*>(QStringLiteral("status"));
    return label ? label->text() : QString();
}

// Runs the steps in turn while a modal dialog is open: each is polled every 20 ms until it returns
// true; what went wrong is kept (a failed step would otherwise leave the dialog open forever).
class Steps {
public:
    using Step = std::function<bool(QDialog*)>;
    explicit Steps(std::vector<Step> steps) : steps_(std::move(steps)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(20);
        clock_.start();
    }
    QString failure;
    bool finished() const { return next_ == steps_.size(); }

private:
    void poll() {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (next_ == steps_.size() || d == nullptr) return;
        if (qobject_cast<QMessageBox*>(d)) {  // a box: keep its text, close it and its dialog
            failure = "box: " + static_cast<QMessageBox*>(d)->text();
            d->accept();
            return;
        }
        if (clock_.elapsed() > 30000) {
            failure = QStringLiteral("step %1 still waiting; status: %2").arg(next_).arg(status(d));
            next_ = steps_.size();
            d->reject();
            return;
        }
        if (steps_[next_](d)) next_++;
    }
    std::vector<Step> steps_;
    size_t next_ = 0;
    QTimer timer_;
    QElapsedTimer clock_;
};

}  // namespace

class PacsDialogs : public QObject {
    Q_OBJECT

private slots:
    void init() {
        STARTUP();
        vesmora_qt::main_window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(vesmora_qt::main_window()));
    }
    void cleanup() { vesmora_qt::reset(); }

    void settings_dialog_tests_without_saving() {
        const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/vesmora/pacs.json");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray saved = f.readAll();
        f.close();
        QString answered, refused;
        Steps steps({[](QDialog* d) {
                         button(d, QStringLiteral("Tester"))->click();
                         return true;
                     },
                     [&](QDialog* d) {
                         answered = status(d);
                         return answered.startsWith(QStringLiteral("L'archive"));
                     },
                     [](QDialog* d) {
                         d->findChild<QLineEdit*>(QStringLiteral("peer_aet"))->setText(QStringLiteral("NOT_THERE"));
                         button(d, QStringLiteral("Tester"))->click();
                         return true;
                     },
                     [&](QDialog* d) {
                         refused = status(d);
                         if (!refused.startsWith(QStringLiteral("Association"))) return false;
                         d->reject();  // "Annuler": nothing saved
                         return true;
                     }});
        menu_item(QStringLiteral("&Archive (PACS)\u2026"))->trigger();
        QVERIFY2(steps.finished() && steps.failure.isEmpty(), qPrintable(steps.failure));
        QCOMPARE(answered, QStringLiteral("L'archive r\u00E9pond (C-ECHO)."));
        QVERIFY2(refused.contains(QStringLiteral("\u00AB NOT_THERE \u00BB")), qPrintable(refused));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), saved);
    }

    void open_from_the_archive_opens_the_series_as_ouvrir_does() {
        QStringList row;
        Steps steps({[](QDialog* d) {
                         d->findChild<QLineEdit*>(QStringLiteral("patient"))
                             ->setText(qEnvironmentVariable("VESMORA_PACS_PATIENT"));
                         button(d, QStringLiteral("Rechercher"))->click();
                         return true;
                     },
                     [&](QDialog* d) {
                         auto* table = d->findChild<QTableWidget*>(QStringLiteral("series"));
                         if (table->rowCount() != 1) return false;
                         for (int c = 0; c < table->columnCount(); c++) row << table->item(0, c)->text();
                         table->selectRow(0);
                         button(d, QStringLiteral("Ouvrir"))->click();
                         return true;
                     }});
        menu_item(QStringLiteral("Ouvrir depuis le &PACS\u2026"))->trigger();
        QVERIFY2(steps.finished() && steps.failure.isEmpty(), qPrintable(steps.failure));
        QCOMPARE(row.size(), 5);
        QVERIFY2(row[4] == QStringLiteral("non") || row[4] == QStringLiteral("?"), qPrintable(row.join('|')));
        QVERIFY2(row[0].startsWith(qEnvironmentVariable("VESMORA_PACS_PATIENT")), qPrintable(row.join('|')));
        // Opened by the program's own "Ouvrir": the volume is loaded and the caption names the retrieved file.
        QCOMPARE(load_ok, 1);
        const QString caption = vesmora_qt::main_window()->windowTitle();
        QVERIFY2(caption.contains(QStringLiteral("/vesmora-pacs-")) && caption.endsWith(QStringLiteral(".dcm ]")),
                 qPrintable(caption));
    }

    // Run alone by the script, with VESMORA_PACS_SEND_STUDY naming a study: its results go to the archive,
    // which the script then reads back.
    void send_results_to_the_archive() {
        const QString study = qEnvironmentVariable("VESMORA_PACS_SEND_STUDY");
        if (study.isEmpty()) QSKIP("VESMORA_PACS_SEND_STUDY not set");
        QAction* send = menu_item(QStringLiteral("En&voyer les r\u00E9sultats au PACS"));
        QVERIFY(send);
        vesmora_qt::open_study(study);
        QTest::mouseClick(vesmora_qt::control(WINDOW, ID_PLACE_MODEL), Qt::LeftButton);  // "Centrer volume"
        QVERIFY(!send->isEnabled());
        QTest::mouseClick(vesmora_qt::control(WINDOW, ID_RESULTS), Qt::LeftButton);
        QVERIFY(send->isEnabled());
        QString said;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                said = box->text();
                box->accept();
            }
        });
        poll.start(20);
        send->trigger();
        QVERIFY2(said.startsWith(QStringLiteral("R\u00E9sultats envoy\u00E9s \u00E0 l'archive")), qPrintable(said));
    }
};

QTEST_MAIN(PacsDialogs)
#include "test_pacs_dialogs.moc"

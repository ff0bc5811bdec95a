// The desktop program's application object, its guide, its window on a small screen and the
// archive's settings dialog (QtTest, offscreen): a fault inside an event handler ends that action
// with a box, not the program; Qt's own texts are French; the guide opens without a desktop viewer;
// the client area scrolls when the screen is small; the dialog refuses what the settings' check
// refuses and writes nothing then.
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#ifdef VESMORA_HAVE_QTPDF
#include <QPdfDocument>
#endif
#include <functional>
#include <stdexcept>

#include "desktop.h"
#include "guide.h"
#include "layout.h"
#include "main.h"
#include "qt_backend.h"
#include "pacs_dialogs.h"

namespace {

// Calls act with each modal window that opens (every 10 ms) until it returns true.
class WhenModal {
public:
    explicit WhenModal(std::function<bool(QWidget*)> act) : act_(std::move(act)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!done && w != nullptr && w->isVisible()) done = act_(w);
        });
        timer_.start(10);
    }
    bool done = false;

private:
    std::function<bool(QWidget*)> act_;
    QTimer timer_;
};

}  // namespace

class Desktop : public QObject {
    Q_OBJECT

private slots:
    void a_fault_in_a_handler_shows_a_box_and_the_program_goes_on() {
        auto* app = static_cast<vesmora_qt::SafeApplication*>(qApp);
        QString text;
        WhenModal close_box([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box == nullptr) return false;
            text = box->text();
            box->accept();
            return true;
        });
        QTimer::singleShot(0, [] { throw std::runtime_error("panne simul\xC3\xA9" "e"); });
        QTRY_VERIFY(close_box.done);
        QCOMPARE(app->caught(), 1);
        QVERIFY2(text.contains(QStringLiteral("\u2014 d\u00E9tail : panne simul\u00E9" "e")), qPrintable(text));
        bool later = false;  // the loop still runs the next event
        QTimer::singleShot(0, [&] { later = true; });
        QTRY_VERIFY(later);
    }

    void qt_speaks_french() {
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("&Oui"));
    }

    void the_guide_opens_without_a_desktop_viewer() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Aide.pdf"));
        {
            QPdfWriter pdf(path);
            QPainter p(&pdf);
            p.drawText(100, 100, QStringLiteral("Guide"));
        }
        vesmora_qt::show_guide(dir.filePath(QStringLiteral("absent.pdf")), false);  // missing: nothing
        QVERIFY(vesmora_qt::guide_viewer() == nullptr);
#ifdef VESMORA_HAVE_QTPDF
        vesmora_qt::show_guide(path, false);
        QWidget* viewer = vesmora_qt::guide_viewer();
        QVERIFY(viewer != nullptr && viewer->isVisible());
        QCOMPARE(viewer->findChild<QPdfDocument*>()->pageCount(), 1);
        vesmora_qt::show_guide(path, false);  // "Aide" again: the same window
        QCOMPARE(vesmora_qt::guide_viewer(), viewer);
        viewer->close();
        QTRY_VERIFY(vesmora_qt::guide_viewer() == nullptr);
#else
        QString text;
        WhenModal close_box([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box == nullptr) return false;
            text = box->text();
            box->accept();
            return true;
        });
        vesmora_qt::show_guide(path, false);
        QVERIFY(text.contains(QStringLiteral("Aucun lecteur de PDF")) && text.contains(path));
#endif
    }

    // Run on a large screen (no scroll area) and on a 1366 x 768 one (VESMORA_SMALL_SCREEN).
    void small_screen_scrolls_the_client_area() {
        STARTUP();
        QMainWindow* mw = vesmora_qt::main_window();
        mw->show();
        QVERIFY(QTest::qWaitForWindowExposed(mw));
        QWidget* client = vesmora_qt::client_area();
        QCOMPARE(client->size(), QSize(CLIENT_WIDTH, CLIENT_HEIGHT));
        auto* scroll = mw->findChild<QScrollArea*>(QStringLiteral("client_scroll"));
        if (!qEnvironmentVariableIsSet("VESMORA_SMALL_SCREEN")) {
            QVERIFY(scroll == nullptr);
            QCOMPARE(mw->size(), QSize(CLIENT_WIDTH, CLIENT_HEIGHT + mw->menuBar()->sizeHint().height()));
            vesmora_qt::reset();
            return;
        }
        QVERIFY(scroll != nullptr);
        QVERIFY(mw->frameGeometry().height() <= 768);
        // The lowest right client pixel, scrolled into view: a press there is that client pixel.
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        std::vector<std::intptr_t> points;
        vesmora_qt::set_message_observer([&](HWND_ w, unsigned msg, std::uintptr_t, std::intptr_t lp) {
            if (w == WINDOW && msg == VM_LBUTTONDOWN) points.push_back(lp);
        });
        QTest::mouseClick(client, Qt::LeftButton, {}, QPoint(838, 749));
        vesmora_qt::set_message_observer({});
        QCOMPARE(points, (std::vector<std::intptr_t>{static_cast<std::intptr_t>(MAKE_PARAM(838, 749))}));
        // The window's place as the program sees it follows the scrolled client area (the pop-ups with it).
        PlatRect r;
        plat_get_window_rect(WINDOW, &r);
        QCOMPARE(QPoint(r.left + FRAME_LEFT, r.top + FRAME_TOP), client->mapToGlobal(QPoint(0, 0)));
        vesmora_qt::reset();
    }

    void the_settings_dialog_refuses_an_accented_host_and_writes_nothing() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        QString status;
        bool still_open = false;
        WhenModal fill([&](QWidget* w) {
            auto* d = qobject_cast<QDialog*>(w);
            if (d == nullptr) return false;
            d->findChild<QLineEdit*>(QStringLiteral("peer_aet"))->setText(QStringLiteral("ORTHANC"));
            d->findChild<QLineEdit*>(QStringLiteral("host"))->setText(QStringLiteral("h\u00F4pital.local"));
            d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();  // "Enregistrer"
            status = d->findChild<QLabel*>(QStringLiteral("status"))->text();
            still_open = d->isVisible();
            d->reject();
            return true;
        });
        vesmora_qt::show_pacs_settings(nullptr);
        QVERIFY(fill.done);
        QVERIFY(still_open);
        QVERIFY2(status.contains(QStringLiteral("l'h\u00F4te \u00AB h\u00F4pital.local \u00BB")), qPrintable(status));
        QVERIFY(!QFile::exists(config.path() + QStringLiteral("/vesmora/pacs.json")));
        qunsetenv("XDG_CONFIG_HOME");
    }
};

int main(int argc, char** argv) {
    vesmora_qt::SafeApplication app(argc, argv);
    if (!vesmora_qt::install_french_translations(app)) qWarning("qtbase_fr missing");
    Desktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_desktop.moc"

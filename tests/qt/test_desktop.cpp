// The desktop program's application object and the archive's settings dialog (QtTest, offscreen):
// a fault inside an event handler ends that action with a box, not the program; Qt's own texts are
// French; the dialog refuses what the settings' check refuses and writes nothing then.
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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

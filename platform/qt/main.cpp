// vesmora: the desktop program. Runs the program's start-up, opens the study named
// on the command line as "Ouvrir" would, and runs the event loop until the program
// ends itself; the exit status is its quit code.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include "desktop.h"
#include "layout.h"
#include "main.h"
#include "qt_backend.h"
#include "volume_pages.h"
#include "version.h"

int main(int argc, char** argv) {
    VOLUME_PAGES_START();  // the volume's pages while Qt starts, before the first "Ouvrir"
    // The pop-ups and the wheel work in screen pixels, which a Wayland session does not
    // give to a program: there it runs through XWayland unless told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    // Whole device pixel ratios only (1.5 becomes 2): every picture pixel is then a whole
    // block of screen pixels, without smoothing.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    vesmora_qt::SafeApplication app(argc, argv);
    vesmora_qt::install_french_translations(app);  // without Qt's French files, its dialogs stay in English
    QApplication::setApplicationName(QStringLiteral("Vesmora"));
    QApplication::setApplicationVersion(QStringLiteral(VESMORA_VERSION));

    QCommandLineParser args;
    args.setApplicationDescription(QStringLiteral("Analyse de la fixation myocardique en SPECT cardiaque."));
    args.addHelpOption();
    args.addVersionOption();
    args.addPositionalArgument(QStringLiteral("FICHIER"), QStringLiteral("\u00C9tude DICOM (.dcm) \u00E0 ouvrir."),
                               QStringLiteral("[FICHIER]"));
    const QCommandLineOption automatic(QStringLiteral("auto"),
                                       QStringLiteral("Place le mod\u00E8le automatiquement apr\u00E8s l'ouverture."));
    args.addOption(automatic);
    args.process(app);
    // The window icon lies in the program's folder, with PALETS and Aide.pdf.
    const QString icon = QCoreApplication::applicationDirPath() + QStringLiteral("/vesmora.png");
    if (QFileInfo::exists(icon)) QApplication::setWindowIcon(QIcon(icon));

    vesmora_qt::use_native_settings();
    STARTUP();
    const QStringList files = args.positionalArguments();
    if (!files.isEmpty()) {
        const QString file = files.first();
        // Once the window is up: the open may show boxes over it.
        const bool place = args.isSet(automatic);
        QTimer::singleShot(0, &app, [file, place] {
            vesmora_qt::open_study(file);
            if (place) plat_send_message(WINDOW, VM_COMMAND, ID_AUTO_PLACE, 0);  // "Placement automatique"
        });
    }
    const int status = vesmora_qt::run_event_loop();
    vesmora_qt::reset();  // the windows go while the application is still there
    return status;
}

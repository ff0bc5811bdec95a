// The desktop program's command hooks (see file_exports.h).
#include "file_exports.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QMainWindow>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <string>
#include <thread>

#include "commands.h"
#include "export_hooks.h"
#include "pacs_dialogs.h"
#include "qt_backend.h"
#ifdef VESMORA_HAVE_DICOM_IMPORT
#include "import.h"
#endif

#ifdef VESMORA_HAVE_DICOM_IMPORT
#include "import.h"
#endif
#ifdef VESMORA_HAVE_DICOM_EXPORT
#include "Output_Names.h"
#include "pacs.h"
#endif

namespace vesmora_qt {
namespace {

std::string local(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::string ask_path(AskKind kind, const char* title, const char* filter, const std::string& suggested) {
    QWidget* parent = main_window();
    const QString caption = text_from_program(title), start = QFile::decodeName(suggested.c_str());
    const QString at = start.isEmpty() ? QDir::homePath() : start;
    QString chosen;
    if (kind == ASK_FOLDER)
        chosen = QFileDialog::getExistingDirectory(parent, caption, at);
    else if (kind == ASK_SAVE_FILE)
        chosen = QFileDialog::getSaveFileName(parent, caption, at, text_from_program(filter));
    else
        chosen = QFileDialog::getOpenFileName(parent, caption, at, text_from_program(filter));
    return chosen.isEmpty() ? std::string() : local(chosen);
}

bool send_results(const std::string& stem, std::string& error) {
#ifdef VESMORA_HAVE_DICOM_EXPORT
    // The two objects go through a private folder, removed when the sending is over.
    QTemporaryDir tmp;
    if (!tmp.isValid()) {
        error = "Impossible de cr\xE9" "er un dossier temporaire pour les objets DICOM.";
        return false;
    }
    if (!write_dicom_objects(local(tmp.path()), stem, error)) return false;
    const QDir dir(tmp.path());
    const std::string sc = local(dir.filePath(QString::fromStdString(secondary_capture_name(stem))));
    const std::string sr = local(dir.filePath(QString::fromStdString(structured_report_name(stem))));
    // The association runs in a worker thread (its time-outs bound it); the window keeps drawing.
    QProgressDialog progress(QStringLiteral("Envoi des r\u00E9sultats \u00E0 l'archive\u2026"), QString(), 0, 0,
                             main_window());
    progress.setWindowTitle(QStringLiteral("Vesmora"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.show();
    std::atomic<bool> finished{false};
    bool sent = false;
    std::thread worker([&] {
        sent = pacs_send_files({sc, sr}, error);
        finished = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished) loop.quit();
    });
    poll.start(50);
    loop.exec();
    worker.join();
    progress.close();
    return sent;
#else
    (void)stem;
    error = "Cette version de Vesmora a \xE9t\xE9 construite sans l'export DICOM.";
    return false;
#endif
}

void open_from_pacs() { show_open_from_pacs(main_window()); }
void pacs_settings() { show_pacs_settings(main_window()); }

}  // namespace

void install_command_hooks() {
    register_export_hooks();
#ifdef VESMORA_HAVE_DICOM_IMPORT
    register_import_hooks();
    warm_import();  // while the window appears
#endif
    command_hooks.ask_path = ask_path;
    command_hooks.send_results = send_results;
    command_hooks.open_from_pacs = open_from_pacs;
    command_hooks.pacs_settings = pacs_settings;
    command_hooks.pacs_configured = pacs_configured;
}

}  // namespace vesmora_qt

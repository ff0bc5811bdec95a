// The "Fichier" menu's exports and model files (see file_exports.h).
#include "file_exports.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <thread>
#include <string>
#include <vector>

#include "main.h"
#include "qt_backend.h"
#include "report.h"
#include "write_whole.h"

#ifdef VESMORA_HAVE_DICOM_EXPORT
#include "dicom_export.h"
#include "pacs.h"
#endif
#include "Model_Place.h"
#include "model_file.h"

namespace vesmora_qt {
namespace {

QString study_path() { return QFile::decodeName(DCM_PATH); }

// The study's name without its extension ("lad-128"), the stem of every file written.
QString study_stem() {
    const QString base = QFileInfo(study_path()).completeBaseName();
    return base.isEmpty() ? QStringLiteral("vesmora") : base;
}

QString study_folder() {
    const QString p = study_path();
    return p.isEmpty() ? QDir::homePath() : QFileInfo(p).absolutePath();
}

void warn(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Vesmora"), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

// An error text of the program's libraries (Latin-1, a path in its own bytes).
void warn_program(QWidget* parent, const std::string& error) { warn(parent, text_from_program(error.c_str())); }

std::string local(const QString& path) { return QFile::encodeName(path).toStdString(); }

ReportInfo report_info() {
    return ReportInfo{DCM_PATH, file_sha256(DCM_PATH),
                      QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")).toStdString()};
}

#ifdef VESMORA_HAVE_DICOM_EXPORT
// The report's Secondary Capture and the SR of the study on screen, written to sc and sr;
// false with error (Latin-1) when they cannot be.
bool write_dicom_objects(const std::string& sc, const std::string& sr, std::string& error) {
    int w = 0, h = 0;
    const std::vector<unsigned char> page = report_page_rgb(report_info(), w, h);
    if (page.empty()) {
        error = "Aucun r\xE9sultat \xE0 exporter : lancez d'abord \xAB R\xE9sultats \xBB.";
        return false;
    }
    return write_secondary_capture(DCM_PATH, page.data(), w, h, sc, error) &&
           write_structured_report(DCM_PATH, sr, error);
}
#endif

}  // namespace

bool export_report_pdf(QWidget* parent) {
    const QString path = QFileDialog::getSaveFileName(
        parent, QStringLiteral("Exporter le rapport PDF"),
        QDir(study_folder()).filePath(study_stem() + QStringLiteral("-rapport.pdf")),
        QStringLiteral("Rapport PDF (*.pdf)"));
    if (path.isEmpty()) return false;
    std::string error;
    if (!write_report_pdf(local(path), report_info(), error)) {
        warn_program(parent, error);
        return false;
    }
    return true;
}

bool save_pictures_png(QWidget* parent) {
    const QString folder = QFileDialog::getExistingDirectory(
        parent, QStringLiteral("Enregistrer les images (PNG) dans le dossier"), study_folder());
    if (folder.isEmpty()) return false;
    std::string error;
    if (!write_pictures_png(local(folder), local(study_stem()), error)) {
        warn_program(parent, error);
        return false;
    }
    return true;
}

bool export_dicom(QWidget* parent) {
#ifdef VESMORA_HAVE_DICOM_EXPORT
    const QString folder = QFileDialog::getExistingDirectory(
        parent, QStringLiteral("Exporter en DICOM dans le dossier"), study_folder());
    if (folder.isEmpty()) return false;
    const QDir dir(folder);
    const std::string sc = local(dir.filePath(study_stem() + QStringLiteral("-rapport-sc.dcm")));
    const std::string sr = local(dir.filePath(study_stem() + QStringLiteral("-rapport-sr.dcm")));
    // Both written whole, one inside the other: earlier ones are replaced only once both are written.
    std::string error, objects_error;
    const bool ok = write_whole(
        sc,
        [&](const std::string& sc_tmp, std::string& why) {
            return write_whole(
                sr,
                [&](const std::string& sr_tmp, std::string&) {
                    if (write_dicom_objects(sc_tmp, sr_tmp, objects_error)) return true;
                    for (const auto& [from, to] : {std::pair{sc_tmp, sc}, std::pair{sr_tmp, sr}})  // name the real files
                        for (std::size_t at; (at = objects_error.find(from)) != std::string::npos;)
                            objects_error.replace(at, from.size(), to);
                    return false;
                },
                why);
        },
        error);
    if (!ok) warn_program(parent, objects_error.empty() ? error : objects_error);
    return ok;
#else
    warn(parent, QStringLiteral("Cette version de Vesmora a \u00E9t\u00E9 construite sans l'export DICOM."));
    return false;
#endif
}

bool send_results_to_pacs(QWidget* parent) {
#ifdef VESMORA_HAVE_DICOM_EXPORT
    // The two objects go through a private folder, removed when the sending is over.
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const std::string sc = local(dir.filePath(study_stem() + QStringLiteral("-rapport-sc.dcm")));
    const std::string sr = local(dir.filePath(study_stem() + QStringLiteral("-rapport-sr.dcm")));
    std::string error;
    bool ok = tmp.isValid();
    if (!ok) error = "Impossible de cr\xE9" "er un dossier temporaire pour les objets DICOM.";
    ok = ok && write_dicom_objects(sc, sr, error);
    if (!ok) {
        warn_program(parent, error);
        return false;
    }
    // The association runs in a worker thread (its time-outs bound it); the window keeps drawing.
    QProgressDialog progress(QStringLiteral("Envoi des r\u00E9sultats \u00E0 l'archive\u2026"), QString(), 0, 0,
                             parent);
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
    if (!sent) {
        warn_program(parent, error);
        return false;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Vesmora"),
                    QStringLiteral("R\u00E9sultats envoy\u00E9s \u00E0 l'archive : le rapport (capture secondaire) et "
                                   "le compte rendu structur\u00E9 (SR) de l'\u00E9tude."),
                    QMessageBox::Ok, parent);
    box.exec();
    return true;
#else
    warn(parent, QStringLiteral("Cette version de Vesmora a \u00E9t\u00E9 construite sans l'export DICOM."));
    return false;
#endif
}

bool save_model(QWidget* parent) {
    const QString path = QFileDialog::getSaveFileName(
        parent, QStringLiteral("Enregistrer le mod\u00E8le"),
        QDir(study_folder()).filePath(study_stem() + QStringLiteral("-modele.json")),
        QStringLiteral("Mod\u00E8le (*.json)"));
    if (path.isEmpty()) return false;
    ModelValues v{};
    MODEL_CURRENT(v);
    std::string error;
    if (!write_model_file(local(path), v, error)) {
        warn_program(parent, error);
        return false;
    }
    return true;
}

bool load_model(QWidget* parent) {
    const QString path = QFileDialog::getOpenFileName(parent, QStringLiteral("Charger un mod\u00E8le"), study_folder(),
                                                      QStringLiteral("Mod\u00E8le (*.json)"));
    if (path.isEmpty()) return false;
    ModelValues v{};
    std::string error;
    if (!read_model_file(local(path), v, error)) {
        warn_program(parent, error);
        return false;
    }
    char why[256] = {};
    if (PLACE_MODEL(v, why, sizeof why) != 1) {
        warn(parent, QStringLiteral("Ce mod\u00E8le ne peut pas \u00EAtre plac\u00E9 : ") + text_from_program(why));
        return false;
    }
    return true;
}

}  // namespace vesmora_qt

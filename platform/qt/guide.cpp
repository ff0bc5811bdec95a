// The user's guide (see guide.h).
#include "guide.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "qt_backend.h"

#ifdef VESMORA_HAVE_QTPDF
#include <QPdfDocument>
#include <QPdfPageNavigator>
#include <QPdfView>
#include <QVBoxLayout>
#endif

namespace vesmora_qt {
namespace {

QPointer<QWidget> viewer;

// Whether the desktop has a program for PDF files: xdg-open starts nothing, and says nothing,
// when none is registered.
bool desktop_has_pdf_viewer() {
#ifdef Q_OS_WIN
    return true;
#else
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (mime.isEmpty()) return false;
    QProcess query;
    query.start(mime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/pdf")});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
#endif
}

#ifdef VESMORA_HAVE_QTPDF
// A window of its own beside the program (not modal): the guide, one page under the other.
void open_viewer(const QString& path) {
    if (viewer) {
        viewer->raise();
        viewer->activateWindow();
        return;
    }
    auto* window = new QWidget(main_window(), Qt::Window);  // its own window, gone with the program's
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(QStringLiteral("guide"));
    window->setWindowTitle(QStringLiteral("Vesmora \u2014 Aide"));
    auto* document = new QPdfDocument(window);
    auto* view = new QPdfView(window);
    view->setPageMode(QPdfView::PageMode::MultiPage);
    view->setZoomMode(QPdfView::ZoomMode::FitToWidth);
    view->setDocument(document);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    if (document->load(path) != QPdfDocument::Error::None) {
        delete window;
        QMessageBox::warning(main_window(), QStringLiteral("Vesmora"),
                             QStringLiteral("Le guide ne peut pas \u00EAtre lu :\n%1").arg(path));
        return;
    }
    window->resize(820, 900);
    window->show();
    viewer = window;
}
#endif

}  // namespace

QWidget* guide_viewer() { return viewer; }

void show_guide(const QString& path, bool try_desktop) {
    if (!QFileInfo::exists(path)) return;  // a missing guide shows nothing
    if (try_desktop && desktop_has_pdf_viewer() && QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return;
#ifdef VESMORA_HAVE_QTPDF
    open_viewer(path);
#else
    QMessageBox box(QMessageBox::Information, QStringLiteral("Vesmora"),
                    QStringLiteral("Aucun lecteur de PDF n'a \u00E9t\u00E9 trouv\u00E9 pour ouvrir le guide.\n\n"
                                   "Le guide est ici :\n%1")
                        .arg(path),
                    QMessageBox::Ok, main_window());
    box.setObjectName(QStringLiteral("guide"));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);  // the path can be copied
    box.exec();
#endif
}

}  // namespace vesmora_qt

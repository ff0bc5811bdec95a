// The desktop program's application object (see desktop.h).
#include "desktop.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <exception>

namespace vesmora_qt {

SafeApplication::SafeApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool SafeApplication::notify(QObject* receiver, QEvent* event) {
    QString what;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        what = QString::fromLocal8Bit(e.what());
    } catch (...) {
        what = QStringLiteral("erreur inconnue");
    }
    caught_++;
    if (!in_box_) {  // one box at a time: a fault while it is shown is counted, not stacked
        in_box_ = true;
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Vesmora"),
                        QStringLiteral("Cette action a \u00E9chou\u00E9 et a \u00E9t\u00E9 interrompue ; le programme "
                                       "continue. \u2014 d\u00E9tail : %1")
                            .arg(what),
                        QMessageBox::Ok, activeWindow());
        box.setTextFormat(Qt::PlainText);
        box.exec();
        in_box_ = false;
    }
    return false;
}

bool install_french_translations(QApplication& app) {
    auto* qt = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!qt->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
        delete qt;
        return false;
    }
    QApplication::installTranslator(qt);
    return true;
}

}  // namespace vesmora_qt

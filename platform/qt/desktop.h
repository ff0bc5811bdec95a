// The desktop program's application object and what it installs before the window opens:
// no exception leaves an event handler, and Qt's own dialogs speak French.
#ifndef VESMORA_QT_DESKTOP_H
#define VESMORA_QT_DESKTOP_H

#include <QApplication>
#include <QString>

namespace vesmora_qt {

// An exception that reaches the event loop (from a slot, a timer, a dialog's button) ends that
// one action: a box says what failed and the program goes on, its state as the action left it.
class SafeApplication : public QApplication {
public:
    SafeApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    // How many exceptions were caught so far (tests).
    int caught() const { return caught_; }

private:
    int caught_ = 0;
    bool in_box_ = false;
};

// Qt's translations into French (file dialogs, "Oui"/"Non", the "replace?" question), whatever
// the system's language: false when Debian's qt6-translations-l10n is missing.
bool install_french_translations(QApplication& app);

}  // namespace vesmora_qt

#endif

// The user's guide (Aide.pdf) for "Aide" / F1: in the desktop's PDF viewer when one is registered,
// else in the program's own viewer (when built with Qt PDF), else a box that gives its path.
#ifndef VESMORA_QT_GUIDE_H
#define VESMORA_QT_GUIDE_H

#include <QString>

class QWidget;

namespace vesmora_qt {

// A missing file shows nothing. try_desktop false: straight to the program's own means (tests).
void show_guide(const QString& path, bool try_desktop = true);
// The program's own viewer, null when this build has none or it is not open.
QWidget* guide_viewer();

}  // namespace vesmora_qt

#endif

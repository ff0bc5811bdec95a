// The archive (PACS) in the desktop program: "Fichier" -> "Archive (PACS)..." (settings, "Tester"
// sends C-ECHO) and "Ouvrir depuis le PACS..." (search, then a cancellable retrieval into a temporary
// folder, then the file opens as "Ouvrir" opens it). The network work runs in a worker thread.
#ifndef VESMORA_QT_PACS_DIALOGS_H
#define VESMORA_QT_PACS_DIALOGS_H

class QMenu;
class QWidget;

namespace vesmora_qt {

// Adds the two items to the "Fichier" menu; the dialogs are owned by parent.
void add_pacs_actions(QMenu* file, QWidget* parent);

// The dialogs themselves (the tests open them directly).
void show_pacs_settings(QWidget* parent);
void show_open_from_pacs(QWidget* parent);

}  // namespace vesmora_qt

#endif

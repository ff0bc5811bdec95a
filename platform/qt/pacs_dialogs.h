// The archive (PACS) in the desktop program: "Fichier" -> "Archive (PACS)..." (settings, "Tester"
// sends C-ECHO) and "Ouvrir depuis le PACS..." (search, then a cancellable retrieval into a temporary
// folder, then the file opens as "Ouvrir" opens it). The network work runs in a worker thread.
#ifndef VESMORA_QT_PACS_DIALOGS_H
#define VESMORA_QT_PACS_DIALOGS_H

class QWidget;

namespace vesmora_qt {

// The dialogs of the two items (src/commands.h); the tests open them directly too.
void show_pacs_settings(QWidget* parent);
void show_open_from_pacs(QWidget* parent);
// True when the archive's settings are saved and valid.
bool pacs_configured();

}  // namespace vesmora_qt

#endif

// The desktop program's part of the "Fichier" commands (src/commands.h decides, checks and
// words them): the Qt dialogs that ask a path, the sending to the archive with its progress
// window, the archive's dialogs, and the exports' own code (report/export_hooks.h).
#ifndef VESMORA_QT_FILE_EXPORTS_H
#define VESMORA_QT_FILE_EXPORTS_H

namespace vesmora_qt {

// Registers the command hooks of the desktop program (once the main window exists).
void install_command_hooks();

}  // namespace vesmora_qt

#endif

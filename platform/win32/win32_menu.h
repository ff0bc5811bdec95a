// Which commands of the program's table (src/commands.h) the Windows program offers: every
// one whose needs it links. It links the model files (export/) but neither Qt nor DCMTK:
// the report, the pictures, the DICOM objects and the archive are missing there, and its
// back end's checklist says so. No Windows header here: the tests read it on Linux.
#ifndef VESMORA_WIN32_MENU_H
#define VESMORA_WIN32_MENU_H

#include "commands.h"

namespace win32 {

constexpr unsigned LINKED = NEEDS_MODEL_FILES;

inline bool offers(const Command& c) { return (c.needs & ~LINKED) == 0; }

// A menu label with its shortcut after a tab, as a Win32 menu shows it ("&Ouvrir...\tCtrl+O").
inline std::string menu_text(const Command& c) {
    const std::string keys = shortcut_text(c);
    return keys.empty() ? std::string(c.label) : std::string(c.label) + "\t" + keys;
}

}  // namespace win32

#endif

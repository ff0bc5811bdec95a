// vesmora_import: the study files a department has (other transfer syntaxes, compressed
// pixel data, gated reconstructions) made into the explicit VR little endian bytes the
// program's reader takes, in memory. The core knows it only through `open_hooks`.
#ifndef VESMORA_IMPORT_H
#define VESMORA_IMPORT_H

#include <string>
#include <vector>

#include "Dicom.h"

class DcmFileFormat;

// Sets open_hooks.prepare (and registers DCMTK's decoders, once).
void register_import_hooks();

// Has DCMTK's data dictionary (two text files, parsed) read now on a thread of its own, so that
// the first study opened does not wait for it. Once per process; the thread is joined before
// the process's end. For the desktop, whose open-file dialog hides it: where a study is opened
// right after the start, its reading would share the cores with that study's load.
void warm_import();

// 1 with `out.file` a memory stream holding the study in explicit VR little endian (gated
// frames summed; a CD's chosen series or a series stored one frame per file gathered first); 0 when the reader takes `path` as it is (explicit VR little endian and not
// gated, not DICOM, a transfer syntax no codec here decodes: the reader says so by name);
// -1 with a French `error` (Latin-1) naming the file and the reason.
int prepare_study(const char* path, PreparedStudy& out, std::string& error);

// Any transfer syntax DCMTK decodes here -> explicit VR little endian bytes of a whole file
// (preamble, meta information, data set ending with the pixel data). A gated file comes out
// as the sum of its gates, and the gates are left in GATES_PENDING. `note` gets what the log
// must say ("" when nothing). False with a French `error` when the pixels cannot be decoded.
bool to_reader_bytes(DcmFileFormat& file, std::vector<unsigned char>& out, std::string& note, std::string& error);

// True when the data set's frames run over time slots: Number of Time Slots (0054,0071)
// above 1 and the Frame Increment Pointer naming the Time Slot Vector (0054,0070).
class DcmItem;
bool is_gated(DcmItem& dataset, int* slots = nullptr);

#endif

// The DICOM import: what a study file becomes before the reader sees it (DCMTK).
#ifndef VESMORA_IMPORT_H
#define VESMORA_IMPORT_H

#include <string>
#include <vector>

#include "Dicom.h"

class DcmFileFormat;

// The core's open hook (Dicom.h): a CD's chosen series, or a series stored one frame per
// file, as the explicit VR little endian bytes of one multi-frame file in memory.
int prepare_study(const char* path, PreparedStudy& out, std::string& error);
// Sets open_hooks.prepare; the desktop program and vesmora-cli call it once at start.
void register_import_hooks();

// A dataset as the bytes of an explicit VR little endian file (preamble, meta header, dataset).
bool to_reader_bytes(DcmFileFormat& file, std::vector<unsigned char>& out, std::string& note, std::string& error);

#endif

// A series stored one frame per file, gathered into one multi-frame dataset (DCMTK).
#ifndef VESMORA_SERIES_H
#define VESMORA_SERIES_H

#include <memory>
#include <string>
#include <vector>

class DcmFileFormat;

// True with `merged` set when `path` is one frame of a series stored one frame per file
// (every file of its folder with its Series Instance UID): the whole series as one
// multi-frame dataset, frames in slice order. False with `error` empty when `path` is no
// such file (a multi-frame study, not DICOM, no series); false with a French error
// (Latin-1, naming the file and the reason) when the series is broken.
bool gather_series(const std::string& path, std::unique_ptr<DcmFileFormat>& merged, std::string& error);

// The same for the files of a series named one by one (a CD's directory), in any order.
bool gather_files(const std::vector<std::string>& files, std::unique_ptr<DcmFileFormat>& merged, std::string& error);

// The file name without its folder, for messages.
std::string file_name_of(const std::string& path);

#endif

// A CD's DICOMDIR: the series it lists, and the study the user opens from it (DCMTK).
#ifndef VESMORA_DICOMDIR_H
#define VESMORA_DICOMDIR_H

#include <memory>
#include <string>
#include <vector>

class DcmFileFormat;

// One series of the directory. Texts are Latin-1 as the directory gives them.
struct DirSeries {
    std::string patient, date, description, modality, series_uid;
    std::vector<std::string> files;    // its image files that are there, full paths, in the directory's order
    std::vector<std::string> missing;  // the files it names that are not there, as the directory names them
    long frames = 0;                   // images of all its files
    bool gated = false;                // a gated reconstruction (time slots)
};

// True when `path` is a DICOMDIR (its Media Storage SOP Class, else its name).
bool is_dicomdir(const std::string& path);
// True when the file is named DICOMDIR (any case), as a CD's directory is.
bool named_dicomdir(const std::string& path);

// The series listed, in the directory's order; empty with a French error (Latin-1, naming the
// directory) when it cannot be read or names a file outside its folder.
std::vector<DirSeries> dicomdir_series(const std::string& path, std::string& error);

// The series of a directory that the program opens (nuclear medicine), in its order.
std::vector<DirSeries> dicomdir_nm_series(const std::string& path, std::string& error);

// One line of the chooser: patient, date, description, images, gated or not.
std::string series_line(const DirSeries& s);

// What the series of a study file and a CD become before the reader sees them: 1 with `study`
// set (a DICOMDIR's chosen series, or one frame of a series stored one frame per file, gathered);
// 0 when `path` is neither; -1 refused, with `error` (empty when the user cancelled the chooser).
int gather_study(const char* path, std::unique_ptr<DcmFileFormat>& study, std::string& error);

#endif

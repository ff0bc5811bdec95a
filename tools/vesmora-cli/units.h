// The sizes the program read from a DICOM header, each with its unit.
#ifndef VESMORA_CLI_UNITS_H
#define VESMORA_CLI_UNITS_H

#include <string>

// Prints the frame count, the rows and columns in pixels, the pixel spacing and slice
// thickness in mm as the file at `path` gives them, and the program's voxel values
// (VOXEL_SIZE_XY, VOXEL_SIZE_Z), which are in cm.
void print_sizes(const std::string& path);

// The text of the first DS element with this tag in the file's bytes (blanks and zeros at
// its end dropped), found as the program finds its elements: by the tag's bytes. "" if none.
std::string ds_text(const std::string& bytes, unsigned group, unsigned element);

#endif

// Text helpers of the exports: the program's Latin-1 texts into UTF-8, and a
// single-precision value as the shortest number that reads back to it.
#ifndef VESMORA_EXPORT_TEXT_H
#define VESMORA_EXPORT_TEXT_H

#include <string>

#include "latin1.h"

// The Latin-1 text with the trailing blanks of a DICOM value dropped, in UTF-8.
std::string field_utf8(const char* latin1);

// The double nearest to the shortest decimal that reads back as f (57.6f gives 57.6, not
// 57.599998474121094), so a JSON writer that prints doubles shortest-first prints "57.6"
// and any reader gets f again when it rounds to single precision.
double float_for_json(float f);

#endif

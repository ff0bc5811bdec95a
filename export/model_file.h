// Model files: a placed ventricle model as JSON,
//   {"outer": {"centre": [i, j, k], "semi_axes": [ri, rj, rk]},
//    "inner": {"centre": [i, j, k], "semi_axes": [ri, rj, rk]},
//    "base_plane": i, "apex": i}
// with "apex" optional (absent or null: the apex the model derives). Other keys are
// ignored, so the "model" object of a study record reads as a model file too.
#ifndef VESMORA_EXPORT_MODEL_FILE_H
#define VESMORA_EXPORT_MODEL_FILE_H

#include <string>

#include <nlohmann/json.hpp>

#include "Model_Place.h"

// Reads and checks a model file: every value present, of its type, and within the limits
// the program keeps the model in (MODEL_CHECK). On failure v is left as it was and `error`
// (French, Latin-1 as the program's texts) names the file and the field.
bool read_model_file(const std::string& path, ModelValues& v, std::string& error);
// The same for the file's text; `error` then names the field only.
bool parse_model_text(const std::string& text, ModelValues& v, std::string& error);

// Writes v as a model file (through a temporary file beside it, renamed into place).
bool write_model_file(const std::string& path, const ModelValues& v, std::string& error);

// v in the model file's form, keys in the order above; "apex" only when has_apex.
nlohmann::ordered_json model_json(const ModelValues& v);

#endif

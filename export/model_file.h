// Model files: a placed ventricle model as JSON,
//   {"outer": {"centre": [i, j, k], "semi_axes": [ri, rj, rk]},
//    "inner": {"centre": [i, j, k], "semi_axes": [ri, rj, rk]},
//    "base_plane": i, "apex": i, "patient_id": "...", "study_uid": "..."}
// with "apex" optional (absent or null: the apex the model derives) and the study the
// model was made on optional (files written before they were recorded lack them). Other
// keys are ignored, so the "model" object of a study record reads as a model file too.
#ifndef VESMORA_EXPORT_MODEL_FILE_H
#define VESMORA_EXPORT_MODEL_FILE_H

#include <string>

#include <nlohmann/json.hpp>

#include "Model_Place.h"

// The study a model was made on, or the study on screen: its Patient ID and Study Instance
// UID, Latin-1 as the program holds them; empty when unknown.
struct ModelIdentity {
    std::string patient_id, study_uid;
};

// The study loaded now (PAT_ID, STUDY_UID).
ModelIdentity current_model_identity();

// "" when a model made on `made_on` may be placed on the study `study` without asking;
// else the reason, in French (Latin-1), naming both studies' IDs. A model is another
// patient's when both Patient IDs are known and differ, or, when a Patient ID is missing on
// either side, when both Study Instance UIDs are known and differ. A file that records
// neither (written before they were recorded) is never refused.
std::string model_identity_mismatch(const ModelIdentity& made_on, const ModelIdentity& study);

// Reads a model file as below and says in `other_study` whether it was made on another
// study than the one loaded (model_identity_mismatch against current_model_identity()).
bool read_model_file_for_study(const std::string& path, ModelValues& v, std::string& other_study, std::string& error);

// Reads and checks a model file: every value present, of its type, and within the limits
// the program keeps the model in (MODEL_CHECK). On failure v is left as it was and `error`
// (French, Latin-1 as the program's texts) names the file and the field.
// `made_on` gets the study the file says it was made on (empty fields when it does not).
bool read_model_file(const std::string& path, ModelValues& v, ModelIdentity& made_on, std::string& error);
bool read_model_file(const std::string& path, ModelValues& v, std::string& error);
// The same for the file's text; `error` then names the field only.
bool parse_model_text(const std::string& text, ModelValues& v, ModelIdentity& made_on, std::string& error);
bool parse_model_text(const std::string& text, ModelValues& v, std::string& error);

// Writes v as a model file (through a temporary file beside it, renamed into place), with
// the study loaded now as the study it was made on.
bool write_model_file(const std::string& path, const ModelValues& v, std::string& error);

// v and the study it was made on in the model file's form (the identity keys only when known).
nlohmann::ordered_json model_file_json(const ModelValues& v, const ModelIdentity& made_on);

// v in the model file's form, keys in the order above; "apex" only when has_apex.
nlohmann::ordered_json model_json(const ModelValues& v);

#endif

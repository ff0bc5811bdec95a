// The exports of results and the model files as the core's command hooks (src/commands.h):
// the one implementation of what the PDF, PNG and DICOM exports and the model files write,
// registered by every program that links these libraries (the desktop program, vesmora-cli).
#ifndef VESMORA_EXPORT_HOOKS_H
#define VESMORA_EXPORT_HOOKS_H

#include <string>

#include "report.h"

// Sets write_pdf, write_png, write_dicom (when built with DCMTK), write_model and read_model.
// The dialogs (ask_path) and the archive's hooks belong to the desktop program.
void register_export_hooks();

// The report's Secondary Capture and the SR of the study on screen, as folder/STEM-sc.dcm and
// folder/STEM-sr.dcm: both written beside their names first, then both renamed, so a failure
// leaves what was there. False with a French `error` (Latin-1) when they cannot be written,
// or when this build has no DICOM export.
bool write_dicom_objects(const std::string& folder, const std::string& stem, std::string& error);
// The same with the report page of `info` (vesmora-cli analyze says how it placed the model
// and hands the function it measured); a gated study's function goes into both.
bool write_dicom_objects(const std::string& folder, const std::string& stem, const ReportInfo& info,
                         std::string& error);

#endif

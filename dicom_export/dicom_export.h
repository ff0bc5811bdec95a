// The results as DICOM objects for the hospital's archive: a Secondary Capture of
// the report page and a Comprehensive Structured Report of the 17 segments.
//
// Both copy the patient and study identification of the analysed file (read with
// DCMTK) and open a new series of their own, so they join the study they belong to.
// Each is written to a temporary file beside out_path, then renamed onto it: a failed
// write leaves no partial file. On failure `error` holds a French message (Latin-1)
// naming the file and the reason, and the function returns false.
#ifndef VESMORA_DICOM_EXPORT_H
#define VESMORA_DICOM_EXPORT_H

#include <string>

#include "Gated_Function.h"
#include "Stress_Rest.h"

// Copies patient and study identification from source_dcm (read with DCMTK); new series and instance UIDs.
// rgb: width x height pixels of 3 bytes (red, green, blue), top row first.
bool write_secondary_capture(const std::string& source_dcm, const unsigned char* rgb, int width, int height,
                             const std::string& out_path, std::string& error);

// The 17 segments (name, percent, score), the summed score and its band, from the program's state after "Résultats";
// with `function` (a gated study), a container of EDV, ESV (mL) and EF (%), its warnings and the method note, or
// why it was not measured.
bool write_structured_report(const std::string& source_dcm, const std::string& out_path, std::string& error,
                             const GatedFunction* function = nullptr);

// The stress/rest pair: both studies' 17 segments (uptakes, scores), each segment's difference
// and class, SSS, SRS, SDS, the ischemic myocardium and its band, per territory too; a new series
// in the stress study's study, both volumes as evidence.
bool write_pair_structured_report(const std::string& stress_dcm, const std::string& rest_dcm,
                                  const float stress_percent[18], const float rest_percent[18],
                                  const StressRestComparison& c, const std::string& out_path, std::string& error);

#endif

// The names of everything written for a study, from its stem (the study file's name
// without its last extension). The desktop programs and vesmora-cli both take them
// from here, so the same study gives the same file names whichever wrote them.
#ifndef VESMORA_OUTPUT_NAMES_H
#define VESMORA_OUTPUT_NAMES_H

#include <string>

// A study without a usable file name (none loaded, or ".dcm" alone) is named so.
inline std::string output_stem(const std::string& study_file_stem) {
    return study_file_stem.empty() ? std::string("vesmora") : study_file_stem;
}
inline std::string report_pdf_name(const std::string& stem) { return stem + "-rapport.pdf"; }
// One picture of the eight ("hla", "vla", "sa", "palette", "bull", "sectors", "scores", "lateral").
inline std::string picture_png_name(const std::string& stem, const std::string& picture) {
    return stem + "-" + picture + ".png";
}
inline std::string secondary_capture_name(const std::string& stem) { return stem + "-sc.dcm"; }
inline std::string structured_report_name(const std::string& stem) { return stem + "-sr.dcm"; }
inline std::string model_file_name(const std::string& stem) { return stem + "-modele.json"; }
// A stress/rest pair, from the stem "STRESS-REST" of its two studies' stems.
inline std::string pair_report_pdf_name(const std::string& stem) { return stem + "-paire.pdf"; }
inline std::string difference_png_name(const std::string& stem) { return stem + "-difference.png"; }
inline std::string pair_secondary_capture_name(const std::string& stem) { return stem + "-paire-sc.dcm"; }
inline std::string pair_structured_report_name(const std::string& stem) { return stem + "-paire-sr.dcm"; }

#endif

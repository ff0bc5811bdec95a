// The command hooks of the exports and the model files (see export_hooks.h).
#include "export_hooks.h"

#include <algorithm>
#include <ctime>
#include <iterator>
#include <filesystem>
#include <vector>

#include "Gated_Function.h"
#include "Model_Place.h"
#include "Output_Names.h"
#include "Pair_Roles.h"
#include "commands.h"
#include "main.h"
#include "model_file.h"
#include "report.h"
#include "write_whole.h"

#ifdef VESMORA_HAVE_DICOM_EXPORT
#include "dicom_export.h"
#endif

namespace {

namespace fs = std::filesystem;

ReportInfo report_info() {
    char when[32] = "";
    const std::time_t now = std::time(nullptr);
    if (const std::tm* t = std::localtime(&now)) std::strftime(when, sizeof when, "%d/%m/%Y %H:%M", t);
    ReportInfo info{DCM_PATH, file_sha256(DCM_PATH), when};
    // How the model on screen was placed, and whether the user moved it since.
    info.placement = MODEL_ORIGIN == MODEL_FROM_AUTO    ? Placement::Auto
                     : MODEL_ORIGIN == MODEL_FROM_FILE  ? Placement::ModelFile
                     : MODEL_ORIGIN == MODEL_FROM_SLICES ? Placement::Slices
                                                         : Placement::Unknown;
    info.model_file = MODEL_ORIGIN_FILE;
    info.adjusted = MODEL_ADJUSTED() == 1;
    // A gated study's function, measured on the model as it stands now.
    if (GATES.gated()) info.function = MEASURE_FUNCTION();
    return info;
}

bool pdf(const std::string& path, std::string& error) { return write_report_pdf(path, report_info(), error); }

bool png(const std::string& folder, const std::string& stem, std::string& error) {
    return write_pictures_png(folder, stem, error);
}

// The pair's page from the two roles kept (Pair_Roles.h).
PairStudyInfo pair_study(const StudyRole& r) {
    PairStudyInfo s;
    s.file = r.file;
    s.sha256 = file_sha256(r.file);
    s.exam_date = r.exam_date;
    s.series = r.series;
    s.placement = r.origin == MODEL_FROM_AUTO    ? Placement::Auto
                  : r.origin == MODEL_FROM_FILE  ? Placement::ModelFile
                  : r.origin == MODEL_FROM_SLICES ? Placement::Slices
                                                  : Placement::Unknown;
    s.model_file = r.origin_file;
    s.adjusted = r.adjusted == 1;
    std::copy(std::begin(r.percent), std::end(r.percent), s.percent);
    std::copy(std::begin(r.score), std::end(r.score), s.score);
    s.bull = r.bull;
    return s;
}

bool pair(const std::string& pdf_path, const std::string& png_path, std::string& error) {
    const StudyRole& st = ROLES[ROLE_STRESS];
    PairReportInfo info;
    info.patient_name = st.patient_name;
    info.patient_id = st.patient_id;
    info.sex = st.sex;
    info.birth_date = st.birth_date;
    info.age = st.age;
    char when[32] = "";
    const std::time_t now = std::time(nullptr);
    if (const std::tm* t = std::localtime(&now)) std::strftime(when, sizeof when, "%d/%m/%Y %H:%M", t);
    info.analysed_at = when;
    info.stress = pair_study(st);
    info.rest = pair_study(ROLES[ROLE_REST]);
    return write_pair_pdf(pdf_path, info, error) && write_difference_png(png_path, info, error);
}

}  // namespace

bool write_dicom_objects(const std::string& folder, const std::string& stem, std::string& error) {
    return write_dicom_objects(folder, stem, report_info(), error);
}

bool write_dicom_objects(const std::string& folder, const std::string& stem, const ReportInfo& info,
                         std::string& error) {
#ifdef VESMORA_HAVE_DICOM_EXPORT
    int w = 0, h = 0;
    const std::vector<unsigned char> page = report_page_rgb(info, w, h);
    if (page.empty()) {
        error = "Aucun r\xE9sultat \xE0 exporter : lancez d'abord \xAB R\xE9sultats \xBB.";
        return false;
    }
    const std::string sc = (fs::path(folder) / secondary_capture_name(stem)).string();
    const std::string sr = (fs::path(folder) / structured_report_name(stem)).string();
    // Both written whole, one inside the other: earlier ones are replaced only once both are.
    std::string objects_error;
    const bool ok = write_whole(
        sc,
        [&](const std::string& sc_tmp, std::string& why) {
            return write_whole(
                sr,
                [&](const std::string& sr_tmp, std::string&) {
                    if (write_secondary_capture(DCM_PATH, page.data(), w, h, sc_tmp, objects_error) &&
                        write_structured_report(DCM_PATH, sr_tmp, objects_error,
                                                info.function ? &*info.function : nullptr))
                        return true;
                    for (const auto& [from, to] : {std::pair{sc_tmp, sc}, std::pair{sr_tmp, sr}})  // name the real files
                        for (std::size_t at; (at = objects_error.find(from)) != std::string::npos;)
                            objects_error.replace(at, from.size(), to);
                    return false;
                },
                why);
        },
        error);
    if (!ok && !objects_error.empty()) error = objects_error;
    return ok;
#else
    (void)folder, (void)stem, (void)info;
    error = "Cette version de Vesmora a \xE9t\xE9 construite sans l'export DICOM.";
    return false;
#endif
}

void register_export_hooks() {
    command_hooks.write_pdf = pdf;
    command_hooks.write_png = png;
#ifdef VESMORA_HAVE_DICOM_EXPORT
    command_hooks.write_dicom = write_dicom_objects;
#endif
    command_hooks.write_model = write_model_file;
    command_hooks.read_model = read_model_file_for_study;
    pair_hooks.write_pair = pair;
}

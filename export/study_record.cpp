#include "study_record.h"

#include "Clinical_Summary.h"
#include "Model_Place.h"
#include "main.h"
#include "model_file.h"
#include "sectors.h"
#include "text.h"
#include "version.h"

#include <cmath>

using nlohmann::json;

namespace {

// A volume or a fraction as the record keeps it: to a tenth, far finer than the method.
double tenth(double v) { return std::round(v * 10) / 10; }

}  // namespace

json function_json(const GatedFunction& f) {
    if (!f.measured) return {{"measured", false}, {"reason", latin1_to_utf8(f.reason)}};
    json gates = json::array(), flags = json::array();
    for (std::size_t g = 0; g < f.volume_ml.size(); g++)
        gates.push_back({{"gate", g + 1}, {"volume_ml", tenth(f.volume_ml[g])}});
    for (const std::string& flag : f.flags) flags.push_back(latin1_to_utf8(flag));
    return {{"measured", true},
            {"edv_ml", tenth(f.edv_ml)},
            {"esv_ml", tenth(f.esv_ml)},
            {"ef_percent", tenth(f.ef_percent)},
            {"ed_gate", f.ed_gate},
            {"es_gate", f.es_gate},
            {"gates", gates},
            {"flags", flags},
            {"method_note", latin1_to_utf8(FUNCTION_METHOD_NOTE)}};
}

namespace {

json patient_json() {
    return {{"name", field_utf8(PAT_NAME)},
            {"id", field_utf8(PAT_ID)},
            {"sex", field_utf8(PAT_SEX)},
            {"birth_date", field_utf8(PAT_DATE)},
            {"age", field_utf8(PAT_AGE)},
            {"age_computed", PAT_AGE_COMPUTED == 1},
            {"exam_date", field_utf8(ACQ_DATE)}};
}

}  // namespace

json function_only_record(const std::string& file, const GatedFunction& function, const std::string& why) {
    json r;
    r["file"] = file;
    r["patient"] = patient_json();
    r["perfusion_refused"] = why;
    r["function"] = function_json(function);
    r["function"]["model_on_gates"] = {GATES.count, 1, 2};
    r["version"] = VESMORA_VERSION;
    return r;
}

json study_record(const std::string& file, const GatedFunction* function) {
    json r;
    r["file"] = file;
    r["patient"] = patient_json();
    ModelValues m;
    MODEL_CURRENT(m);
    r["model"] = json(model_file_json(m, current_model_identity()));
    r["model"]["levels"] = sect_i;

    const ClinicalSummary s = CLINICAL_SUMMARY(SECTEUR, SCORE);
    json segments = json::array();
    for (int n = 1; n <= SECTOR_COUNT; n++)
        segments.push_back({{"number", n},
                            {"name_fr", latin1_to_utf8(SECTORS[n].name_fr)},
                            {"name_en", SECTORS[n].name_en},
                            {"territory", TERRITORY_NAME[SECTORS[n].territory]},
                            {"percent", float_for_json(SECTEUR[n])},
                            {"score", SCORE[n]}});
    r["segments"] = segments;
    r["summed_score"] = s.summed_score;
    r["percent_myocardium_abnormal"] = s.percent_abnormal;
    r["severity"] = latin1_to_utf8(SEVERITY_NAME[s.severity]);
    for (int t = TERR_LAD; t <= TERR_LCX; t++) {
        const TerritorySummary& ts = s.territory[t];
        r["territories"][TERRITORY_NAME[t]] = {
            {"segments", std::vector<int>(ts.segments, ts.segments + ts.count)},
            {"summed_score", ts.summed_score},
            {"mean_percent", ts.mean_percent}};
    }
    if (function) r["function"] = function_json(*function);
    r["version"] = VESMORA_VERSION;
    return r;
}

std::string csv_field(const std::string& s) {
    const bool quote = s.find_first_of(",\"\r\n") != std::string::npos ||
                       (!s.empty() && (s.front() == ' ' || s.back() == ' '));
    if (!quote) return s;
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

namespace {

std::string text_of(const json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); }

}  // namespace

std::string csv_header() {
    std::string h = "file,patient_name,patient_id,exam_date";
    for (int n = 1; n <= SECTOR_COUNT; n++) h += ",percent_" + std::to_string(n);
    for (int n = 1; n <= SECTOR_COUNT; n++) h += ",score_" + std::to_string(n);
    return h + ",summed_score,severity,edv_ml,esv_ml,ef_percent,function_flags\n";
}

std::string csv_row(const json& record) {
    std::string row;
    bool first = true;
    auto add = [&row, &first](const std::string& field) {
        if (!first) row += ',';
        first = false;
        row += field;
    };
    add(csv_field(text_of(record.at("file"))));
    add(csv_field(text_of(record.at("patient").at("name"))));
    add(csv_field(text_of(record.at("patient").at("id"))));
    add(csv_field(text_of(record.at("patient").at("exam_date"))));
    // A study whose perfusion was refused: its function alone, the perfusion's fields empty.
    const bool perfusion = record.contains("segments");
    for (const char* key : {"percent", "score"})
        for (int n = 0; n < SECTOR_COUNT; n++) add(perfusion ? text_of(record.at("segments").at(n).at(key)) : "");
    add(perfusion ? text_of(record.at("summed_score")) : "");
    // Where the severity stands, why the perfusion has none.
    add(csv_field(perfusion ? text_of(record.at("severity"))
                            : latin1_to_utf8("perfusion refus\xE9" "e : ") + record.value("perfusion_refused", "")));
    // The function's figures only beside its warnings: a flagged result never reads as a plain number.
    const json none = json::object();
    const json& f = record.contains("function") ? record.at("function") : none;
    const bool measured = f.value("measured", false);
    for (const char* key : {"edv_ml", "esv_ml", "ef_percent"}) add(measured ? text_of(f.at(key)) : "");
    std::string note;
    if (measured)
        for (const json& flag : f.at("flags")) note += (note.empty() ? "" : " ; ") + flag.get<std::string>();
    else
        note = f.value("reason", "");
    add(csv_field(note));
    return row + "\n";
}

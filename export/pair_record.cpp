#include "pair_record.h"

#include <cstdio>

#include "study_record.h"

using nlohmann::json;

json comparison_record(const StressRestComparison& c) {
    json r;
    r["sss"] = c.sss;
    r["srs"] = c.srs;
    r["sds"] = c.sds;
    r["percent_ischemic"] = c.percent_ischemic;
    r["ischemia"] = ISCHEMIA_CODE[c.band];
    json segments = json::array();
    for (int n = 1; n <= SECTOR_COUNT; n++)
        segments.push_back({{"number", n},
                            {"stress_score", c.stress[n]},
                            {"rest_score", c.rest[n]},
                            {"difference", c.difference[n]},
                            {"class", SEGMENT_CLASS_CODE[c.cls[n]]}});
    r["segments"] = segments;
    for (int t = TERR_LAD; t <= TERR_LCX; t++)
        r["territories"][TERRITORY_NAME[t]] = {
            {"sss", c.territory[t].sss}, {"srs", c.territory[t].srs}, {"sds", c.territory[t].sds}};
    return r;
}

bool record_scores(const json& record, int score[SECTOR_COUNT + 1]) {
    score[0] = 0;
    if (!record.is_object() || !record.contains("segments") || !record["segments"].is_array() ||
        record["segments"].size() != SECTOR_COUNT)
        return false;
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        const json& seg = record["segments"][n - 1];
        if (!seg.is_object() || seg.value("number", 0) != n || !seg.contains("score") ||
            !seg["score"].is_number_integer())
            return false;
        score[n] = seg["score"].get<int>();
    }
    return true;
}

std::string pair_csv_header() {
    std::string h = "stress_file,rest_file,patient_id,stress_exam_date,rest_exam_date,sss,srs,sds,percent_ischemic,"
                    "ischemia,sds_LAD,sds_RCA,sds_LCx";
    for (int n = 1; n <= SECTOR_COUNT; n++) h += ",class_" + std::to_string(n);
    return h + "\n";
}

std::string pair_csv_row(const json& pair) {
    const json &s = pair.at("stress"), &r = pair.at("rest"), &c = pair.at("comparison");
    const auto str = [](const json& v) { return csv_field(v.is_string() ? v.get<std::string>() : v.dump()); };
    std::string row = str(s.at("file")) + "," + str(r.at("file")) + "," + str(s.at("patient").at("id")) + "," +
                      str(s.at("patient").at("exam_date")) + "," + str(r.at("patient").at("exam_date"));
    for (const char* k : {"sss", "srs", "sds"}) (row += ',') += std::to_string(c.at(k).get<int>());
    char pct[32];
    std::snprintf(pct, sizeof pct, "%.1f", c.at("percent_ischemic").get<double>());
    row += std::string(",") + pct + "," + str(c.at("ischemia"));
    for (const char* t : {"LAD", "RCA", "LCx"})
        (row += ',') += std::to_string(c.at("territories").at(t).at("sds").get<int>());
    for (const json& seg : c.at("segments")) (row += ',') += str(seg.at("class"));
    return row + "\n";
}

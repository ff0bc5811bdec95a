// The study record carries the patient's identity as the header reader decoded it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Dicom.h"
#include "dicom_writer.h"
#include "main.h"
#include "study_record.h"
#include "test_support.h"

TEST(StudyRecord, AccentedNameAndPatientIdReadTheSameWhateverTheCharacterSet) {
    TempDir dir;
    const std::string path = dir.str() + "/h.dcm";
    const struct {
        const char* charset;
        std::string name;
    } cases[] = {{"ISO_IR 100", "M\xDCLLER^\xC9l\xE9onore"}, {"ISO_IR 192", "M\xC3\x9CLLER^\xC3\x89l\xC3\xA9onore"}};
    for (const auto& c : cases) {
        start_in(dir.str());
        DicomWriter w;
        w.element(0x0008, 0x0005, "CS", c.charset)
            .element(0x0010, 0x0010, "PN", c.name)
            .element(0x0010, 0x0020, "LO", "IPP-0042")
            .element(0x0010, 0x0030, "DA", "19700101");
        w.write(path);
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_EQ(GET_DICOM_INFO(f), 1);
        std::fclose(f);
        EXPECT_STREQ(PAT_NAME, "M\xDCLLER \xC9l\xE9onore") << c.charset;
        const nlohmann::json r = study_record("h.dcm");
        EXPECT_EQ(r["patient"]["name"], "M\xC3\x9CLLER \xC3\x89l\xC3\xA9onore") << c.charset;
        EXPECT_EQ(r["patient"]["id"], "IPP-0042");
        EXPECT_EQ(r["patient"]["age_computed"], false);  // no exam date: no age at all
        EXPECT_EQ(csv_row(r).rfind("h.dcm,M\xC3\x9CLLER \xC3\x89l\xC3\xA9onore,IPP-0042,,", 0), 0u) << csv_row(r);
    }
    EXPECT_EQ(csv_header().rfind("file,patient_name,patient_id,exam_date,percent_1,", 0), 0u);
}

// A gated study's function in the record and the CSV row: measured, flagged (its warnings in the
// row beside its figures), not measured (why, no figure), and a study that is not gated (nothing).
TEST(StudyRecord, FunctionKeepsItsWarningsBesideItsFigures) {
    TempDir dir;
    start_in(dir.str());
    auto fields = [](const std::string& line) {  // a CSV line split as a reader splits it
        std::vector<std::string> out(1);
        bool quoted = false;
        for (std::size_t i = 0; i < line.size() && line[i] != '\n'; i++) {
            const char c = line[i];
            if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') out.back() += line[++i];
            else if (c == '"') quoted = !quoted;
            else if (c == ',' && !quoted) out.emplace_back();
            else out.back() += c;
        }
        return out;
    };
    const std::vector<std::string> header = fields(csv_header());
    auto column = [&](const nlohmann::json& r, const std::string& name) {
        const std::vector<std::string> row = fields(csv_row(r));
        EXPECT_EQ(row.size(), header.size());
        const auto at = std::find(header.begin(), header.end(), name);
        return at != header.end() && std::size_t(at - header.begin()) < row.size() ? row[at - header.begin()] : "?";
    };
    ASSERT_EQ(header[header.size() - 5], "severity");  // the earlier columns stay where they were

    GatedFunction f;
    SET_FUNCTION_CURVE(f, {120.04, 104, 80, 61, 52.96, 66, 94, 113});
    nlohmann::json r = study_record("g.dcm", &f);
    const nlohmann::json& fn = r["function"];
    EXPECT_EQ(fn["measured"], true);
    EXPECT_EQ(fn["edv_ml"], 120.0);
    EXPECT_EQ(fn["esv_ml"], 53.0);
    EXPECT_EQ(fn["ef_percent"], 55.9);
    EXPECT_EQ(fn["es_gate"], 5);
    ASSERT_EQ(fn["gates"].size(), 8u);
    EXPECT_EQ(fn["gates"][4], (nlohmann::json{{"gate", 5}, {"volume_ml", 53.0}}));
    EXPECT_TRUE(fn["flags"].empty());
    EXPECT_NE(fn["method_note"].get<std::string>().find("d\xC3\xA9pendent de la m\xC3\xA9thode"), std::string::npos);
    EXPECT_EQ(column(r, "edv_ml"), "120.0");
    EXPECT_EQ(column(r, "ef_percent"), "55.9");
    EXPECT_EQ(column(r, "function_flags"), "");

    f.flags = {"Moins de 8 intervalles, fin de systole incertaine.", "FE sup\xE9rieure \xE0 90 %."};
    r = study_record("g.dcm", &f);
    EXPECT_EQ(r["function"]["flags"][1], "FE sup\xC3\xA9rieure \xC3\xA0 90 %.");
    EXPECT_EQ(column(r, "ef_percent"), "55.9");
    EXPECT_EQ(column(r, "function_flags"),
              "Moins de 8 intervalles, fin de systole incertaine. ; FE sup\xC3\xA9rieure \xC3\xA0 90 %.");

    GatedFunction none;
    none.reason = "Aucun mod\xE8le plac\xE9.";
    r = study_record("g.dcm", &none);
    EXPECT_EQ(r["function"], (nlohmann::json{{"measured", false}, {"reason", "Aucun mod\xC3\xA8le plac\xC3\xA9."}}));
    EXPECT_EQ(column(r, "edv_ml"), "");
    EXPECT_EQ(column(r, "ef_percent"), "");
    EXPECT_EQ(column(r, "function_flags"), "Aucun mod\xC3\xA8le plac\xC3\xA9.");

    r = study_record("g.dcm");
    EXPECT_FALSE(r.contains("function"));
    EXPECT_EQ(column(r, "esv_ml"), "");
    EXPECT_EQ(column(r, "function_flags"), "");
}

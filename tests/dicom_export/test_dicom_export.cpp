// The DICOM objects of a study's results, read back with DCMTK: they carry the analysed
// file's patient and study, new series of their own, the page's pixels and the program's
// 17 values; the character sets follow the source; bad sources and targets are refused.
#include <gtest/gtest.h>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmsr/dsrdoc.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "Clinical_Summary.h"
#include "Dicom.h"
#include "Display.h"
#include "Results.h"
#include "dicom_export.h"
#include "dicom_writer.h"
#include "headless.h"
#include "main.h"
#include "test_support.h"

namespace {

// Opens the study as "Ouvrir", places the phantom's model as "Centrer volume" and the
// drags would, and runs "Résultats".
void analyse(const std::string& path) {
    headless::queue_open_answer(path);
    ASSERT_EQ(LOAD_DCM_FILE(), 1) << path;
    load_ok = 1;
    plan_i = ill_ci = ell_ci = 128;
    ell_cj = ell_ck = ill_cj = ill_ck = 128;
    ell_ri = 70, ell_rj = 25, ell_rk = 25;
    ill_ri = 62, ill_rj = 17, ill_rk = 17;
    ell_ok = 1;
    EVAL_APEX();
    EVAL_RES();
}

std::string sample(const char* name) { return std::string(VESMORA_BINARY_DIR) + "/samples/" + name + ".dcm"; }

std::string text(DcmItem& item, const DcmTagKey& key) {
    OFString v;
    item.findAndGetOFStringArray(key, v);
    return v.c_str();
}

// The content tree under item flattened: "SEGMENTS/SEG3/UPTAKE" -> its text or number,
// the number's unit under ".../UPTAKE#unit".
void flatten(DcmItem& item, const std::string& prefix, std::map<std::string, std::string>& out) {
    DcmItem* child = nullptr;
    for (int n = 0; item.findAndGetSequenceItem(DCM_ContentSequence, child, n).good(); n++) {
        DcmItem* name = nullptr;
        std::string path = prefix;
        if (child->findAndGetSequenceItem(DCM_ConceptNameCodeSequence, name, 0).good())
            path += (prefix.empty() ? "" : "/") + text(*name, DCM_CodeValue);
        const std::string type = text(*child, DCM_ValueType);
        if (type == "TEXT") out[path] = text(*child, DCM_TextValue);
        DcmItem* measured = nullptr;
        if (type == "NUM" && child->findAndGetSequenceItem(DCM_MeasuredValueSequence, measured, 0).good()) {
            out[path] = text(*measured, DCM_NumericValue);
            DcmItem* unit = nullptr;
            if (measured->findAndGetSequenceItem(DCM_MeasurementUnitsCodeSequence, unit, 0).good())
                out[path + "#unit"] = text(*unit, DCM_CodeValue);
        }
        flatten(*child, path, out);
    }
}

struct Written {
    DcmFileFormat file;
    DcmDataset& ds() { return *file.getDataset(); }
};

void load(Written& w, const std::string& path) { ASSERT_TRUE(w.file.loadFile(path.c_str()).good()) << path; }

// A small source: the elements given (ascending tags, values padded to even length).
std::string write_source(const std::string& path, const std::vector<std::pair<std::uint32_t, std::string>>& elems) {
    DicomWriter w;
    for (const auto& [tag, value] : elems) {
        std::string v = value;
        const char* vr = tag == 0x00080005 ? "CS" : tag == 0x00100010 ? "PN" : "UI";
        if (v.size() % 2) v += tag == 0x0020000D ? '\0' : ' ';
        w.element(static_cast<std::uint16_t>(tag >> 16), static_cast<std::uint16_t>(tag & 0xFFFF), vr, v);
    }
    w.write(path);
    return path;
}

class DicomExport : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { start_in(dir.str()); }
    std::string out(const char* name) const { return dir.str() + "/" + name; }
};

}  // namespace

TEST_F(DicomExport, BothObjectsJoinTheAnalysedStudyInNewSeriesWithTheProgramsValues) {
    const std::string source_path = sample("lad-64");
    analyse(source_path);
    // An odd width: rows of 3 x 7 bytes would show a padding mistake.
    const int width = 7, height = 5;
    std::vector<unsigned char> rgb(3 * width * height);
    for (size_t n = 0; n < rgb.size(); n++) rgb[n] = static_cast<unsigned char>(n * 37 + 11);
    std::string error;
    ASSERT_TRUE(write_secondary_capture(source_path, rgb.data(), width, height, out("sc.dcm"), error)) << error;
    ASSERT_TRUE(write_structured_report(source_path, out("sr.dcm"), error)) << error;

    Written source, sc, sr;
    load(source, source_path);
    load(sc, out("sc.dcm"));
    load(sr, out("sr.dcm"));
    for (const DcmTagKey& key : {DCM_PatientName, DCM_PatientID, DCM_PatientBirthDate, DCM_PatientSex,
                                 DCM_StudyInstanceUID, DCM_StudyDate, DCM_StudyTime, DCM_AccessionNumber,
                                 DCM_ReferringPhysicianName, DCM_StudyID}) {
        EXPECT_TRUE(sc.ds().tagExists(key) && sr.ds().tagExists(key)) << DcmTag(key).getTagName();
        EXPECT_EQ(text(sc.ds(), key), text(source.ds(), key)) << DcmTag(key).getTagName();
        EXPECT_EQ(text(sr.ds(), key), text(source.ds(), key)) << DcmTag(key).getTagName();
    }
    EXPECT_EQ(text(source.ds(), DCM_PatientName), "ANONYME^LAD");
    const std::string series[3] = {text(source.ds(), DCM_SeriesInstanceUID), text(sc.ds(), DCM_SeriesInstanceUID),
                                   text(sr.ds(), DCM_SeriesInstanceUID)};
    EXPECT_NE(series[1], series[0]);
    EXPECT_NE(series[2], series[0]);
    EXPECT_NE(series[1], series[2]);
    EXPECT_NE(text(sc.ds(), DCM_SOPInstanceUID), text(sr.ds(), DCM_SOPInstanceUID));
    for (Written* w : {&sc, &sr}) {
        EXPECT_EQ(text(w->ds(), DCM_SpecificCharacterSet), "ISO_IR 100");
        EXPECT_EQ(text(*w->file.getMetaInfo(), DCM_TransferSyntaxUID), UID_LittleEndianExplicitTransferSyntax);
        EXPECT_EQ(text(*w->file.getMetaInfo(), DCM_MediaStorageSOPInstanceUID), text(w->ds(), DCM_SOPInstanceUID));
    }

    EXPECT_EQ(text(sc.ds(), DCM_SOPClassUID), UID_SecondaryCaptureImageStorage);
    EXPECT_EQ(text(sc.ds(), DCM_Modality), "OT");
    EXPECT_EQ(text(sc.ds(), DCM_ConversionType), "WSD");
    EXPECT_EQ(text(sc.ds(), DCM_SeriesDescription), "Vesmora - rapport");
    EXPECT_EQ(text(sc.ds(), DCM_PhotometricInterpretation), "RGB");
    Uint16 rows = 0, cols = 0, planar = 9, samples = 0;
    sc.ds().findAndGetUint16(DCM_Rows, rows);
    sc.ds().findAndGetUint16(DCM_Columns, cols);
    sc.ds().findAndGetUint16(DCM_PlanarConfiguration, planar);
    sc.ds().findAndGetUint16(DCM_SamplesPerPixel, samples);
    EXPECT_EQ(rows, height);
    EXPECT_EQ(cols, width);
    EXPECT_EQ(planar, 0);
    EXPECT_EQ(samples, 3);
    const Uint8* pixels = nullptr;
    unsigned long count = 0;
    ASSERT_TRUE(sc.ds().findAndGetUint8Array(DCM_PixelData, pixels, &count).good());
    ASSERT_GE(count, rgb.size());  // one pad byte when the count is odd
    EXPECT_EQ(std::vector<unsigned char>(pixels, pixels + rgb.size()), rgb);

    EXPECT_EQ(text(sr.ds(), DCM_SOPClassUID), UID_ComprehensiveSRStorage);
    EXPECT_EQ(text(sr.ds(), DCM_Modality), "SR");
    EXPECT_EQ(text(sr.ds(), DCM_CompletionFlag), "COMPLETE");
    EXPECT_EQ(text(sr.ds(), DCM_VerificationFlag), "UNVERIFIED");
    DSRDocument doc;
    EXPECT_TRUE(doc.read(sr.ds()).good());
    DcmItem* title = nullptr;
    ASSERT_TRUE(sr.ds().findAndGetSequenceItem(DCM_ConceptNameCodeSequence, title, 0).good());
    EXPECT_EQ(text(*title, DCM_CodeValue) + " " + text(*title, DCM_CodingSchemeDesignator), "122602 DCM");
    std::map<std::string, std::string> items;
    flatten(sr.ds(), "", items);
    const ClinicalSummary sum = CLINICAL_SUMMARY(SECTEUR, SCORE);
    for (int n = 1; n <= 17; n++) {
        const std::string seg = "SEGMENTS/SEG" + std::to_string(n) + "/";
        EXPECT_EQ(items[seg + "NAME-FR"], SECTORS[n].name_fr) << n;
        EXPECT_EQ(items[seg + "NAME-EN"], SECTORS[n].name_en) << n;
        EXPECT_EQ(items[seg + "TERRITORY"], TERRITORY_NAME[SECTORS[n].territory]) << n;
        EXPECT_EQ(std::strtof(items[seg + "UPTAKE"].c_str(), nullptr), SECTEUR[n]) << n << " " << items[seg + "UPTAKE"];
        EXPECT_EQ(items[seg + "UPTAKE#unit"], "%");
        EXPECT_EQ(items[seg + "SCORE"], std::to_string(SCORE[n])) << n;
    }
    EXPECT_GE(sum.summed_score, 4);  // the LAD defect scores
    EXPECT_EQ(items["SUMMED-SCORE"], std::to_string(sum.summed_score));
    EXPECT_EQ(items["SEVERITY"], SEVERITY_NAME[sum.severity]);
    EXPECT_NEAR(std::atof(items["ABNORMAL"].c_str()), sum.percent_abnormal, 1e-6);
    EXPECT_EQ(items["TERRITORIES/LAD/SUMMED-SCORE"], std::to_string(sum.territory[TERR_LAD].summed_score));
    EXPECT_NEAR(std::atof(items["TERRITORIES/RCA/MEAN-UPTAKE"].c_str()), sum.territory[TERR_RCA].mean_percent, 1e-5);
}

TEST_F(DicomExport, CharacterSetsFollowTheSourceAndTheReportsFrenchTextsStayReadable) {
    analyse(sample("normal-64"));
    unsigned char rgb[3] = {1, 2, 3};
    struct Case {
        const char* source_cs;   // "" : no element
        std::string name;        // as stored in the source
        const char* sc_cs;       // expected in the Secondary Capture
        const char* sr_cs;       // expected in the report
        std::string sr_name;     // the name as the report stores it
        bool utf8_texts;
    };
    const Case cases[] = {
        {"", "M\xC9NARD^\xC9LISE", "ISO_IR 100", "ISO_IR 100", "M\xC9NARD^\xC9LISE", false},
        {"ISO_IR 100", "M\xC9NARD^\xC9LISE", "ISO_IR 100", "ISO_IR 100", "M\xC9NARD^\xC9LISE", false},
        {"ISO_IR 192", "M\xC3\x89NARD^\xC3\x89LISE", "ISO_IR 192", "ISO_IR 192", "M\xC3\x89NARD^\xC3\x89LISE", true},
        // Cyrillic (ISO 8859-5) "\xD0\x98\xD0\x92" is "ИВ": the report needs UTF-8 for its accents.
        {"ISO_IR 144", "\xB8\xB2", "ISO_IR 144", "ISO_IR 192", "\xD0\x98\xD0\x92", true},
    };
    int k = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source_cs);
        std::vector<std::pair<std::uint32_t, std::string>> elems;
        if (*c.source_cs) elems.push_back({0x00080005, c.source_cs});
        elems.push_back({0x00100010, c.name});
        elems.push_back({0x0020000D, "2.25.987654321012345678"});
        const std::string src = write_source(out("src") + std::to_string(k) + ".dcm", elems);
        const std::string sc_path = out("sc") + std::to_string(k) + ".dcm";
        const std::string sr_path = out("sr") + std::to_string(k++) + ".dcm";
        std::string error;
        ASSERT_TRUE(write_secondary_capture(src, rgb, 1, 1, sc_path, error)) << error;
        ASSERT_TRUE(write_structured_report(src, sr_path, error)) << error;
        Written sc, sr;
        load(sc, sc_path);
        load(sr, sr_path);
        EXPECT_EQ(text(sc.ds(), DCM_SpecificCharacterSet), c.sc_cs);
        EXPECT_EQ(text(sc.ds(), DCM_PatientName), c.name);
        EXPECT_EQ(text(sr.ds(), DCM_SpecificCharacterSet), c.sr_cs);
        EXPECT_EQ(text(sr.ds(), DCM_PatientName), c.sr_name);
        std::map<std::string, std::string> items;
        flatten(sr.ds(), "", items);
        EXPECT_EQ(items["SEGMENTS/SEG1/NAME-FR"], c.utf8_texts ? "Ant\xC3\xA9rieur basal" : "Ant\xE9rieur basal");
        EXPECT_EQ(text(sr.ds(), DCM_SeriesDescription),
                  c.utf8_texts ? "Vesmora - r\xC3\xA9sultats" : "Vesmora - r\xE9sultats");
    }
}

TEST_F(DicomExport, BadSourcesAndTargetsAreRefusedInFrenchAndLeaveNoFile) {
    const std::string good = sample("normal-64");
    unsigned char rgb[3] = {0, 0, 0};
    std::string error;
    auto refused_sc = [&](const std::string& src, const std::string& target, const std::string& names) {
        error.clear();
        EXPECT_FALSE(write_secondary_capture(src, rgb, 1, 1, target, error));
        EXPECT_NE(error.find(names), std::string::npos) << error;
        EXPECT_FALSE(std::filesystem::exists(target) && !std::filesystem::is_directory(target)) << target;
    };
    write_file(out("text.dcm"), std::string(300, 'x'));
    refused_sc(out("text.dcm"), out("a.dcm"), out("text.dcm"));
    EXPECT_NE(error.find("DICM"), std::string::npos) << error;
    refused_sc(out("missing.dcm"), out("a.dcm"), out("missing.dcm"));
    write_source(out("nostudy.dcm"), {{0x00100010, "X^Y"}});
    refused_sc(out("nostudy.dcm"), out("a.dcm"), "Study Instance UID");
    refused_sc(good, out("no/such/folder/a.dcm"), out("no/such/folder/a.dcm"));
    // The target is a folder: the temporary file is written, the rename fails, and it goes.
    std::filesystem::create_directory(out("taken"));
    refused_sc(good, out("taken"), "Impossible d'\xE9" "crire le fichier DICOM " + out("taken"));
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
    EXPECT_FALSE(write_secondary_capture(good, rgb, 0, 1, out("a.dcm"), error));
    EXPECT_FALSE(write_secondary_capture(good, nullptr, 1, 1, out("a.dcm"), error));

    // Before "Résultats" there is nothing to report.
    headless::queue_open_answer(good);
    ASSERT_EQ(LOAD_DCM_FILE(), 1);
    EXPECT_FALSE(write_structured_report(good, out("sr.dcm"), error));
    EXPECT_NE(error.find("R\xE9sultats"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(out("sr.dcm")));
}

// A gated study's SR: EDV and ESV in mL and EF in % under LOINC's concepts, the warnings before
// them, the method note; or why the function was not measured; nothing for a study not gated.
TEST_F(DicomExport, GatedStudyReportCarriesTheFunctionWithItsUnitsAndWarnings) {
    const std::string source = sample("lad-64");
    analyse(source);
    GatedFunction f;
    SET_FUNCTION_CURVE(f, {132.24, 110, 80, 61.36, 70, 95, 120, 130});
    f.flags = {"Courbe de volume irr\xE9guli\xE8re."};
    std::map<std::string, std::string> items;
    auto written = [&](const GatedFunction* function) {
        std::string error;
        EXPECT_TRUE(write_structured_report(source, out("sr.dcm"), error, function)) << error;
        Written sr;
        load(sr, out("sr.dcm"));
        EXPECT_TRUE(DSRDocument().read(sr.ds()).good());
        items.clear();
        flatten(sr.ds(), "", items);
    };
    written(&f);
    EXPECT_EQ(items["FUNCTION/18026-5"], "132.2");
    EXPECT_EQ(items["FUNCTION/18026-5#unit"], "mL");
    EXPECT_EQ(items["FUNCTION/18148-7"], "61.4");
    EXPECT_EQ(items["FUNCTION/18148-7#unit"], "mL");
    EXPECT_EQ(items["FUNCTION/10230-1"], "53.6");
    EXPECT_EQ(items["FUNCTION/10230-1#unit"], "%");
    EXPECT_EQ(items["FUNCTION/GATES"], "8");
    EXPECT_EQ(items["FUNCTION/WARNING"], "Courbe de volume irr\xE9guli\xE8re.");
    EXPECT_EQ(items["FUNCTION/METHOD"], FUNCTION_METHOD_NOTE);
    EXPECT_EQ(items["SUMMED-SCORE"], std::to_string(CLINICAL_SUMMARY(SECTEUR, SCORE).summed_score));

    GatedFunction none;
    none.reason = "Aucun mod\xE8le n'est plac\xE9.";
    written(&none);
    EXPECT_EQ(items["FUNCTION/NOT-MEASURED"], none.reason);
    EXPECT_EQ(items.count("FUNCTION/18026-5"), 0u);
    EXPECT_EQ(items.count("FUNCTION/10230-1"), 0u);

    written(nullptr);
    EXPECT_EQ(items.count("FUNCTION/METHOD"), 0u);
}

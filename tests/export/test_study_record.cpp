// The study record carries the patient's identity as the header reader decoded it.
#include <gtest/gtest.h>

#include <cstdio>

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

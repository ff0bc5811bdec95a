// The DICOM header reader: recognition, the byte walk, the value filters, the
// refusals and the memory failures.
#include <climits>
#include <cmath>
#include <cstring>

#include "dicom_test_util.h"

namespace {

std::string ascii(const std::string& value, int mode, int keep_zeros) {
    std::string out(value.size() + 3, '#');
    GET_ASCII(out.data(), reinterpret_cast<const unsigned char*>(value.data()), static_cast<int>(value.size()), mode,
              keep_zeros);
    return out.c_str();
}

float voxzize(const std::string& value) {
    float v = -1.0f;
    GET_VOXZIZE(&v, reinterpret_cast<const unsigned char*>(value.data()), static_cast<int>(value.size()), 4);
    return v;
}

int nframes(const std::string& value) {
    int v = -1;
    GET_NFRAMES(&v, reinterpret_cast<const unsigned char*>(value.data()), static_cast<int>(value.size()));
    return v;
}

std::string formatted(const std::string& text) {
    char buf[64] = {};
    std::strcpy(buf, text.c_str());
    FORMAT_DATE(buf);
    return buf;
}

// An implicit-VR element: tag, 32-bit length, value.
std::string implicit(std::uint16_t g, std::uint16_t e, const std::string& value) {
    std::string s = tag_bytes(g, e);
    const auto n = static_cast<std::uint32_t>(value.size());
    for (int b = 0; b < 4; b++) s += static_cast<char>((n >> (8 * b)) & 0xFF);
    return s + value;
}

}  // namespace

// ---- recognition -----------------------------------------------------------------------------

TEST_F(DicomTest, RefusesFilesWithoutTheMarkAtByte128) {
    const std::string valid = nm_header(64, 64, 64).bytes();
    const std::string cases[] = {
        DicomWriter(nm_header(64, 64, 64)).mark("DICN").bytes(),  // wrong mark
        valid.substr(132),                                          // elements without preamble and mark
        valid.substr(0, 131),                                       // ends inside the mark
        "",                                                         // empty
    };
    for (const std::string& bytes : cases) {
        start_in(dir.str());
        EXPECT_EQ(header(bytes), 0);
        ASSERT_EQ(boxes(), 1);
        EXPECT_EQ(headless::state().boxes[0].text, "Ce fichier n'est pas un fichier dicom valide");
        EXPECT_EQ(headless::state().boxes[0].title, "Vesmora");
        EXPECT_EQ(headless::state().boxes[0].icon, ICON_WARNING);
        EXPECT_EQ(log(), "No Dcm\n\n");
        EXPECT_STREQ(PAT_NAME, "");
        EXPECT_EQ(ech, 64);
        EXPECT_EQ(NCZ, 0);
    }
}

// ---- the walk --------------------------------------------------------------------------------

TEST_F(DicomTest, LogOfAKnownFileByteForByteWithTheRescaleLineLast) {
    // Ordered file: the nine are complete at Pixel Spacing; the walk goes on silently
    // for the rescale slope (logged last), and the name behind it is not read again.
    DicomWriter w = nm_header(64, 64, 64);
    w.element(0x0028, 0x1053, "DS", "2.5 ").element(0x0010, 0x0010, "PN", "LATER^NAME").pixels({1, 2, 3, 4});
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_EQ(boxes(), 0);
    EXPECT_EQ(log(),
              "\nLoading DCM infos ...\n\n"
              "\n ACQ date : 03/11/2026"
              "\n PAT name : DOE JOHN"
              "\n PAT date : 14/02/1958"
              "\n PAT sex : F "
              "\n PAT age : 58"
              "\n SLICE : 0.4795000"
              "\n FRAMES : 64"
              "\n Or Im Size H : 64"
              "\n Or Im Size V : 64"
              "\n VOXEL : 0.4795000  -  0.4795000"
              "\n RESCALE : slope 2.5  -  intercept 0"
              "\n-----------------------\n\n");
    EXPECT_EQ(RESCALE_SLOPE, 2.5);
    EXPECT_EQ(RESCALE_INTERCEPT, 0.0);
    EXPECT_STREQ(PAT_NAME, "DOE JOHN");
    EXPECT_STREQ(PAT_SEX, "F ");
    EXPECT_STREQ(PAT_DATE, "14/02/1958");
    EXPECT_STREQ(ACQ_DATE, "03/11/2026");
    EXPECT_STREQ(PAT_AGE, "58");
    EXPECT_EQ(Data_NZ, 64);
    EXPECT_EQ(NCZ, 64);
    EXPECT_EQ(ech, 64);
    EXPECT_FLOAT_EQ(VOXEL_SIZE_XY, 0.4795f);
    EXPECT_FLOAT_EQ(VOXEL_SIZE_Z, 0.4795f);
}

TEST_F(DicomTest, BundledSampleHeaderGivesItsValues) {
    EXPECT_EQ(header(read_file(VESMORA_SOURCE_DIR "/tests/data/sample-header.dcm")), 1);
    EXPECT_STREQ(PAT_NAME, "MARTIN CLAIRE ");
    EXPECT_STREQ(PAT_AGE, "68");
    EXPECT_EQ(ech, 16);
    EXPECT_EQ(NCZ, 16);
}

TEST_F(DicomTest, PixelDataEndsTheWalkBeforeTheNineAreComplete) {
    DicomWriter w;
    w.element(0x0010, 0x0010, "PN", "A^B ").pixels({0, 0}).element(0x0010, 0x0040, "CS", "M ");
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_EQ(log(), "\nLoading DCM infos ...\n\n\n PAT name : A B \n Pixel Data Found ...\n-----------------------\n\n");
}

TEST_F(DicomTest, WalkStopsAtTheEndOfAFileWithoutPixelDataOrAllNine) {
    DicomWriter w;
    w.element(0x0010, 0x0040, "CS", "M ").raw("\x28");  // a last byte that starts a tag
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_EQ(log(), "\nLoading DCM infos ...\n\n\n PAT sex : M \n-----------------------\n\n");
}

TEST_F(DicomTest, ValuesRunningPastTheEndUseOnlyTheBytesThatExist) {
    // A name that claims 200 bytes and has 5; Rows whose second byte is missing.
    {
        DicomWriter w;
        w.element_len(0x0010, 0x0010, "PN", 200, "AB^CD");
        EXPECT_EQ(header(w.bytes()), 1);
        EXPECT_STREQ(PAT_NAME, "AB CD");
    }
    {
        DicomWriter w;
        w.raw(tag_bytes(0x0028, 0x0010) + "US" + std::string("\x02\x00\x80", 3));
        EXPECT_EQ(header(w.bytes()), 1);
        EXPECT_EQ(OrImSize_H, 128);
        EXPECT_EQ(ech, 128);
    }
    {
        // Pixel spacing cut inside its second half, and one cut inside its length field.
        DicomWriter w;
        w.element_len(0x0028, 0x0030, "DS", 12, "1.5\\2.2");
        EXPECT_EQ(header(w.bytes()), 1);
        EXPECT_FLOAT_EQ(VOXEL_SIZE_XY, (0.152f + 0.2f) / 2);  // halves "1.5\\2." and "2"
        DicomWriter v;
        v.raw(tag_bytes(0x0028, 0x0030) + "DS\x0c");
        EXPECT_EQ(header(v.bytes()), 1);
        EXPECT_FLOAT_EQ(VOXEL_SIZE_XY, 0.0f);
    }
}

TEST_F(DicomTest, PixelSpacingIsSplitAtHalfItsLengthNotAtTheBackslash) {
    DicomWriter w;
    w.element(0x0028, 0x0030, "DS", "4.7952\\4.8");  // halves '4.795' and '2\4.8'
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_NE(log().find("\n VOXEL : 0.4795000  -  0.2480000"), std::string::npos) << log();
    EXPECT_FLOAT_EQ(VOXEL_SIZE_XY, (0.4795f + 0.248f) / 2);
}

TEST_F(DicomTest, ImplicitVrFileGivesEmptyValuesAndNoFramesButItsMatrix) {
    DicomWriter w;
    w.raw(implicit(0x0008, 0x0022, "20200101") + implicit(0x0010, 0x0010, "DOE^JOHN") +
          implicit(0x0018, 0x0050, "4.7952") + implicit(0x0028, 0x0008, "64") +
          implicit(0x0028, 0x0010, std::string("\x40\x00", 2)) + implicit(0x0028, 0x0011, std::string("\x40\x00", 2)));
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_STREQ(PAT_NAME, "");
    EXPECT_STREQ(ACQ_DATE, "");
    EXPECT_EQ(Data_NZ, 0);
    EXPECT_EQ(NCZ, 0);
    EXPECT_FLOAT_EQ(VOXEL_SIZE_Z, 0.0f);
    EXPECT_EQ(ech, 64);  // Rows and Columns are read at p+8 whatever the length says
}

TEST_F(DicomTest, RowsAndColumnsAreTwoBytesWhateverTheirLength) {
    DicomWriter w;
    w.element_len(0x0028, 0x0010, "US", 4, std::string("\x80\x00\x07\x07", 4))
        .element_len(0x0028, 0x0011, "US", 0, std::string("\x00\x01", 2));
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_EQ(OrImSize_H, 128);
    EXPECT_EQ(OrImSize_V, 256);
    EXPECT_EQ(ech, 256);  // Columns comes last
    DicomWriter rows_only;
    rows_only.us(0x0028, 0x0010, 100);
    EXPECT_EQ(header(rows_only.bytes()), 1);
    EXPECT_EQ(ech, 100);
}

TEST_F(DicomTest, FirstMatchOfATagWinsEvenInsideAnEarlierValue) {
    // The name's pattern inside a value of another element is taken as the name.
    const std::string hidden = tag_bytes(0x0010, 0x0010) + "PN" + std::string("\x04\x00", 2) + "ABCD";
    DicomWriter w;
    w.element(0x0008, 0x1030, "LO", hidden).element(0x0010, 0x0010, "PN", "REAL^NAME ");
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_STREQ(PAT_NAME, "ABCD");
    EXPECT_EQ(log().find("REAL"), std::string::npos);
}

TEST_F(DicomTest, SecondFileWithoutIdentityShowsNoneOfTheFirstPatients) {
    // The bug was that a file without a name showed the previous patient's.
    DicomWriter first;
    first.element(0x0008, 0x0022, "DA", "20261103")
        .element(0x0010, 0x0010, "PN", "DOE^JOHN")
        .element(0x0010, 0x0020, "LO", "IPP-1 ")
        .element(0x0010, 0x0040, "CS", "M ")
        .element(0x0010, 0x1010, "AS", "045Y");
    EXPECT_EQ(header(first.bytes()), 1);
    ASSERT_STREQ(PAT_ID, "IPP-1");
    DicomWriter second;
    second.element(0x0010, 0x0040, "CS", "F ");
    EXPECT_EQ(header(second.bytes()), 1);
    EXPECT_STREQ(PAT_NAME, "");
    EXPECT_STREQ(PAT_ID, "");
    EXPECT_STREQ(ACQ_DATE, "");
    EXPECT_STREQ(PAT_AGE, "");
    EXPECT_STREQ(PAT_SEX, "F ");
}

TEST_F(DicomTest, TextsLongerThanTheirBuffersAreCut) {
    DicomWriter w;
    w.element(0x0010, 0x0010, "PN", std::string(150, 'N'))
        .element(0x0010, 0x0040, "CS", "MALE")
        .element(0x0010, 0x0030, "DA", std::string(30, '1'))
        .element(0x0008, 0x0022, "DA", "20261103" + std::string(40, '7'))
        .element(0x0010, 0x1010, "AS", std::string(40, '9'));
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_EQ(std::string(PAT_NAME), std::string(99, 'N'));
    EXPECT_STREQ(PAT_SEX, "MAL");
    EXPECT_EQ(std::strlen(PAT_DATE), 19u);
    // The replaced texts are sized to the value: the whole date, two slashes, reformatted.
    EXPECT_EQ(std::string(ACQ_DATE), "03/11/2026" + std::string(40, '7'));
    EXPECT_EQ(std::string(PAT_AGE), std::string(40, '9'));
}

TEST_F(DicomTest, ShortDatesAreShownAsFarAsTheyGo) {
    DicomWriter w;
    w.element(0x0008, 0x0022, "DA", "202611").element(0x0010, 0x0030, "DA", "19");
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_STREQ(ACQ_DATE, "11/2026");
    EXPECT_STREQ(PAT_DATE, "19");
    EXPECT_EQ(formatted(""), "");
    EXPECT_EQ(formatted("2026/11/0"), "0/11/2026");
    EXPECT_EQ(formatted("2026/11/03"), "03/11/2026");
    EXPECT_EQ(formatted("2026/11/03 12"), "03/11/2026 12");  // past ten characters nothing moves
}

// ---- the value filters -----------------------------------------------------------------------

TEST(DicomValues, TextModeTurnsCaretsToSpacesAndDropsWhatIsNotPlainAscii) {
    EXPECT_EQ(ascii("DOE^JOHN", 0, 1), "DOE JOHN");
    EXPECT_EQ(ascii("M\xDCLLER^J\xE9r\xF4me", 0, 1), "MLLER Jrme");
    EXPECT_EQ(ascii("O'BRIEN-SMITH, Dr.", 0, 1), "OBRIEN-SMITH Dr");
    EXPECT_EQ(ascii(std::string("AB\0C", 4), 0, 1), "ABC");
    EXPECT_EQ(ascii("F ", 0, 1), "F ");
}

TEST(DicomValues, AgeModeDropsLeadingZerosAndTheUpperCaseY) {
    EXPECT_EQ(ascii("045Y", 2, 0), "45");
    EXPECT_EQ(ascii("100Y", 2, 0), "100");
    EXPECT_EQ(ascii("000D", 2, 0), "D");
    EXPECT_EQ(ascii("012y", 2, 0), "12y");
    EXPECT_EQ(ascii("058Y", 2, 0), "58");
}

TEST(DicomValues, DateModeInsertsSlashesThatFormatDateRearranges) {
    EXPECT_EQ(ascii("19580214", 1, 1), "1958/02/14");
    EXPECT_EQ(formatted(ascii("19580214", 1, 1)), "14/02/1958");
    EXPECT_EQ(formatted(ascii("20000101", 1, 1)), "01/01/2000");
    EXPECT_EQ(ascii("1958.02.14", 1, 1), "1958/0/214");  // dots dropped, slashes go by byte index
}

TEST(DicomValues, VoxelSizeTakesFourSignificantDigitsWhereverThePointIs) {
    EXPECT_FLOAT_EQ(voxzize("4.7952") / 10000, 0.4795f);
    EXPECT_FLOAT_EQ(voxzize("4.8") / 10000, 0.48f);
    EXPECT_FLOAT_EQ(voxzize("12.5") / 10000, 0.125f);
    EXPECT_FLOAT_EQ(voxzize("0.5") / 10000, 0.5f);
    EXPECT_FLOAT_EQ(voxzize("0.05"), 5000.0f);
    EXPECT_FLOAT_EQ(voxzize("1.0001"), 1000.0f);
    EXPECT_FLOAT_EQ(voxzize(""), 0.0f);
    EXPECT_FLOAT_EQ(voxzize("0.000"), 0.0f);
}

TEST(DicomValues, FrameCountSkipsSpacesCountsOtherBytesAsZeroAndNeverWraps) {
    EXPECT_EQ(nframes("64"), 64);
    EXPECT_EQ(nframes("128 "), 128);
    EXPECT_EQ(nframes(" 32"), 32);
    EXPECT_EQ(nframes("6a4"), 604);
    EXPECT_EQ(nframes(""), 0);
    EXPECT_EQ(nframes("99999999999999999999"), INT_MAX);
}

// ---- rescale elements and memory failures ----------------------------------------------------

TEST_F(DicomTest, RescaleElementsMetBeforeTheNineAreReadAndLoggedNotFatal) {
    // The bug was that a harmless slope in a file without Acquisition Date ended the program.
    DicomWriter w;
    w.element(0x0010, 0x0010, "PN", "DOE^JOHN").element(0x0028, 0x1052, "DS", "-12.5E1").pixels({1, 2});
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_EQ(boxes(), 0);
    EXPECT_EQ(log(), "\nLoading DCM infos ...\n\n\n PAT name : DOE JOHN\n Pixel Data Found ..."
                     "\n RESCALE : slope 1  -  intercept -12.5E1\n-----------------------\n\n");
    EXPECT_EQ(RESCALE_SLOPE, 1.0);
    EXPECT_EQ(RESCALE_INTERCEPT, -125.0);
    // A value that is no number is kept as such for the loader to refuse; a VR other
    // than DS is another element's bytes.
    DicomWriter odd;
    odd.element(0x0028, 0x1053, "DS", "1,5 ").element(0x0028, 0x1052, "XX", "500 ");
    EXPECT_EQ(header(odd.bytes()), 1);
    EXPECT_TRUE(std::isnan(RESCALE_SLOPE));
    EXPECT_EQ(RESCALE_INTERCEPT, 0.0);
}

// ---- more edges of the walk and the filters --------------------------------------------------

TEST_F(DicomTest, TagsAreFoundAtOddPositionsInsideThePreamble) {
    // The walk starts at byte 0 and steps one byte at a time: a name element at
    // offset 5 of the preamble is the first match and wins over the real one.
    const std::string early = tag_bytes(0x0010, 0x0010) + "PN" + std::string("\x04\x00", 2) + "ODD^";
    DicomWriter w = nm_header(64, 64, 64);
    w.preamble(std::string(5, '\0') + early);
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_STREQ(PAT_NAME, "ODD ");
    EXPECT_EQ(log().rfind("\nLoading DCM infos ...\n\n\n PAT name : ODD \n ACQ date : ", 0), 0u) << log();
    EXPECT_EQ(log().find("DOE"), std::string::npos);
}

TEST_F(DicomTest, AgeIsNotAmongTheNineAndIsWorkedOutWhenNotReadBeforeThem) {
    DicomWriter first;
    first.element(0x0010, 0x1010, "AS", "045Y");
    EXPECT_EQ(header(first.bytes()), 1);
    ASSERT_STREQ(PAT_AGE, "45");
    // The nine in a file whose age stands after them: the walk ends at the ninth.
    DicomWriter w;
    w.element(0x0008, 0x0022, "DA", "20261103")
        .element(0x0010, 0x0010, "PN", "A^B ")
        .element(0x0010, 0x0030, "DA", "19580214")
        .element(0x0010, 0x0040, "CS", "M ")
        .element(0x0018, 0x0050, "DS", "4.8 ")
        .element(0x0028, 0x0008, "IS", "32")
        .us(0x0028, 0x0010, 64)
        .us(0x0028, 0x0011, 64)
        .element(0x0028, 0x0030, "DS", "4.8\\4.8 ")
        .element(0x0010, 0x1010, "AS", "077Y")
        .element(0x0028, 0x1052, "DS", "5 ");
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_EQ(boxes(), 0);
    // Not the last file's 45: the years from 14/02/1958 to 03/11/2026, marked as worked out.
    EXPECT_STREQ(PAT_AGE, "68");
    EXPECT_EQ(PAT_AGE_COMPUTED, 1);
    const std::string second = log().substr(log().rfind("\nLoading DCM infos"));
    EXPECT_EQ(second.find("PAT age"), std::string::npos) << second;
    const std::string tail = "\n Or Im Size V : 64\n VOXEL : 0.4800000  -  0.4800000"
                             "\n RESCALE : slope 1  -  intercept 5\n-----------------------\n\n";
    ASSERT_GT(second.size(), tail.size());
    EXPECT_EQ(second.substr(second.size() - tail.size()), tail);
}

TEST_F(DicomTest, RescaleBehindThePixelDataOfAnIncompleteFileIsNeverSeen) {
    // Acquisition date and more missing: only the pixel data ends the walk, and it
    // stands before the rescale slope.
    DicomWriter w;
    w.element(0x0010, 0x0010, "PN", "DOE^JOHN").pixels({1, 2, 3, 4}).element(0x0028, 0x1053, "DS", "2 ");
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_EQ(boxes(), 0);
    EXPECT_EQ(log(), "\nLoading DCM infos ...\n\n\n PAT name : DOE JOHN\n Pixel Data Found ...\n-----------------------\n\n");
}

TEST_F(DicomTest, PixelSpacingOfOddLengthLeavesItsLastByteOut) {
    // Length 7: halves of 3 bytes, '1\\2' and '.34', the last byte '5' unread.
    DicomWriter w;
    w.element(0x0028, 0x0030, "DS", "1\\2.345");
    EXPECT_EQ(header(w.bytes()), 1);
    EXPECT_NE(log().find("\n VOXEL : 0.1200000  -  0.3400000"), std::string::npos) << log();
    EXPECT_FLOAT_EQ(VOXEL_SIZE_XY, (0.12f + 0.34f) / 2);
}

TEST(DicomValues, FilterKeepsExactlyTheListedBytesAtEveryRangeBoundary) {
    // Neighbours of each range: '/' ':' '@' '[' '`' '{', and '_', tab, DEL, 0xFF.
    EXPECT_EQ(ascii("/0:@A[Z`a{z^_-\t\x7F\xFF 9", 0, 1), "0AZaz - 9");
    // In text mode without the flag a zero is dropped until a digit 1..9 sets it.
    EXPECT_EQ(ascii("0a0105", 0, 0), "a105");
    // Letters do not set the flag: an age '0D0' keeps only its letter.
    EXPECT_EQ(ascii("0D0", 2, 0), "D");
    EXPECT_EQ(ascii("10D0", 2, 0), "10D0");
    // Only the upper-case Y is dropped, and only in age mode.
    EXPECT_EQ(ascii("YyY", 2, 0), "y");
    EXPECT_EQ(ascii("YyY", 0, 1), "YyY");
    EXPECT_EQ(ascii("YyY", 1, 1), "YyY");
}

TEST(DicomValues, FormatDateMovesEveryCharacterToItsPlace) {
    EXPECT_EQ(formatted("ABCD/EF/GH"), "GH/EF/ABCD");
    EXPECT_EQ(formatted("0123456789"), "8975640123");
}

TEST(DicomValues, VoxelSizeAndFrameCountOddValues) {
    EXPECT_FLOAT_EQ(voxzize("0.047952"), 4795.0f);  // leading zeros skipped, then four digits
    EXPECT_FLOAT_EQ(voxzize("-7"), 7000.0f);        // the sign is skipped like the point
    EXPECT_FLOAT_EQ(voxzize("1\\2\\3\\4\\5"), 1234.0f);
    EXPECT_EQ(nframes("1 2 8"), 128);  // a space is skipped wherever it stands
    EXPECT_EQ(nframes("-5"), 5);       // the sign counts as a digit 0
    EXPECT_EQ(nframes(std::string("64\0", 3)), 640);  // a zero pad byte counts as a digit 0
}

// ---- identity: the name by its character set, the texts beyond the nine ------------------------

TEST_F(DicomTest, NameIsDecodedByItsCharacterSetAndKeptInLatin1WhileTheLogStaysAscii) {
    // The bug was that accented letters were deleted: "MLLER lonore".
    const std::string latin1 = "M\xDCLLER^\xC9l\xE9onore", utf8 = "M\xC3\x9CLLER^\xC3\x89l\xC3\xA9onore";
    const struct {
        const char* charset;  // nullptr: no (0008,0005)
        std::string name, want;
    } cases[] = {
        {"ISO_IR 100", latin1, "M\xDCLLER \xC9l\xE9onore"},
        {"ISO_IR 192", utf8, "M\xDCLLER \xC9l\xE9onore"},
        {nullptr, utf8, "M\xDCLLER \xC9l\xE9onore"},     // undeclared, but well-formed UTF-8
        {"ISO_IR 6", latin1, "M\xDCLLER \xC9l\xE9onore"},  // undeclared bytes above 0x7F: Latin-1
        {"ISO_IR 192", "Z\xC5\x81" "A\xE2\x82\xAC^D'AR\xFF", "Z?A D'AR?"},  // outside Latin-1, a sign (no letter), malformed
        {"ISO_IR 101", "DVO\xD8\xC1K^ANTON\xCDN", "DVO?\xC1K ANTON\xCDN"},  // Latin-2: what Latin-1 shares
        {"ISO_IR 144", "\xB8\xD2\xD0\xDD^IVAN", "???? IVAN"},                // Cyrillic
        {"\\ISO 2022 IR 87", "Yamada^Tarou=\x1B$B;3ED\x1B(B^\x1B$BB@O:\x1B(B", "Yamada Tarou"},
    };
    for (const auto& c : cases) {
        DicomWriter w;
        if (c.charset != nullptr) w.element(0x0008, 0x0005, "CS", c.charset);
        w.element(0x0010, 0x0010, "PN", c.name);
        start_in(dir.str());
        ASSERT_EQ(header(w.bytes()), 1);
        EXPECT_EQ(std::string(PAT_NAME), c.want) << (c.charset ? c.charset : "none");
        if (c.name == latin1) {
            EXPECT_EQ(log(), "\nLoading DCM infos ...\n\n\n PAT name : MLLER lonore\n-----------------------\n\n");
        }
    }
}

TEST_F(DicomTest, IdentificationExamDateAndAgeBeyondTheNine) {
    // Ordered NM file without Acquisition Date nor age: the study date stands in for the
    // exam date and the age is worked out; the radiopharmaceutical sits in its sequence.
    const std::string item = tag_bytes(0xFFFE, 0xE000) + std::string("\xFF\xFF\xFF\xFF", 4);
    DicomWriter w;
    w.element(0x0008, 0x0005, "CS", "ISO_IR 100")
        .element(0x0008, 0x0020, "DA", "20261103")
        .element(0x0008, 0x103E, "LO", "Effort TC99m ")
        .element(0x0010, 0x0010, "PN", "DOE^JOHN")
        .element(0x0010, 0x0020, "LO", " IPP \xC9-42 ")
        .element(0x0010, 0x0030, "DA", "19581104")
        .element(0x0010, 0x0040, "CS", "M ")
        .element(0x0020, 0x000D, "UI", std::string("1.2.826.0.1.3680043.2\0", 22))
        .element(0x0028, 0x0008, "IS", "32")
        .raw(tag_bytes(0x0054, 0x0016) + "SQ" + std::string(2, '\0') + std::string("\xFF\xFF\xFF\xFF", 4) + item)
        .element(0x0018, 0x0031, "LO", "Tc99m t\xE9trofosmine")
        .pixels({1, 2});
    ASSERT_EQ(header(w.bytes()), 1);
    EXPECT_STREQ(PAT_ID, "IPP \xC9-42");
    EXPECT_STREQ(STUDY_UID, "1.2.826.0.1.3680043.2");
    EXPECT_STREQ(STUDY_DATE, "03/11/2026");
    EXPECT_STREQ(ACQ_DATE, "03/11/2026");
    EXPECT_STREQ(SERIES_DESC, "Effort TC99m");
    EXPECT_STREQ(RADIOPHARM, "Tc99m t\xE9trofosmine");
    EXPECT_STREQ(PAT_AGE, "67");  // one day short of 68
    EXPECT_EQ(PAT_AGE_COMPUTED, 1);
    // None of it is logged: the log is the one of the nine.
    EXPECT_EQ(log(), "\nLoading DCM infos ...\n\n\n PAT name : DOE JOHN\n PAT date : 04/11/1958\n PAT sex : M "
                     "\n FRAMES : 32\n Pixel Data Found ...\n-----------------------\n\n");
    // An age the file gives is not marked; a date that is no date gives no age.
    DicomWriter given;
    given.element(0x0008, 0x0022, "DA", "20261103").element(0x0010, 0x0030, "DA", "1958").element(0x0010, 0x1010, "AS", "045Y");
    ASSERT_EQ(header(given.bytes()), 1);
    EXPECT_STREQ(PAT_AGE, "45");
    EXPECT_EQ(PAT_AGE_COMPUTED, 0);
    DicomWriter short_birth;
    short_birth.element(0x0008, 0x0022, "DA", "20261103").element(0x0010, 0x0030, "DA", "1958");
    ASSERT_EQ(header(short_birth.bytes()), 1);
    EXPECT_STREQ(PAT_AGE, "");
    EXPECT_EQ(PAT_AGE_COMPUTED, 0);
}

// The gates of a gated study stay with the program after the load, in the order gate after
// gate, slice after slice, whatever order the file stores its frames in; a file refused
// afterwards leaves them (and the volume) as they were; a plain study clears them.
#include <gtest/gtest.h>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcvrat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "Dicom.h"
#include "Gated_Function.h"
#include "headless.h"
#include "import.h"
#include "main.h"
#include "test_support.h"

namespace {

constexpr int SIDE = 8, SLICES = 6, SLOTS = 4;

// How a test file differs from the plain one below.
struct GatedOptions {
    bool by_vectors = false;  // frames in a shuffled order that the two vectors give
    int top = 0;              // > 0: counts up to this, so the sum of the gates overflows 16 bits
    bool rescaled = false;    // a Rescale Slope and Intercept
    int offset = 0;           // added to every value of the plain file
};

// Frame f of the file is (gate f % SLOTS, slice f / SLOTS): the slice varies slowest, as the
// Frame Increment Pointer lists it first. Pixel values name their gate and slice.
std::string gated_file(const std::string& folder, const char* name, int slices_said, GatedOptions o = {}) {
    DcmFileFormat file;
    DcmDataset& ds = *file.getDataset();
    char uid[100];
    ds.putAndInsertString(DCM_SOPClassUID, UID_NuclearMedicineImageStorage);
    ds.putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid));
    ds.putAndInsertString(DCM_Modality, "NM");
    ds.putAndInsertString(DCM_AcquisitionDate, "20261103");
    ds.putAndInsertString(DCM_PatientName, "GATES^TEST");
    ds.putAndInsertString(DCM_PatientSex, "M");
    ds.putAndInsertString(DCM_PatientBirthDate, "19500101");
    ds.putAndInsertString(DCM_SliceThickness, "6.4");
    ds.putAndInsertString(DCM_PixelSpacing, "6.4\\6.4");
    ds.putAndInsertString(DCM_NumberOfFrames, std::to_string(SLOTS * SLICES).c_str());
    auto* pointer = new DcmAttributeTag(DCM_FrameIncrementPointer);
    pointer->putTagVal(DCM_SliceVector, 0);
    pointer->putTagVal(DCM_TimeSlotVector, 1);
    ds.insert(pointer, true);
    ds.putAndInsertUint16(DCM_Rows, SIDE);
    ds.putAndInsertUint16(DCM_Columns, SIDE);
    ds.putAndInsertUint16(DCM_SamplesPerPixel, 1);
    ds.putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
    ds.putAndInsertUint16(DCM_BitsAllocated, 16);
    ds.putAndInsertUint16(DCM_BitsStored, 16);
    ds.putAndInsertUint16(DCM_HighBit, 15);
    ds.putAndInsertUint16(DCM_PixelRepresentation, 0);
    ds.putAndInsertUint16(DCM_NumberOfTimeSlots, SLOTS);
    ds.putAndInsertUint16(DCM_NumberOfSlices, static_cast<Uint16>(slices_said));
    std::vector<Uint16> px(SLOTS * SLICES * SIDE * SIDE);
    for (int f = 0; f < SLOTS * SLICES; f++)
        for (int p = 0; p < SIDE * SIDE; p++)
            px[f * SIDE * SIDE + p] = static_cast<Uint16>(o.top > 0 ? o.top - 97 * (f % 7) - 311 * (p % 13)
                                                                     : o.offset + 100 * (f % SLOTS + 1) + f / SLOTS + p);
    if (o.by_vectors) {  // frame f holds what frame 5f mod 24 held, and the vectors say where it goes
        std::vector<Uint16> shuffled(px.size()), gate_of, slice_of;
        for (int f = 0; f < SLOTS * SLICES; f++) {
            const int from = 5 * f % (SLOTS * SLICES);
            std::copy_n(px.begin() + from * SIDE * SIDE, SIDE * SIDE, shuffled.begin() + f * SIDE * SIDE);
            gate_of.push_back(static_cast<Uint16>(from % SLOTS + 1));
            slice_of.push_back(static_cast<Uint16>(from / SLOTS + 1));
        }
        px = shuffled;
        ds.putAndInsertUint16Array(DCM_TimeSlotVector, gate_of.data(), SLOTS * SLICES);
        ds.putAndInsertUint16Array(DCM_SliceVector, slice_of.data(), SLOTS * SLICES);
    }
    if (o.rescaled) {
        ds.putAndInsertString(DCM_RescaleSlope, "0.37");
        ds.putAndInsertString(DCM_RescaleIntercept, "-2.5");
    }
    ds.putAndInsertUint16Array(DCM_PixelData, px.data(), static_cast<unsigned long>(px.size()));
    const std::string path = folder + "/" + name;
    EXPECT_TRUE(file.saveFile(path.c_str(), EXS_LittleEndianExplicit).good());
    return path;
}

TEST(Gates, KeptInGateOrderAfterTheLoadUntilAnotherStudyOpens) {
    TempDir dir;
    start_in(dir.str());
    register_import_hooks();
    ASSERT_EQ(LOAD_DCM_PATH(gated_file(dir.str(), "gated.dcm", SLICES).c_str()), 1);
    ASSERT_EQ(GATES.count, SLOTS);
    ASSERT_EQ(GATES.slices, SLICES);
    ASSERT_EQ(GATES.size, SIDE);
    EXPECT_TRUE(GATES.is_unsigned);
    ASSERT_EQ(GATES.voxels.size(), static_cast<std::size_t>(SLOTS * SLICES * SIDE * SIDE));
    for (int g = 0; g < SLOTS; g++)
        for (int s = 0; s < SLICES; s++)
            EXPECT_EQ(GATES.voxels[(g * SLICES + s) * SIDE * SIDE + 5], 100 * (g + 1) + s + 5) << g << " " << s;
    EXPECT_NE(std::string(STUDY_NOTE).find("(4 intervalles)"), std::string::npos) << STUDY_NOTE;

    // Refused (its slices do not fill the gates): gates, note and volume stay.
    const std::vector<std::int16_t> kept = GATES.voxels;
    const unsigned long generation = data_generation;
    EXPECT_EQ(LOAD_DCM_PATH(gated_file(dir.str(), "wrong.dcm", SLICES + 1).c_str()), 0);
    EXPECT_EQ(GATES.voxels, kept);
    EXPECT_TRUE(GATES_PENDING.voxels.empty());
    EXPECT_EQ(data_generation, generation);
    EXPECT_NE(std::string(STUDY_NOTE).find("(4 intervalles)"), std::string::npos);

    // A study without gates clears them and the note.
    const std::string plain = std::string(VESMORA_BINARY_DIR) + "/samples/normal-64.dcm";
    ASSERT_EQ(LOAD_DCM_PATH(plain.c_str()), 1);
    EXPECT_EQ(GATES.count, 0);
    EXPECT_TRUE(GATES.voxels.empty());
    EXPECT_STREQ(STUDY_NOTE, "");
    open_hooks.prepare = nullptr;
}

// The Windows program has no import: its reader sums a gated file itself, and must give the
// volume, the gates and the note the import gives, to the bit.
TEST(Gates, TheReaderAloneSumsAsTheImportDoes) {
    TempDir dir;
    for (const GatedOptions o : {GatedOptions{}, GatedOptions{.by_vectors = true, .top = 60000, .rescaled = true}}) {
        SCOPED_TRACE(o.by_vectors ? "vectors, overflowing, rescaled" : "increment pointer");
        const std::string path = gated_file(dir.str(), o.by_vectors ? "v.dcm" : "p.dcm", SLICES, o);
        start_in(dir.str());
        register_import_hooks();
        ASSERT_EQ(LOAD_DCM_PATH(path.c_str()), 1);
        const std::vector<float> imported(data, data + VOL_SIZE);
        const GateFrames gates = GATES;
        const std::string note = STUDY_NOTE;
        const double slope = RESCALE_SLOPE, intercept = RESCALE_INTERCEPT;

        start_in(dir.str());
        open_hooks.prepare = nullptr;
        ASSERT_EQ(LOAD_DCM_PATH(path.c_str()), 1);
        EXPECT_EQ(NCZ, SLICES);
        EXPECT_EQ(RESCALE_SLOPE, slope);
        EXPECT_EQ(RESCALE_INTERCEPT, intercept);
        EXPECT_EQ(std::memcmp(data, imported.data(), sizeof data), 0);
        EXPECT_EQ(GATES.count, gates.count);
        EXPECT_EQ(GATES.voxels, gates.voxels);
        EXPECT_EQ(STUDY_NOTE, note);
    }
    // Refused by the reader as by the import, naming the file.
    const std::string wrong = gated_file(dir.str(), "wrong.dcm", SLICES + 1);
    EXPECT_EQ(LOAD_DCM_PATH(wrong.c_str()), 0);
    ASSERT_FALSE(headless::state().boxes.empty());
    EXPECT_NE(headless::state().boxes.back().text.find("Le fichier " + wrong + " ne peut pas \xEAtre ouvert : le nombre de coupes"),
              std::string::npos);
    EXPECT_EQ(GATES.count, SLOTS);
}

// Each gate read back where the load put the summed study: the gates add up to `data`, also
// when the sum overflowed 16 bits and the import scaled it down (offset 30000: four gates
// reach 120,000), and each keeps its own values (gate 2 over gate 1 at a source voxel).
TEST(Gates, SampledAsTheLoadShowsTheSum) {
    TempDir dir;
    start_in(dir.str());
    register_import_hooks();
    for (int offset : {0, 30000}) {
        ASSERT_EQ(LOAD_DCM_PATH(gated_file(dir.str(), ("s" + std::to_string(offset) + ".dcm").c_str(), SLICES, {.offset = offset})
                                    .c_str()),
                  1);
        for (const auto& [i, j, k] : {std::array<int, 3>{96, 159, 191}, {40, 200, 180}, {200, 100, 150}, {10, 250, 100}}) {
            float sum = 0;
            for (int g = 0; g < SLOTS; g++) sum += GATE_SAMPLE(g, i, j, k);
            ASSERT_GT(data[i * 65536 + j * 256 + k], 10.0f);
            EXPECT_NEAR(sum, data[i * 65536 + j * 256 + k], 0.01f) << offset << ": " << i << " " << j << " " << k;
        }
        // Source voxel (slice 4, row 3, column 4): i = 32 x 3, j = 255 - 32 x (7 - 4), k = 255 - 32 x (5 + 1 - 4).
        EXPECT_NEAR(GATE_SAMPLE(1, 96, 159, 191) / GATE_SAMPLE(0, 96, 159, 191), (offset + 232.0) / (offset + 132.0), 1e-4)
            << offset;
        EXPECT_EQ(GATE_SAMPLE(0, 96, 159, 5), 0.0f);  // before the first frame
    }
    open_hooks.prepare = nullptr;
}

}  // namespace

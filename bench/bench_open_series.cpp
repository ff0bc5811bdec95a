// Opening a 128 x 128 x 128 study stored one frame per file (128 files, found from any one of
// them, checked, put in slice order and joined) against the same study as one multi-frame file.
// Both go through LOAD_DCM_PATH with the import hook, as "Ouvrir" does.
#include <benchmark/benchmark.h>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "Dicom.h"
#include "headless.h"
#include "import.h"
#include "main.h"

namespace fs = std::filesystem;

namespace {

const fs::path folder = fs::temp_directory_path() / "vesmora-bench-open-series";
const std::string study = std::string(VESMORA_BINARY_DIR) + "/samples/normal-128.dcm";

// The study's frames written one per file, each with its position along z.
std::string split_once() {
    static std::string first;
    if (!first.empty()) return first;
    fs::remove_all(folder);
    fs::create_directories(folder / "serie");
    headless::reset();
    headless::set_module_path((folder / "vesmora").string());
    STARTUP();
    register_import_hooks();
    DcmFileFormat whole;
    if (whole.loadFile(study.c_str()).bad()) return "";
    DcmDataset* d = whole.getDataset();
    Uint16 rows = 0, cols = 0;
    Sint32 frames = 0;
    const Uint16* pixels = nullptr;
    d->findAndGetUint16(DCM_Rows, rows);
    d->findAndGetUint16(DCM_Columns, cols);
    d->findAndGetSint32(DCM_NumberOfFrames, frames);
    d->findAndGetUint16Array(DCM_PixelData, pixels);
    const unsigned long per_frame = static_cast<unsigned long>(rows) * cols;
    for (Sint32 k = 0; k < frames; k++) {
        DcmFileFormat one(whole);
        DcmDataset* o = one.getDataset();
        o->findAndDeleteElement(DCM_NumberOfFrames);
        o->findAndDeleteElement(DCM_FrameIncrementPointer);
        o->findAndDeleteElement(DCM_SliceVector);
        o->findAndDeleteElement(DCM_NumberOfSlices);
        char text[64];
        std::snprintf(text, sizeof text, "%d", k + 1);
        o->putAndInsertString(DCM_InstanceNumber, text);
        o->putAndInsertString(DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0");
        std::snprintf(text, sizeof text, "-100\\-100\\%.4f", -50.0 + k * 2.3976);
        o->putAndInsertString(DCM_ImagePositionPatient, text);
        o->putAndInsertUint16Array(DCM_PixelData, pixels + k * per_frame, per_frame);
        // Names that do not follow the slices, as on a CD.
        std::snprintf(text, sizeof text, "IM%04d", (k * 37) % frames);
        const std::string path = (folder / "serie" / text).string();
        if (one.saveFile(path.c_str(), EXS_LittleEndianExplicit).bad()) return "";
        if (k == 0) first = path;
    }
    return first;
}

void open(benchmark::State& state, bool series) {
    const std::string one = split_once();
    if (one.empty()) {
        state.SkipWithError("the series could not be written");
        return;
    }
    const std::string path = series ? one : study;
    for (auto _ : state) {
        if (LOAD_DCM_PATH(path.c_str()) != 1) state.SkipWithError("refused");
        benchmark::DoNotOptimize(data[128 * 65536 + 128 * 256 + 128]);
    }
}

void BM_Open_MultiFrame(benchmark::State& s) { open(s, false); }
void BM_Open_Series128Files(benchmark::State& s) { open(s, true); }

}  // namespace

BENCHMARK(BM_Open_MultiFrame)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Open_Series128Files)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK_MAIN();

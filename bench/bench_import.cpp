// Opening a 128 x 128 x 128 study: as the reader takes it (explicit VR little endian) and
// compressed in JPEG lossless (decoded by the import into memory, then the same reader).
// The compressed one should take at most twice the time of the other.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmjpeg/djencode.h>
#include <dcmtk/dcmjpeg/djrplol.h>

#include "Dicom.h"
#include "headless.h"
#include "import.h"
#include "main.h"

namespace {

const std::string plain = std::string(VESMORA_BINARY_DIR) + "/samples/normal-128.dcm";

// The sample study once more in JPEG lossless (process 14, SV1), beside a fresh program.
const std::string& compressed() {
    static const std::string path = [] {
        const auto folder = std::filesystem::temp_directory_path() / "vesmora-bench-import";
        std::filesystem::create_directories(folder);
        headless::reset();
        headless::set_module_path((folder / "vesmora").string());
        STARTUP();
        register_import_hooks();
        DJEncoderRegistration::registerCodecs();
        const std::string out = (folder / "normal-128-jpeg-lossless.dcm").string();
        DcmFileFormat file;
        DJ_RPLossless params;
        if (file.loadFile(plain.c_str()).bad() ||
            file.getDataset()->chooseRepresentation(EXS_JPEGProcess14SV1, &params).bad() ||
            file.saveFile(out.c_str(), EXS_JPEGProcess14SV1).bad())
            return std::string();
        return out;
    }();
    return path;
}

void BM_Open(benchmark::State& state, bool jpeg) {
    const std::string& c = compressed();
    const std::string path = jpeg ? c : plain;
    if (c.empty()) {
        state.SkipWithError("sample study missing or not compressed: build the default preset first");
        return;
    }
    for (auto _ : state)
        if (LOAD_DCM_PATH(path.c_str()) != 1) {
            state.SkipWithError("refused");
            return;
        }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

// The decoding alone: the compressed file into the reader's bytes in memory.
void BM_Decode(benchmark::State& state) {
    const std::string& c = compressed();
    if (c.empty()) {
        state.SkipWithError("sample study missing or not compressed: build the default preset first");
        return;
    }
    for (auto _ : state) {
        PreparedStudy out;
        std::string error;
        if (prepare_study(c.c_str(), out, error) != 1) {
            state.SkipWithError("not decoded");
            return;
        }
        out.release(out);
    }
}

}  // namespace

BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Open, explicit_le_128, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Open, jpeg_lossless_128, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();

// The function of a gated study (MEASURE_FUNCTION) on a phantom of the sample generator: 8 gates
// of 64 x 64 x 64, 14 mm FWHM, Poisson noise, loaded as "Ouvrir" loads it and the model placed
// with AUTO_PLACE. Each run starts from a volume just loaded (the gates' scale worked out again),
// so the time is the whole measure a user waits for. The target is under 1 s.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Auto_Place.h"
#include "Dicom.h"
#include "Gated_Function.h"
#include "headless.h"
#include "import.h"
#include "main.h"
#include "sample_study.h"

namespace {

bool open_gated() {
    const auto folder = std::filesystem::temp_directory_path() / "vesmora-bench-function";
    std::filesystem::create_directories(folder);
    headless::reset();
    headless::set_module_path((folder / "vesmora").string());
    STARTUP();
    register_import_hooks();
    sample::Options o;
    o.gates = 8;
    o.fwhm = 14;
    o.scale = sample::scale_for_cavity(o, 100);
    const auto bytes = sample::make_dicom(o, sample::make_phantom(o));
    const std::string path = (folder / "gated-8.dcm").string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    headless::queue_open_answer(path);
    if (LOAD_DCM_FILE() != 1) return false;
    load_ok = 1;
    return AUTO_PLACE() == 1;
}

void BM_MeasureFunction(benchmark::State& state) {
    if (!open_gated()) {
        state.SkipWithError("the gated phantom could not be loaded and placed");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        DATA_CHANGED();  // as after a load: the gates' scale is worked out again
        state.ResumeTiming();
        const GatedFunction f = MEASURE_FUNCTION();
        if (!f.measured) {
            state.SkipWithError("not measured");
            return;
        }
        benchmark::DoNotOptimize(f.ef_percent);
    }
}

BENCHMARK(BM_MeasureFunction)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

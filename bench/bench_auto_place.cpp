// The automatic placement (AUTO_PLACE) on the sample studies written by the build
// (samples/ of the build tree): the normal and the LAD-defect studies of both matrices, each loaded as
// "Ouvrir" loads it; and on phantoms of the sample generator with an LAD defect and a liver as hot
// as the wall touching it: a heart of size 0.9 on both matrices, placed, and one of size 0.55 that
// the placement refuses after trying every candidate (its slowest road). The time covers the whole placement: the shrinking of the volume,
// the search, the fit and the redrawing of the views with the model.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Auto_Place.h"
#include "Dicom.h"
#include "headless.h"
#include "main.h"
#include "sample_study.h"

namespace {

std::string loaded;

bool open_sample(const std::string& name) {
    if (loaded == name) return true;
    if (loaded.empty()) {
        const auto folder = std::filesystem::temp_directory_path() / "vesmora-bench-auto-place";
        std::filesystem::create_directories(folder);
        headless::reset();
        headless::set_module_path((folder / "vesmora").string());
        STARTUP();
    }
    std::string path = std::string(VESMORA_BINARY_DIR) + "/samples/" + name + ".dcm";
    if (name.rfind("liver-", 0) == 0) {
        sample::Options o;
        o.matrix = name == "liver-128" ? 128 : 64;
        o.scale = name == "liver-refused" ? 0.55 : 0.9;
        o.lad = 50;
        o.liver = 100;
        o.liver_near = 23;
        const auto bytes = sample::make_dicom(o, sample::make_phantom(o));
        path = (std::filesystem::temp_directory_path() / "vesmora-bench-auto-place" / (name + ".dcm")).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    headless::queue_open_answer(path);
    if (LOAD_DCM_FILE() != 1) return false;
    load_ok = 1;
    loaded = name;
    return true;
}

void BM_AutoPlace(benchmark::State& state, const char* name) {
    const int expected = std::string(name) == "liver-refused" ? 0 : 1;
    if (!open_sample(name)) {
        state.SkipWithError("sample study missing: build the default preset first");
        return;
    }
    for (auto _ : state) {
        if (AUTO_PLACE() != expected) {
            state.SkipWithError(expected ? "no ventricle found" : "placed where a refusal was expected");
            return;
        }
        benchmark::DoNotOptimize(ell_ri);
        state.PauseTiming();
        for (auto& b : headless::state().bitmaps)
            if (!b->alive) std::vector<unsigned char>().swap(b->pixels);  // copies of replaced pictures
        state.ResumeTiming();
    }
}

BENCHMARK_CAPTURE(BM_AutoPlace, normal_64, "normal-64")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_AutoPlace, lad_64, "lad-64")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_AutoPlace, normal_128, "normal-128")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_AutoPlace, lad_128, "lad-128")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_AutoPlace, liver_touching_64, "liver-64")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_AutoPlace, liver_touching_128, "liver-128")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_AutoPlace, refused_64, "liver-refused")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

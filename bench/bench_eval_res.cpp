// "Résultats": the fast EVAL_RES against the literal transcription of its
// steps, on a synthetic 64-matrix and 128-matrix study and on the normal
// 64-matrix and 128-matrix sample studies (samples/ of the build tree, written by the build),
// with the default model placed as "Centrer volume" places it at the slices
// 128, 128, 128.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "synth_study.h"
#include "Dicom.h"
#include "Display.h"
#include "Results.h"
#include "headless.h"
#include "literal.h"
#include "main.h"

namespace {

int loaded_matrix = 0;

void prepare(int matrix) {
    if (loaded_matrix == 0) {
        const auto folder = std::filesystem::temp_directory_path() / "vesmora-bench-eval-res";
        std::filesystem::create_directories(folder);
        headless::reset();
        headless::set_module_path((folder / "vesmora").string());
        INIT_STATE();
    }
    if (loaded_matrix != matrix) {
        synth::fill_study(matrix);
        loaded_matrix = matrix;
    }
    synth::place_default_model();
}

// Each result picture keeps a copy of its pixels in the headless back end;
// the copies of pictures already replaced are dropped between iterations.
void drop_replaced_pictures() {
    for (auto& b : headless::state().bitmaps)
        if (!b->alive) {
            b->pixels.clear();
            b->pixels.shrink_to_fit();
        }
}

// Opens samples/normal-<matrix>.dcm as "Ouvrir" does; false when the build has not written it.
bool prepare_sample(int matrix) {
    prepare(matrix);  // a started program
    loaded_matrix = -matrix;
    headless::queue_open_answer(std::string(VESMORA_BINARY_DIR) + "/samples/normal-" + std::to_string(matrix) + ".dcm");
    if (LOAD_DCM_FILE() != 1) return false;
    synth::place_default_model();
    return true;
}

void run(benchmark::State& state, int (*eval)(), bool sample = false) {
    if (sample) {
        if (!prepare_sample(static_cast<int>(state.range(0)))) {
            state.SkipWithError("sample study missing: build the default preset first");
            return;
        }
    } else {
        prepare(static_cast<int>(state.range(0)));
    }
    for (auto _ : state) {
        eval();
        benchmark::DoNotOptimize(SECTEUR[17]);
        state.PauseTiming();
        drop_replaced_pictures();
        state.ResumeTiming();
    }
}

void BM_EvalRes_Literal(benchmark::State& state) { run(state, LITERAL_EVAL_RES); }
void BM_EvalRes_Fast(benchmark::State& state) { run(state, EVAL_RES); }
void BM_EvalRes_Sample_Literal(benchmark::State& state) { run(state, LITERAL_EVAL_RES, true); }
void BM_EvalRes_Sample_Fast(benchmark::State& state) { run(state, EVAL_RES, true); }

}  // namespace

BENCHMARK(BM_EvalRes_Literal)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EvalRes_Fast)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(BM_EvalRes_Sample_Literal)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EvalRes_Sample_Fast)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();

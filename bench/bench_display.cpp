// DISPLAY on a loaded synthetic study with the model placed and the shadow on:
// the drawing of the six pictures, the literal transcription it must equal,
// and the whole call with the hand-over.
#include <benchmark/benchmark.h>

#include "display_study.h"
#include "Display.h"
#include "headless.h"
#include "literal.h"
#include "main.h"

namespace {

// A fresh back end with the main window; the pictures have no bitmap yet.
void fresh_window() {
    headless::reset();
    WINDOW = plat_create_window(TPL_WIN, nullptr, nullptr);
    bmphla = bmpvla = bmpsa = bmpshla = bmpsvla = bmpssa = nullptr;
}

void prepare() {
    static bool started = false;
    if (!started) {
        headless::reset();
        INIT_STATE();
        fill_test_palettes();
        fill_overlay_colours();
        fill_synthetic_study();
        started = true;
    }
    fresh_window();
    place_study_model();
    EVAL_SECT();
}

// What changes between two calls during a drag. Model drag (argument 0): the
// outer centre and the inner semi-axes move, the slices stay, so the drawing
// finds the three planes it keeps. Slice drag (argument 1): all three slices
// move at every call (a real slice drag moves one of them): the VLA and SA
// planes are read anew each time, the HLA one when its block of 16 slices
// changes (about one call in four here). Slice jumps (argument 2): as 1, but
// the HLA slice lands in another block at every call, the worst case for what
// the drawing keeps.
void next_step(const benchmark::State& state, int n) {
    if (state.range(0) == 0) {
        ell_cj = 124 + n % 9;
        ill_cj = ell_cj;
        ill_rj = 20 + n % 7;
    } else {
        Nsa = 70 + (n * 7) % 120;
        Nhla = state.range(0) == 1 ? 110 + (n * 3) % 40 : 8 + 16 * ((n * 5) % 16);
        Nvla = 105 + (n * 5) % 45;
    }
}

void BM_DisplayDrawing(benchmark::State& state) {
    prepare();
    int n = 0;
    for (auto _ : state) {
        next_step(state, n++);
        DRAW_DISPLAY();
        benchmark::DoNotOptimize(BMPhla[0]);
    }
}
BENCHMARK(BM_DisplayDrawing)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_DisplayDrawingLiteral(benchmark::State& state) {
    prepare();
    int n = 0;
    for (auto _ : state) {
        next_step(state, n++);
        LITERAL_DISPLAY_DRAW();
        benchmark::DoNotOptimize(BMPhla[0]);
    }
}
BENCHMARK(BM_DisplayDrawingLiteral)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Only the loads of the HLA view's voxels, one per cache line, 65536 lines
// spread over the whole volume: the memory floor under the drawing (the
// literal drawing pays it as well).
void BM_HlaVoxelLoadsOnly(benchmark::State& state) {
    prepare();
    int n = 0;
    static float row[256];
    for (auto _ : state) {
        next_step(state, n++);
        float sum = 0.0f;
        for (int y = 0; y < 256; y++) {
            const float* src = data + y * 65536 + Nhla;
            for (int x = 0; x < 256; x++) row[x] = src[x * 256];
            sum += row[y];
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_HlaVoxelLoadsOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// With the hand-over of the headless back end (six copies of the pictures).
void BM_DisplayWithHandOver(benchmark::State& state) {
    prepare();
    int n = 0;
    for (auto _ : state) {
        next_step(state, n++);
        DISPLAY();
        if (headless::state().bitmaps.size() > 600) {
            state.PauseTiming();
            fresh_window();  // the back end keeps every bitmap ever made
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_DisplayWithHandOver)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

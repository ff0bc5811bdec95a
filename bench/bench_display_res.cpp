// DISPLAY_RES in its four pictures against the literal baseline, and the palette
// bar and the polar map. The state is filled once as an evaluation would leave it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "Display.h"
#include "headless.h"
#include "literal.h"
#include "main.h"

namespace {

void prepare() {
    static bool done = false;
    if (done) return;
    done = true;
    const std::string folder = std::filesystem::temp_directory_path().string();
    headless::reset();
    headless::set_module_path(folder + "/vesmora-bench");
    INIT_STATE();
    WINDOW = plat_create_window(TPL_WIN, nullptr, nullptr);
    STATICres = plat_get_dlg_item(WINDOW, 46);
    STATICpal = plat_get_dlg_item(WINDOW, 60);
    for (int n = 1; n <= 17; n++) winsect[n] = plat_create_window(TPL_SECTWIN, WINDOW, nullptr);
    ell_ci = ill_ci = plan_i = ell_cj = ell_ck = ill_cj = ill_ck = 128;
    ell_ri = 80;
    ell_rj = ell_rk = 50;
    ill_ri = 30;
    ill_rj = ill_rk = 20;
    EVAL_APEX();
    for (int r = 0; r < 240; r++)
        for (int s = 0; s < 480; s++) SAMPLE[r * 480 + s] = static_cast<float>(60 + 35 * std::sin(s * 0.02 + r * 0.01));
    for (int k = 0; k < 400 * 400; k++) BULL[k] = static_cast<float>(k % 997) / 10.0f;
    for (int n = 1; n <= 17; n++) {
        SECTEUR[n] = 5.5f * n;
        SCORE[n] = n % 5;
    }
    res_ok = 1;
}

// Keeps the headless back end's list of bitmaps from growing without end.
void trim_bitmaps() {
    auto& b = headless::state().bitmaps;
    if (b.size() > 64) {
        std::erase_if(b, [](const std::unique_ptr<PlatBitmap_>& p) { return !p->alive; });
    }
}

void run(benchmark::State& st, int mode, int (*draw)()) {
    prepare();
    RES_DISP = mode;
    res3D_ang = 8;
    for (auto _ : st) {
        draw();
        benchmark::DoNotOptimize(BMPres[1000]);
        trim_bitmaps();
    }
}

void BM_DisplayRes_Bull(benchmark::State& st) { run(st, 0, DISPLAY_RES); }
void BM_DisplayRes_Sectors(benchmark::State& st) { run(st, 1, DISPLAY_RES); }
void BM_DisplayRes_Scores(benchmark::State& st) { run(st, 12, DISPLAY_RES); }
void BM_DisplayRes_Lateral(benchmark::State& st) { run(st, 2, DISPLAY_RES); }
void BM_Literal_DisplayRes_Bull(benchmark::State& st) { run(st, 0, literal_DISPLAY_RES); }
void BM_Literal_DisplayRes_Sectors(benchmark::State& st) { run(st, 1, literal_DISPLAY_RES); }
void BM_Literal_DisplayRes_Scores(benchmark::State& st) { run(st, 12, literal_DISPLAY_RES); }
void BM_Literal_DisplayRes_Lateral(benchmark::State& st) { run(st, 2, literal_DISPLAY_RES); }

// Before any evaluation only the hand-over runs: the share of the headless back
// end (a 480,000-byte copy into a new bitmap) in every figure above.
void BM_DisplayRes_HandOverOnly(benchmark::State& st) {
    prepare();
    res_ok = 0;
    for (auto _ : st) {
        DISPLAY_RES();
        trim_bitmaps();
    }
    res_ok = 1;
}

void BM_CreatePalbmp(benchmark::State& st) {
    prepare();
    for (auto _ : st) {
        CREATE_PALBMP();
        benchmark::DoNotOptimize(BMPpal[100]);
        trim_bitmaps();
    }
}

void BM_InitSect(benchmark::State& st) {
    prepare();
    for (auto _ : st) {
        INIT_SECT();
        benchmark::DoNotOptimize(mesh_sect[80000]);
    }
}

}  // namespace

BENCHMARK(BM_DisplayRes_Bull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Literal_DisplayRes_Bull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayRes_Sectors)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Literal_DisplayRes_Sectors)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayRes_Scores)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Literal_DisplayRes_Scores)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayRes_Lateral)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Literal_DisplayRes_Lateral)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayRes_HandOverOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CreatePalbmp)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InitSect)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

// The report of one analysed study: the page as RGB pixels (what the DICOM Secondary
// Capture takes), the page as a PDF file, and the eight PNG pictures. The LAD sample
// study is opened, centred and evaluated once, as the user does it.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "headless.h"
#include "layout.h"
#include "main.h"
#include "report.h"

namespace {

const std::string folder = std::filesystem::temp_directory_path().string() + "/vesmora-bench-report";

const ReportInfo& prepare() {
    static ReportInfo info;
    if (!info.file.empty()) return info;
    report_ensure_gui();
    std::filesystem::create_directories(folder);
    headless::reset();
    headless::set_module_path(folder + "/vesmora");
    STARTUP();
    info.file = VESMORA_BINARY_DIR "/samples/lad-128.dcm";
    headless::queue_open_answer(info.file);
    plat_send_message(WINDOW, VM_COMMAND, ID_OPEN, 0);
    plat_send_message(WINDOW, VM_COMMAND, ID_PLACE_MODEL, 0);
    plat_send_message(WINDOW, VM_COMMAND, ID_RESULTS, 0);
    info.sha256 = file_sha256(info.file);
    info.analysed_at = "07/12/2026 14:03";
    return info;
}

void BM_ReportPageRgb(benchmark::State& state) {
    const ReportInfo& info = prepare();
    for (auto _ : state) {
        int w = 0, h = 0;
        benchmark::DoNotOptimize(report_page_rgb(info, w, h));
    }
}
BENCHMARK(BM_ReportPageRgb)->Unit(benchmark::kMillisecond);

void BM_ReportPdf(benchmark::State& state) {
    const ReportInfo& info = prepare();
    std::string error;
    for (auto _ : state)
        if (!write_report_pdf(folder + "/rapport.pdf", info, error)) state.SkipWithError("PDF not written");
}
BENCHMARK(BM_ReportPdf)->Unit(benchmark::kMillisecond);

void BM_PicturesPng(benchmark::State& state) {
    prepare();
    std::string error;
    for (auto _ : state)
        if (!write_pictures_png(folder, "lad-128", error)) state.SkipWithError("pictures not written");
}
BENCHMARK(BM_PicturesPng)->Unit(benchmark::kMillisecond);

void BM_Sha256(benchmark::State& state) {
    const ReportInfo& info = prepare();
    for (auto _ : state) benchmark::DoNotOptimize(file_sha256(info.file));
}
BENCHMARK(BM_Sha256)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

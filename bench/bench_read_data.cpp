// READ_DATA on 64^3 and 128^3 studies: the step-by-step transcription against
// the program's own version (per-axis tables, mirrors folded in, both cores).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "Dicom.h"
#include "headless.h"
#include "literal.h"
#include "main.h"

namespace {

// A study with the block at the file's tail, which is all READ_DATA looks at.
std::string make_study(int e, int frames) {
    static const std::string folder = [] {
        auto p = std::filesystem::temp_directory_path() / ("vesmora-bench-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(p);
        headless::set_module_path((p / "vesmora").string());
        INIT_STATE();
        return p.string();
    }();
    const std::string path = folder + "/study" + std::to_string(e) + "x" + std::to_string(frames) + ".dcm";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::string head(128, '\0');
    head += "DICM";
    std::fwrite(head.data(), 1, head.size(), f);
    std::mt19937 gen(42);
    std::uniform_int_distribution<int> d(0, 4000);
    for (long n = 0; n < static_cast<long>(e) * e * frames; n++) {
        const auto v = static_cast<std::uint16_t>(d(gen));
        const unsigned char b[2] = {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>(v >> 8)};
        std::fwrite(b, 1, 2, f);
    }
    std::fclose(f);
    return path;
}

template <int (*Read)()>
void run(benchmark::State& state) {
    const int e = static_cast<int>(state.range(0));
    const std::string path = make_study(e, e);
    for (auto _ : state) {
        ech = e;
        NCZ = e;
        fich = std::fopen(path.c_str(), "rb");
        if (Read() != 0) state.SkipWithError("refused");
        std::fclose(fich);
        fich = nullptr;
        benchmark::DoNotOptimize(data[128 * 65536 + 128 * 256 + 128]);
    }
}

void BM_ReadData_Literal(benchmark::State& s) { run<LITERAL_READ_DATA>(s); }
void BM_ReadData_Fast(benchmark::State& s) { run<READ_DATA>(s); }

}  // namespace

BENCHMARK(BM_ReadData_Literal)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadData_Fast)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();

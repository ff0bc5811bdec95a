// The whole open path of a DICOM file: "Ouvrir" answered with the input's bytes
// (a file in memory), header walk, checks and volume load. A load gives a volume
// in 0..100 whose largest element is 100; a refusal leaves caption and volume as
// they were; the only exit is the memory one (status 33).
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "headless.h"
#include "main.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const bool started = [] {
        fuzz::start();
        return true;
    }();
    (void)started;
    static fuzz::MemFile file("study.dcm");
    file.write(bytes, size);

    // Header values as at start-up, so that every input is read alone.
    ech = 64;
    NCZ = Data_NZ = 0;
    OrImSize_H = OrImSize_V = 0;
    VOXEL_SIZE_XY = VOXEL_SIZE_Z = 0.0f;
    PAT_NAME[0] = PAT_SEX[0] = PAT_DATE[0] = ACQ_DATE[0] = PAT_AGE[0] = 0;

    const unsigned long generation = data_generation;
    const std::string caption = WINDOW->caption;
    headless::queue_open_answer(file.path());
    try {
        plat_send_message(WINDOW, VM_COMMAND, 10, 0);
    } catch (const fuzz::ProgramExit& e) {
        if (e.status != 1) fuzz::fail("the open path ended the program with a status other than 1", e.status);
        if (fich != nullptr) std::fclose(fich);
        fich = nullptr;
    }
    if (fich != nullptr) fuzz::fail("the study file was left open", 0);

    if (data_generation == generation) {
        if (WINDOW->caption != caption) fuzz::fail("a refused file changed the caption", 0);
    } else {
        float largest = 0.0f;
        for (int n = 0; n < VOL_SIZE; n++) {
            const float v = data[n];
            if (!(v >= 0.0f && v <= 100.0f)) fuzz::fail("a loaded element lies outside 0..100", n);
            if (v > largest) largest = v;
        }
        if (largest != 100.0f) fuzz::fail("the largest loaded element is not 100", static_cast<long long>(largest));
        if (ell_ok != 0 || res_ok != 0 || RAP != 1) fuzz::fail("a load left the model or the results flagged", 0);
    }
    fuzz::trim_backend();
    return 0;
}

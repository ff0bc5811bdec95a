// The import's input: any file, decoded by DCMTK into the bytes the reader takes, then
// the whole open path on them. The import either leaves the file to the reader, refuses
// it with a French reason naming it, or gives a stream the reader recognises (its mark and
// its syntax); a refusal leaves caption and volume as they were; a loaded volume lies in 0..100.
#include <cstdint>
#include <cstring>
#include <string>

#include "Dicom.h"
#include "fuzz_support.h"
#include "headless.h"
#include "import.h"
#include "main.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const bool started = [] {
        fuzz::start();
        register_import_hooks();
        return true;
    }();
    (void)started;
    static fuzz::MemFile file("study.dcm");
    file.write(bytes, size);

    PreparedStudy out;
    std::string error;
    const int made = prepare_study(file.path().c_str(), out, error);
    if (made == -1 && error.find(file.path()) == std::string::npos)
        fuzz::fail("a refusal that does not name the file", 0);
    if (made == 1) {
        if (out.file == nullptr || out.release == nullptr) fuzz::fail("a prepared study without its stream", 0);
        char mark[4] = {};
        if (std::fseek(out.file, 128, SEEK_SET) != 0 || std::fread(mark, 1, 4, out.file) != 4 ||
            std::memcmp(mark, "DICM", 4) != 0)
            fuzz::fail("a prepared study without the DICM mark", 0);
        std::rewind(out.file);
        if (CHECK_SYNTAX(out.file) != 1) fuzz::fail("a prepared study in a syntax the reader refuses", 0);
        out.release(out);
    }
    if (GATES_PENDING.voxels.size() * 2 > GATES_MAX_BYTES) fuzz::fail("gates beyond one volume's memory", 0);
    GATES_PENDING.clear();

    // Header values as at start-up, so that every input is read alone.
    ech = 64;
    NCZ = Data_NZ = 0;
    OrImSize_H = OrImSize_V = 0;
    PAT_NAME[0] = PAT_SEX[0] = PAT_DATE[0] = ACQ_DATE[0] = PAT_AGE[0] = 0;
    const unsigned long generation = data_generation;
    const std::string caption = WINDOW->caption;
    try {
        LOAD_DCM_PATH(file.path().c_str());
    } catch (const fuzz::ProgramExit& e) {
        if (e.status != 1) fuzz::fail("the open path ended the program with a status other than 1", e.status);
        if (fich != nullptr) std::fclose(fich);
        fich = nullptr;
    }
    if (fich != nullptr) fuzz::fail("the study stream was left open", 0);
    if (data_generation == generation) {
        if (WINDOW->caption != caption) fuzz::fail("a refused file changed the caption", 0);
    } else {
        for (int n = 0; n < VOL_SIZE; n += 4099)
            if (!(data[n] >= 0.0f && data[n] <= 100.0f)) fuzz::fail("a loaded element lies outside 0..100", n);
    }
    fuzz::trim_backend();
    return 0;
}

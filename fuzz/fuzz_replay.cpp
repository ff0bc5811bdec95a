// The replay script reader with the program behind it: any script runs to its end
// or stops at a malformed line (status 2). Lines that would touch files outside the
// target's own folder are kept out: `open` takes only the folder's three studies
// (or cancel), `dump` only the state and the texts, the exports and the model files
// only names in the folder.
#include <unistd.h>

#include "../tools/vesmora-cli/cmd_replay.cpp"
#include "dicom_writer.h"
#include "fuzz_support.h"

namespace {

void write_bytes(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) fuzz::fail("cannot write a study", 0);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// Three studies beside the script: a small whole one, the same cut short, and one
// with a rescale element (read and applied).
void write_studies() {
    std::vector<std::int16_t> pixels(8 * 8 * 8);
    for (std::size_t n = 0; n < pixels.size(); n++) pixels[n] = static_cast<std::int16_t>((n * 37) % 500);
    const std::string whole = nm_header(8, 8, 8).pixels(pixels).bytes();
    write_bytes(fuzz::folder() + "/s.dcm", whole);
    write_bytes(fuzz::folder() + "/t.dcm", whole.substr(0, whole.size() - 100));
    write_bytes(fuzz::folder() + "/r.dcm", DicomWriter().element(0x0028, 0x1052, "DS", "0 ").pixels(pixels).bytes());
}

bool line_allowed(const std::string& line) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty() || w[0][0] == '#') return true;
    if (w[0] == "open") {
        const std::string path = rest_of(line, 1);
        return path == "cancel" || path == "s.dcm" || path == "t.dcm" || path == "r.dcm";
    }
    if (w[0] == "dump")
        return w.size() == 3 && (w[1] == "state" || w[1] == "ui") && w[2].find('/') == std::string::npos &&
               w[2] != "." && w[2] != "..";
    // The exports and the model files: a name in the folder only.
    if (w[0] == "export" || w[0] == "save" || w[0] == "load")
        return w.size() == 3 && w[2].find('/') == std::string::npos && w[2] != "." && w[2] != "..";
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const bool ready = [] {
        if (chdir(fuzz::folder().c_str()) != 0) fuzz::fail("cannot enter the folder", 0);
        write_studies();
        return true;
    }();
    (void)ready;
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line_allowed(line)) return -1;  // not kept in the corpus
    const std::string script = fuzz::folder() + "/script.replay";
    write_bytes(script, text);
    int status = 0;
    try {
        vesmora_exit = [](int s) { throw fuzz::ProgramExit{s}; };
        status = replay(script, fuzz::folder(), false);
    } catch (const fuzz::ProgramExit& e) {
        if (e.status != 1) fuzz::fail("the replay ended the program with a status other than 1", e.status);
        if (fich != nullptr) std::fclose(fich);
        fich = nullptr;
    }
    if (status != 0 && status != 2) fuzz::fail("replay status", status);
    fuzz::trim_backend();
    return 0;
}

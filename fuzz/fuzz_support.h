// Shared by the fuzz targets: a program folder of their own, the program's exits
// turned into an exception so one run goes on to the next input, and the headless
// back end kept small between inputs.
#ifndef VESMORA_FUZZ_SUPPORT_H
#define VESMORA_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Thrown by the program's exit (33 for memory).
struct ProgramExit {
    int status;
};

// A fresh folder for this process holding a copy of the shipped PALETS; the
// program's own path is set inside it, so log.txt lands there too.
const std::string& folder();

// Resets the back end, points the program into folder(), makes its exits throw,
// and runs the whole start-up.
void start();

// Forgets the boxes, sent messages and deleted bitmaps the back end recorded, so
// a long run does not grow.
void trim_backend();

// A file in memory (memfd) reachable by a path, rewritten for every input.
class MemFile {
public:
    explicit MemFile(const char* name);
    void write(const std::uint8_t* bytes, std::size_t size);
    const std::string& path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

// Stops the run with a message: the model or a result broke its limits.
[[noreturn]] void fail(const char* what, long long value);

}  // namespace fuzz

#endif

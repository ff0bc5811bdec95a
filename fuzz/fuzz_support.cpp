#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <sys/mman.h>
#include <unistd.h>

#include "headless.h"
#include "main.h"

namespace fuzz {

namespace {

void throw_exit(int status) { throw ProgramExit{status}; }

}  // namespace

const std::string& folder() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/vesmora-fuzz-XXXXXX";
        if (mkdtemp(tmpl) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::filesystem::copy_file(VESMORA_SOURCE_DIR "/data/PALETS", std::string(tmpl) + "/PALETS");
        return std::string(tmpl);
    }();
    return dir;
}

void start() {
    headless::reset();
    headless::set_module_path(folder() + "/vesmora");
    vesmora_exit = throw_exit;
    STARTUP();
}

void trim_backend() {
    auto& s = headless::state();
    s.boxes.clear();
    s.sent.clear();
    s.open_requests.clear();
    std::erase_if(s.bitmaps, [](const auto& b) { return !b->alive; });
}

MemFile::MemFile(const char* name) : fd_(memfd_create(name, 0)) {
    if (fd_ < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
}

void MemFile::write(const std::uint8_t* bytes, std::size_t size) {
    if (ftruncate(fd_, 0) != 0 || (size > 0 && pwrite(fd_, bytes, size, 0) != static_cast<ssize_t>(size))) {
        std::perror("memfd write");
        std::abort();
    }
}

void fail(const char* what, long long value) {
    std::fprintf(stderr, "vesmora fuzz: %s (%lld)\n", what, value);
    std::abort();
}

}  // namespace fuzz

// The header alone: the transfer-syntax check, then the header reader, on the input's bytes as an
// open file in memory, as the loader calls them, without the volume (thousands of inputs a second
// where the whole open path runs a few). Each says why it refuses in exactly one box, and says
// nothing when it takes the file; the reader takes exactly the files marked "DICM" at byte 128,
// keeps its texts within their buffers, and leaves nothing of the last study's identification.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "Dicom.h"
#include "fuzz_support.h"
#include "headless.h"
#include "main.h"

namespace {

bool holds(const std::uint8_t* bytes, std::size_t size, const char (&tag)[5]) {
    return memmem(bytes, size, tag, 4) != nullptr;
}

void check_text(const char* text, std::size_t capacity, const char* what) {
    if (std::memchr(text, 0, capacity) == nullptr) fuzz::fail(what, static_cast<long long>(capacity));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const bool started = [] {
        fuzz::start();
        return true;
    }();
    (void)started;
    // The log grows with every input: emptied now and then.
    static unsigned runs = 0;
    if (++runs % 4096 == 0) {
        std::error_code ec;
        std::filesystem::resize_file(fuzz::folder() + "/log.txt", 0, ec);
    }

    // Another study's identification, which no input may leave in place.
    std::strcpy(PAT_ID, "PREVIOUS");
    std::strcpy(STUDY_UID, "1.2.3.PREVIOUS");

    static std::uint8_t empty = 0;
    FILE* file = fmemopen(size > 0 ? const_cast<std::uint8_t*>(bytes) : &empty, size > 0 ? size : 1, "rb");
    if (file == nullptr) fuzz::fail("fmemopen failed", static_cast<long long>(size));
    auto& boxes = headless::state().boxes;
    boxes.clear();
    const bool marked = size >= 132 && std::memcmp(bytes + 128, "DICM", 4) == 0;

    const int syntax = CHECK_SYNTAX(file);
    if (syntax != 0 && syntax != 1) fuzz::fail("the syntax check answered neither 0 nor 1", syntax);
    if (boxes.size() != (syntax == 0 ? 1u : 0u)) fuzz::fail("the syntax check's boxes", static_cast<long long>(boxes.size()));
    if (syntax == 1) {
        const int read = GET_DICOM_INFO(file);
        if (read != (marked ? 1 : 0)) fuzz::fail("the header reader took a file without its mark or refused one with it", read);
        if (boxes.size() != (read == 0 ? 1u : 0u)) fuzz::fail("the header reader's boxes", static_cast<long long>(boxes.size()));
        if (read == 1) {
            check_text(PAT_NAME, 100, "the patient's name overran its buffer");
            check_text(PAT_SEX, 4, "the sex overran its buffer");
            check_text(PAT_DATE, 20, "the birth date overran its buffer");
            check_text(STUDY_DATE, 20, "the study date overran its buffer");
            for (const char* id : {PAT_ID, STUDY_UID, SERIES_DESC, RADIOPHARM})
                check_text(id, ID_TEXT_SIZE, "an identification text overran its buffer");
            if (!holds(bytes, size, "\x10\x00\x20\x00") && PAT_ID[0] != 0)
                fuzz::fail("the last study's patient ID stayed", 0);
            if (!holds(bytes, size, "\x20\x00\x0D\x00") && STUDY_UID[0] != 0)
                fuzz::fail("the last study's UID stayed", 0);
        }
    }
    std::fclose(file);
    fuzz::trim_backend();
    return 0;
}

#include "import.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmdata/dcostrmb.h>

#include <cstdio>
#include <memory>

#include "dicomdir.h"

namespace {

// The bytes behind the memory stream of the study being read (one at a time).
std::vector<unsigned char> held;

void release_held(PreparedStudy& study) {
    if (study.file != nullptr) std::fclose(study.file);
    study.file = nullptr;
    std::vector<unsigned char>().swap(held);
}

}  // namespace

bool to_reader_bytes(DcmFileFormat& file, std::vector<unsigned char>& out, std::string& note, std::string& error) {
    note.clear();
    out.clear();
    if (file.chooseRepresentation(EXS_LittleEndianExplicit, nullptr).bad() ||
        !file.canWriteXfer(EXS_LittleEndianExplicit)) {
        error = "Les pixels de cette \xE9tude n'ont pas pu \xEAtre convertis en explicit VR little endian.";
        return false;
    }
    out.reserve(file.calcElementLength(EXS_LittleEndianExplicit, EET_ExplicitLength) + 4096);
    std::vector<unsigned char> chunk(1 << 20);
    DcmOutputBufferStream stream(chunk.data(), static_cast<offile_off_t>(chunk.size()));
    file.transferInit();
    OFCondition status = EC_StreamNotifyClient;
    while (status == EC_StreamNotifyClient) {
        status = file.write(stream, EXS_LittleEndianExplicit, EET_ExplicitLength, nullptr, EGL_recalcGL);
        void* bytes = nullptr;
        offile_off_t length = 0;
        stream.flushBuffer(bytes, length);
        const auto* b = static_cast<const unsigned char*>(bytes);
        out.insert(out.end(), b, b + length);
    }
    file.transferEnd();
    if (status.bad()) {
        error = std::string("L'\xE9tude n'a pas pu \xEAtre pr\xE9par\xE9" "e pour la lecture : ") + status.text() + ".";
        return false;
    }
    return true;
}

int prepare_study(const char* path, PreparedStudy& out, std::string& error) {
    out = PreparedStudy{};
    std::unique_ptr<DcmFileFormat> study;
    const int gathered = gather_study(path, study, error);
    if (gathered != 1) return gathered;
    std::vector<unsigned char> bytes;
    std::string why;
    if (!to_reader_bytes(*study, bytes, out.note, why)) {
        error = why + " (" + path + ")";
        return -1;
    }
    study.reset();
    held.swap(bytes);
    out.file = fmemopen(held.data(), held.size(), "rb");
    if (out.file == nullptr) {
        std::vector<unsigned char>().swap(held);
        error = std::string("M\xE9moire insuffisante pour lire cette \xE9tude (") + path + ").";
        return -1;
    }
    out.release = release_held;
    return 1;
}

void register_import_hooks() { open_hooks.prepare = prepare_study; }

// Every file the program and its tools write is written whole: into a temporary file
// beside it, flushed and closed, then renamed over it. An interrupted or failed write
// leaves the old file as it was and no temporary behind. Standard library only, so the
// exports, the report, the DICOM writers, the archive and the tools all use it.
#ifndef VESMORA_WRITE_WHOLE_H
#define VESMORA_WRITE_WHOLE_H

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <string_view>

#include "latin1.h"

// Writes the whole file at `temporary`; false with `why` (a library's own text) when it
// could not. Libraries that write to a path (DCMTK, Qt's image writers) write there.
using Whole_File_Writer = std::function<bool(const std::string& temporary, std::string& why)>;

// A temporary name beside `path`, unique to this process and call: two processes writing
// the same file never share one.
inline std::string whole_temporary_path(const std::string& path) {
    static const unsigned process_tag = std::random_device{}();
    static std::atomic<unsigned> count{0};
    char tag[32];
    std::snprintf(tag, sizeof tag, ".tmp-%08x-%u", process_tag, count++);
    return path + tag;
}

// true when `path` now holds what `writer` wrote; else false, the old file (if any) left
// whole, the temporary removed, and `error` says so in French (Windows-1252), naming path
// after `what` ("le fichier DICOM") when given.
inline bool write_whole(const std::string& path, const Whole_File_Writer& writer, std::string& error,
                        std::string_view what = {}) {
    const std::string temporary = whole_temporary_path(path);
    std::string why;
    bool ok = writer(temporary, why);
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(temporary, path, ec);  // replaces an older file, also on Windows
        if (ec) {
            ok = false;
            why = ec.message();
        }
    }
    if (!ok) {
        std::filesystem::remove(temporary, ec);
        std::string head = "Impossible d'\xE9" "crire ";
        if (!what.empty()) head.append(what).append(" ");
        error = with_detail(head + path, why);
    }
    return ok;
}

// The common case: these bytes as the whole file.
inline bool write_whole(const std::string& path, std::string_view bytes, std::string& error,
                        std::string_view what = {}) {
    return write_whole(
        path,
        [bytes](const std::string& temporary, std::string& why) {
            std::FILE* f = std::fopen(temporary.c_str(), "wb");
            if (f == nullptr) {
                why = std::strerror(errno);
                return false;
            }
            const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0;
            if (!written) why = std::strerror(errno);
            if (std::fclose(f) != 0 && written) {
                why = std::strerror(errno);
                return false;
            }
            return written;
        },
        error, what);
}

#endif

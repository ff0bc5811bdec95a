// The program keeps its texts in Latin-1 (Windows-1252 for the letters it uses); files, terminals
// and libraries that want UTF-8 get them through these.
#ifndef VESMORA_LATIN1_H
#define VESMORA_LATIN1_H

#include <string>
#include <string_view>

inline std::string latin1_to_utf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (unsigned char c : latin1) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// A character outside Latin-1 becomes '?' (a malformed sequence too).
inline std::string utf8_to_latin1(std::string_view utf8) {
    std::string out;
    for (std::size_t n = 0; n < utf8.size(); n++) {
        const unsigned char c = utf8[n];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c & 0xE0) == 0xC0 && n + 1 < utf8.size()) {
            const unsigned code = ((c & 0x1Fu) << 6) | (utf8[n + 1] & 0x3Fu);
            out += code < 0x100 ? static_cast<char>(code) : '?';
            n++;
        } else {
            out += '?';  // a longer sequence: skip its continuation bytes
            while (n + 1 < utf8.size() && (utf8[n + 1] & 0xC0) == 0x80) n++;
        }
    }
    return out;
}

#endif

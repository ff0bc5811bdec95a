// The program keeps its texts in Windows-1252 (Latin-1 plus a few signs such as the dash
// 0x97); files, terminals and libraries that want UTF-8 get them through these, and every
// conversion of the code base goes through this file.
#ifndef VESMORA_LATIN1_H
#define VESMORA_LATIN1_H

#include <string>
#include <string_view>

namespace latin1_detail {
// Windows-1252 0x80..0x9F; 0 where the code page leaves the byte undefined (kept as U+0080..).
inline constexpr char16_t CP1252_HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

inline unsigned code_of_byte(unsigned char c) {
    if (c >= 0x80 && c < 0xA0 && CP1252_HIGH[c - 0x80] != 0) return CP1252_HIGH[c - 0x80];
    return c;
}

inline void put_utf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Length of the well-formed UTF-8 sequence at s[n] (2 to 4), or 0; its code point in `code`.
inline std::size_t utf8_sequence(std::string_view s, std::size_t n, unsigned& code) {
    const unsigned char c = s[n];
    const std::size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || n + len > s.size()) return 0;
    code = c & (len == 2 ? 0x1Fu : len == 3 ? 0x0Fu : 0x07u);
    for (std::size_t k = 1; k < len; k++) {
        const unsigned char t = s[n + k];
        if ((t & 0xC0) != 0x80) return 0;
        code = (code << 6) | (t & 0x3Fu);
    }
    const bool overlong = (len == 3 && code < 0x800) || (len == 4 && code < 0x10000);
    if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return len;
}

inline int byte_of_code(unsigned code) {
    if (code < 0x80 || (code >= 0xA0 && code < 0x100)) return static_cast<int>(code);
    if (code < 0xA0 && CP1252_HIGH[code - 0x80] == 0) return static_cast<int>(code);  // undefined in 1252
    for (unsigned b = 0; b < 32; b++)
        if (CP1252_HIGH[b] == code) return static_cast<int>(0x80 + b);
    return -1;
}
}  // namespace latin1_detail

inline std::string latin1_to_utf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (unsigned char c : latin1) latin1_detail::put_utf8(out, latin1_detail::code_of_byte(c));
    return out;
}

// A character outside Windows-1252 becomes '?' (a malformed sequence too).
inline std::string utf8_to_latin1(std::string_view utf8) {
    std::string out;
    for (std::size_t n = 0; n < utf8.size(); n++) {
        unsigned code = 0;
        const std::size_t len = static_cast<unsigned char>(utf8[n]) < 0x80 ? 1 : latin1_detail::utf8_sequence(utf8, n, code);
        if (len == 1) {
            out += utf8[n];
            continue;
        }
        const int b = len != 0 ? latin1_detail::byte_of_code(code) : -1;
        out += b >= 0 ? static_cast<char>(b) : '?';
        if (len != 0) n += len - 1;
        else  // not a sequence: skip its continuation bytes
            while (n + 1 < utf8.size() && (utf8[n + 1] & 0xC0) == 0x80) n++;
    }
    return out;
}

// The same, strict: false when the text is not UTF-8 or holds a letter beyond Latin-1 itself
// (ISO 8859-1, DICOM's ISO_IR 100: none of the Windows-1252 signs).
inline bool utf8_to_latin1_strict(std::string_view utf8, std::string& latin1) {
    latin1.clear();
    for (std::size_t n = 0; n < utf8.size(); n++) {
        unsigned code = static_cast<unsigned char>(utf8[n]);
        const std::size_t len = code < 0x80 ? 1 : latin1_detail::utf8_sequence(utf8, n, code);
        if (len == 0 || code > 0xFF || (code >= 0x80 && code < 0xA0)) return false;
        latin1 += static_cast<char>(code);
        n += len - 1;
    }
    return true;
}

// A program text that may carry a path in the system's own bytes (UTF-8 on Linux): its
// well-formed UTF-8 sequences are kept, every other byte is a Windows-1252 letter.
inline std::string program_text_to_utf8(std::string_view text) {
    std::string out;
    for (std::size_t n = 0; n < text.size(); n++) {
        unsigned code = 0;
        const std::size_t len = static_cast<unsigned char>(text[n]) < 0x80 ? 0 : latin1_detail::utf8_sequence(text, n, code);
        if (len != 0) {
            out.append(text.substr(n, len));
            n += len - 1;
        } else {
            latin1_detail::put_utf8(out, latin1_detail::code_of_byte(static_cast<unsigned char>(text[n])));
        }
    }
    return out;
}

// A user message followed by a system's or a library's own text (strerror, DCMTK, nlohmann),
// which may be English: "Impossible d'écrire x — détail : No space left on device".
inline std::string with_detail(std::string_view message, std::string_view detail) {
    std::string out(message);
    if (!detail.empty()) out.append(" \x97 d\xE9tail : ").append(detail);
    return out;
}

#endif

// DICOM import: the header reader and the volume loader.
//
// Sections:
//   1. header reader   GET_DICOM_INFO, GET_ASCII, FORMAT_DATE, GET_VOXZIZE, GET_NFRAMES, CHECK_SYNTAX
//   2. volume loader   LOAD_DCM_FILE, READ_DATA, SWITCH_SLICES
#include "Dicom.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "latin1.h"
#include "layout.h"
#include "main.h"
#include "tasks.h"
#include "volume_pages.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

// =============================================================================================
// 1. Header reader
// =============================================================================================
namespace {

// The filter of GET_ASCII with a bound: the text is cut at cap - 1 characters,
// so a value longer than its destination never runs past it.
void ascii_filter(char* dest, std::size_t cap, const unsigned char* src, std::size_t len, int mode, int keep_zeros) {
    if (cap == 0) return;
    std::size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 < cap) dest[n++] = c;
    };
    for (std::size_t i = 0; i < len; i++) {
        // Date mode: YYYYMMDD -> YYYY/MM/DD, the slashes go in whatever the bytes are.
        if (mode == 1 && (i == 4 || i == 6)) put('/');
        const unsigned char c = src[i];
        if (c == '-') {
            put('-');
        } else if (c == '0') {
            if (keep_zeros) put('0');
        } else if (c >= '1' && c <= '9') {
            put(static_cast<char>(c));
            keep_zeros = 1;  // leading zeros only are dropped
        } else if (c >= 'A' && c <= 'Z') {
            if (!(mode == 2 && c == 'Y')) put(static_cast<char>(c));  // '045Y' -> '45'
        } else if (c >= 'a' && c <= 'z') {
            put(static_cast<char>(c));
        } else if (c == ' ' || c == '^') {
            put(' ');  // '^' separates the name components
        }
        // anything else (full stop, backslash, accents, control bytes, zero) is dropped
    }
    dest[n] = 0;
}

// The whole file in memory for the byte-by-byte walk; bytes past its end do not exist.
struct FileBytes {
    unsigned char* bytes = nullptr;
    std::size_t size = 0;

    std::size_t avail(std::size_t from) const { return from < size ? size - from : 0; }
    unsigned at(std::size_t pos) const { return pos < size ? bytes[pos] : 0u; }
    // 16-bit little-endian value at pos; a missing byte counts as 0.
    unsigned u16(std::size_t pos) const { return at(pos) | (at(pos + 1) << 8); }
};

[[noreturn]] void header_memory_failure(FileBytes& file, void* scratch, const char* code) {
    std::free(scratch);
    std::free(file.bytes);
    file.bytes = nullptr;
    MOMS(code);
    EXIT_PROGRAM(33);
}

// Scratch copy of n value bytes from pos (n already cut to what the file holds).
unsigned char* copy_value(FileBytes& file, std::size_t pos, std::size_t n) {
    auto* copy = static_cast<unsigned char*>(vesmora_alloc(n > 0 ? n : 1));
    if (copy == nullptr) header_memory_failure(file, nullptr, " DRE-0 ");
    if (n > 0) std::memcpy(copy, file.bytes + pos, n);
    return copy;
}

bool tag_is(const unsigned char* t, unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
    return t[0] == a && t[1] == b && t[2] == c && t[3] == d;
}

void log_text(const char* prefix, const char* text) {
    std::snprintf(chaine, CHAINE_SIZE, "%s%s", prefix, text);
    WRITE_LOGFILE(chaine);
}

// Element slots, each handled at its first match only.
enum Seen { S_FRAMES, S_SPACING, S_SLICE, S_NAME, S_SEX, S_BIRTH, S_AGE, S_ACQ, S_ROWS, S_COLS, S_COUNT };

// ---- texts beyond the nine: character sets, identification, pixel format ---------------------

// How the bytes above 0x7F of a text are read, from (0008,0005) Specific Character Set.
enum class Charset { Undeclared, Latin1, Utf8, Latin9, Latin5, Latin2, MultiByte, Other };

Charset charset_of(const std::string& value) {
    bool plain = true;  // only empty values and ISO_IR 6 (the default repertoire)
    Charset cs = Charset::Other;
    std::size_t from = 0;
    while (from <= value.size()) {
        std::size_t to = value.find('\\', from);
        if (to == std::string::npos) to = value.size();
        std::string v = value.substr(from, to - from);
        while (!v.empty() && (v.back() == ' ' || v.back() == 0)) v.pop_back();
        while (!v.empty() && v.front() == ' ') v.erase(0, 1);
        from = to + 1;
        auto ends = [&v](const char* ir) {
            const std::size_t n = std::strlen(ir);
            return v.size() >= n && v.compare(v.size() - n, n, ir) == 0;
        };
        if (v.empty() || v == "ISO_IR 6" || v == "ISO 2022 IR 6") continue;
        plain = false;
        if (v == "ISO_IR 192") return Charset::Utf8;
        if (v == "GB18030" || v == "GBK" || ends("IR 149") || ends("IR 58")) return Charset::MultiByte;
        if (ends("IR 100")) cs = Charset::Latin1;
        else if (ends("IR 203")) cs = Charset::Latin9;
        else if (ends("IR 148")) cs = Charset::Latin5;
        else if (ends("IR 101")) cs = Charset::Latin2;
    }
    return plain ? Charset::Undeclared : cs;
}

// True when the bytes are well-formed UTF-8 holding at least one multi-byte character.
bool looks_utf8(const std::string& s) {
    bool multi = false;
    for (std::size_t n = 0; n < s.size(); n++) {
        const unsigned char c = s[n];
        if (c < 0x80) continue;
        const int more = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (more < 0 || c == 0xC0 || c == 0xC1 || n + more >= s.size()) return false;
        for (int m = 1; m <= more; m++)
            if ((static_cast<unsigned char>(s[n + m]) & 0xC0) != 0x80) return false;
        n += more;
        multi = true;
    }
    return multi;
}

// Latin-2 bytes that stand for the same letter in Latin-1 (the others are '?').
bool latin2_shared(unsigned char c) {
    static const unsigned char SAME[] = {0xA0, 0xA4, 0xA7, 0xA8, 0xAD, 0xB0, 0xB4, 0xB8, 0xC1, 0xC2, 0xC4, 0xC7, 0xC9,
                                         0xCB, 0xCD, 0xCE, 0xD3, 0xD4, 0xD6, 0xD7, 0xDA, 0xDC, 0xDD, 0xDF, 0xE1, 0xE2,
                                         0xE4, 0xE7, 0xE9, 0xEB, 0xED, 0xEE, 0xF3, 0xF4, 0xF6, 0xF7, 0xFA, 0xFC, 0xFD};
    for (unsigned char v : SAME)
        if (v == c) return true;
    return false;
}

// A text of the file in Latin-1: what Latin-1 holds kept, '?' for each other character.
// A file that declares no set but holds well-formed UTF-8 is read as UTF-8, and other
// bytes above 0x7F as Latin-1 (what such files carry in practice).
std::string decode_text(const std::string& raw, Charset cs) {
    if (cs == Charset::Utf8 || (cs == Charset::Undeclared && looks_utf8(raw))) return utf8_to_latin1(raw);
    std::string out;
    bool pairs = false;  // ISO 2022: a two-byte set designated to G0 (ESC $ ...)
    for (std::size_t n = 0; n < raw.size(); n++) {
        const unsigned char c = raw[n];
        if (c == 0x1B) {
            // Escape sequence: ESC, intermediate bytes 0x20..0x2F, one final byte.
            std::size_t m = n + 1;
            const bool two_byte = m < raw.size() && raw[m] == '$';
            const bool g0 = m < raw.size() && (raw[m] == '(' || (two_byte && (m + 1 >= raw.size() || raw[m + 1] != ')')));
            while (m < raw.size() && raw[m] >= 0x20 && raw[m] <= 0x2F) m++;
            if (g0) pairs = two_byte;
            n = m;
            continue;
        }
        if (pairs && c >= 0x21 && c <= 0x7E) {
            out += '?';
            n++;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        switch (cs) {
        case Charset::Undeclared:
        case Charset::Latin1: out += static_cast<char>(c); break;
        case Charset::Latin9:  // the eight places where Latin-9 differs from Latin-1
            out += (c == 0xA4 || c == 0xA6 || c == 0xA8 || c == 0xB4 || c == 0xB8 || c == 0xBC || c == 0xBD ||
                    c == 0xBE) ? '?' : static_cast<char>(c);
            break;
        case Charset::Latin5:  // the six Turkish letters
            out += (c == 0xD0 || c == 0xDD || c == 0xDE || c == 0xF0 || c == 0xFD || c == 0xFE) ? '?'
                                                                                                  : static_cast<char>(c);
            break;
        case Charset::Latin2: out += latin2_shared(c) ? static_cast<char>(c) : '?'; break;
        case Charset::MultiByte:
            // A lead byte and its trail (GB18030 also four bytes: lead, digit, lead, digit).
            if (n + 1 < raw.size()) n += (raw[n + 1] >= '0' && raw[n + 1] <= '9' && n + 3 < raw.size()) ? 3 : 1;
            out += '?';
            break;
        default: out += '?'; break;
        }
    }
    return out;
}

// The patient's name as the program keeps it: the alphabetic component group only ('='
// starts the ideographic and phonetic ones), '^' as a space, letters (accented ones too),
// digits, blank, '-', '\'', '.', ',' and the '?' that stands for a letter Latin-1 lacks.
void name_text(char* dest, std::size_t cap, const std::string& latin1) {
    std::size_t n = 0;
    for (unsigned char c : latin1) {
        if (c == '=') break;
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
                          c == '-' || c == '\'' || c == '.' || c == ',' || c == '?' ||
                          (c >= 0xC0 && c != 0xD7 && c != 0xF7);
        if (c == '^') c = ' ';
        else if (!keep) continue;
        if (n + 1 < cap) dest[n++] = static_cast<char>(c);
    }
    dest[n] = 0;
}

// A short text (LO, UI) cut to its destination: control bytes dropped, outer blanks trimmed.
void plain_text(char* dest, std::size_t cap, const std::string& latin1) {
    std::string t;
    for (unsigned char c : latin1)
        if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)) t += static_cast<char>(c);
    const std::size_t b = t.find_first_not_of(' ');
    const std::size_t e = t.find_last_not_of(' ');
    t = b == std::string::npos ? std::string() : t.substr(b, e - b + 1);
    std::snprintf(dest, cap, "%s", t.c_str());
}

// A DS value ("500", "-1024.5 ", "1.5E2"): false unless the whole text is one number.
bool decimal_value(const std::string& text, double& value) {
    std::size_t n = 0;
    while (n < text.size() && text[n] == ' ') n++;
    double sign = 1.0;
    if (n < text.size() && (text[n] == '+' || text[n] == '-')) sign = text[n++] == '-' ? -1.0 : 1.0;
    double v = 0.0, scale = 1.0;
    int digits = 0;
    bool point = false;
    for (; n < text.size(); n++) {
        const char c = text[n];
        if (c >= '0' && c <= '9') {
            if (point) scale /= 10.0;
            v = v * 10.0 + (c - '0');
            digits++;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return false;
    if (n < text.size() && (text[n] == 'e' || text[n] == 'E')) {
        n++;
        int esign = 1, e = 0, edigits = 0;
        if (n < text.size() && (text[n] == '+' || text[n] == '-')) esign = text[n++] == '-' ? -1 : 1;
        for (; n < text.size() && text[n] >= '0' && text[n] <= '9'; n++, edigits++) e = e < 400 ? e * 10 + (text[n] - '0') : e;
        if (edigits == 0) return false;
        scale *= std::pow(10.0, esign * e);
    }
    while (n < text.size() && (text[n] == ' ' || text[n] == 0)) n++;
    if (n != text.size()) return false;
    value = sign * v * scale;
    return std::isfinite(value);
}

// YYYYMMDD at the start of a DA value; false when it is not a plausible date.
bool date_parts(const std::string& v, int& y, int& m, int& d) {
    if (v.size() < 8) return false;
    for (int n = 0; n < 8; n++)
        if (v[n] < '0' || v[n] > '9') return false;
    y = std::stoi(v.substr(0, 4)), m = std::stoi(v.substr(4, 2)), d = std::stoi(v.substr(6, 2));
    return m >= 1 && m <= 12 && d >= 1 && d <= 31;
}

// The elements read beyond the nine, for one walk. They go into the program-wide
// state at its end, and write nothing to the log (but the rescale line).
struct Extra {
    bool charset = false, pat_id = false, study_uid = false, study_date = false, series = false, radiopharm = false;
    bool bits = false, repr = false, intercept = false, slope = false;
    std::string charset_v, name_raw, pat_id_raw, study_uid_raw, study_date_raw, series_raw, radiopharm_raw;
    std::string intercept_raw, slope_raw, birth_raw, acq_raw;
    unsigned bits_v = 16, repr_v = 0;
    // Gating: Number of Time Slots, Number of Slices, the two frame vectors, the Frame Increment Pointer.
    bool slots = false, slices = false, slot_vector = false, slice_vector = false, increment = false;
    unsigned slots_v = 0, slices_v = 0;
    std::string slot_vector_raw, slice_vector_raw, increment_raw;
};

// Tags with their value representation, so that a pattern inside another value
// (pixel-like bytes of a private element) is not taken for them.
bool element_is(const unsigned char* t, std::uint16_t group, std::uint16_t elem, const char* vr) {
    return t[0] == (group & 0xFF) && t[1] == (group >> 8) && t[2] == (elem & 0xFF) && t[3] == (elem >> 8) &&
           t[4] == vr[0] && t[5] == vr[1];
}

void read_extra(const FileBytes& fb, std::size_t p, Extra& x) {
    if (fb.avail(p) < 8) return;
    const unsigned char* t = fb.bytes + p;
    // Every byte of the header passes here: out at once unless the group is one of ours.
    if (t[1] != 0x00 || (t[0] != 0x08 && t[0] != 0x10 && t[0] != 0x18 && t[0] != 0x20 && t[0] != 0x28 && t[0] != 0x54))
        return;
    const std::size_t len = fb.u16(p + 6);
    const std::size_t n = len < fb.avail(p + 8) ? len : fb.avail(p + 8);
    auto take = [&](bool& seen, std::string& into) {
        if (seen) return;
        seen = true;
        into.assign(reinterpret_cast<const char*>(fb.bytes + p + 8), n);
    };
    if (element_is(t, 0x0008, 0x0005, "CS")) take(x.charset, x.charset_v);
    else if (element_is(t, 0x0008, 0x0020, "DA")) take(x.study_date, x.study_date_raw);
    else if (element_is(t, 0x0008, 0x103E, "LO")) take(x.series, x.series_raw);
    else if (element_is(t, 0x0010, 0x0020, "LO")) take(x.pat_id, x.pat_id_raw);
    else if (element_is(t, 0x0020, 0x000D, "UI")) take(x.study_uid, x.study_uid_raw);
    else if (element_is(t, 0x0018, 0x0031, "LO")) take(x.radiopharm, x.radiopharm_raw);  // inside (0054,0016) in NM files
    else if (element_is(t, 0x0028, 0x1052, "DS")) take(x.intercept, x.intercept_raw);
    else if (element_is(t, 0x0028, 0x1053, "DS")) take(x.slope, x.slope_raw);
    else if (element_is(t, 0x0028, 0x0100, "US") && !x.bits && n >= 2) x.bits = true, x.bits_v = fb.u16(p + 8);
    else if (element_is(t, 0x0028, 0x0103, "US") && !x.repr && n >= 2) x.repr = true, x.repr_v = fb.u16(p + 8);
    else if (element_is(t, 0x0054, 0x0071, "US") && !x.slots && n >= 2) x.slots = true, x.slots_v = fb.u16(p + 8);
    else if (element_is(t, 0x0054, 0x0081, "US") && !x.slices && n >= 2) x.slices = true, x.slices_v = fb.u16(p + 8);
    else if (element_is(t, 0x0054, 0x0070, "US")) take(x.slot_vector, x.slot_vector_raw);
    else if (element_is(t, 0x0054, 0x0080, "US")) take(x.slice_vector, x.slice_vector_raw);
    else if (element_is(t, 0x0028, 0x0009, "AT")) take(x.increment, x.increment_raw);
}

// How a gated file lays out its frames, from the last walk (slots 0 or 1: not gated). The
// import sums such a file before the reader sees it; without the import the loader does.
struct GatedLayout {
    int slots = 0;
    int slices_said = -1;             // Number of Slices (0054,0081); -1 when absent
    std::vector<int> gate_of, slice_of;  // Time Slot Vector, Slice Vector (1-based), as given
    bool gate_first = true;           // the Frame Increment Pointer names the Time Slot Vector first
    bool slope_said = false, intercept_said = false;
};
GatedLayout gated_layout;

std::vector<int> us_values(const std::string& raw) {
    std::vector<int> v(raw.size() / 2);
    for (std::size_t n = 0; n < v.size(); n++)
        v[n] = static_cast<unsigned char>(raw[2 * n]) | static_cast<unsigned char>(raw[2 * n + 1]) << 8;
    return v;
}

void keep_gated_layout(const Extra& x) {
    GatedLayout g;
    g.slots = x.slots ? static_cast<int>(x.slots_v) : 0;
    g.slices_said = x.slices ? static_cast<int>(x.slices_v) : -1;
    g.gate_of = us_values(x.slot_vector_raw);
    g.slice_of = us_values(x.slice_vector_raw);
    // The attribute the pointer names first varies slowest.
    for (std::size_t n = 0; n + 4 <= x.increment_raw.size(); n += 4) {
        const std::string tag = x.increment_raw.substr(n, 4);
        if (tag == std::string("\x54\x00\x80\x00", 4) || tag == std::string("\x54\x00\x70\x00", 4)) {
            g.gate_first = tag[2] == '\x70';
            break;
        }
    }
    g.slope_said = x.slope;
    g.intercept_said = x.intercept;
    gated_layout = std::move(g);
}

// The rescale texts as the file gives them, for the log and the refusals.
char rescale_text[2][32];


// The values beyond the nine into the program-wide state, once the walk is over.
void finish_header(const Extra& x, bool name_seen, bool age_seen, bool acq_seen) {
    const Charset cs = charset_of(x.charset_v);
    if (name_seen) name_text(PAT_NAME, 100, decode_text(x.name_raw, cs));
    plain_text(PAT_ID, ID_TEXT_SIZE, decode_text(x.pat_id_raw, cs));
    plain_text(SERIES_DESC, ID_TEXT_SIZE, decode_text(x.series_raw, cs));
    plain_text(RADIOPHARM, ID_TEXT_SIZE, decode_text(x.radiopharm_raw, cs));
    std::string uid;
    for (char c : x.study_uid_raw)
        if ((c >= '0' && c <= '9') || c == '.') uid += c;
    std::snprintf(STUDY_UID, ID_TEXT_SIZE, "%s", uid.c_str());
    if (x.study_date) {
        ascii_filter(STUDY_DATE, sizeof STUDY_DATE, reinterpret_cast<const unsigned char*>(x.study_date_raw.data()),
                     x.study_date_raw.size(), 1, 1);
        FORMAT_DATE(STUDY_DATE);
    }
    // The exam date falls back to the study date.
    std::string exam_raw = x.acq_raw;
    if (!acq_seen && STUDY_DATE[0] != 0) {
        std::snprintf(ACQ_DATE, 20, "%s", STUDY_DATE);  // ACQ_DATE always holds at least 20 bytes
        exam_raw = x.study_date_raw;
    }
    // An age the file does not give is worked out from the birth and exam dates, and marked so.
    int by, bm, bd, ey, em, ed;
    if (!age_seen && date_parts(x.birth_raw, by, bm, bd) && date_parts(exam_raw, ey, em, ed)) {
        const int years = ey - by - ((em < bm || (em == bm && ed < bd)) ? 1 : 0);
        if (years >= 0 && years <= 150) {
            std::snprintf(PAT_AGE, 4, "%d", years);  // PAT_AGE always holds at least 4 bytes
            PAT_AGE_COMPUTED = 1;
        }
    }

    keep_gated_layout(x);
    BITS_ALLOC = x.bits ? static_cast<int>(x.bits_v) : 16;
    PIX_UNSIGNED = x.repr ? (x.repr_v == 0 ? 1 : x.repr_v == 1 ? 0 : -1) : 0;  // -1: neither, refused
    plain_text(rescale_text[0], sizeof rescale_text[0], x.slope_raw);
    plain_text(rescale_text[1], sizeof rescale_text[1], x.intercept_raw);
    RESCALE_SLOPE = 1.0;
    RESCALE_INTERCEPT = 0.0;
    // A value that is not a number is kept as NaN: the loader refuses it by name.
    if (x.slope && !decimal_value(rescale_text[0], RESCALE_SLOPE)) RESCALE_SLOPE = std::nan("");
    if (x.intercept && !decimal_value(rescale_text[1], RESCALE_INTERCEPT)) RESCALE_INTERCEPT = std::nan("");
    if (x.slope || x.intercept) {
        std::snprintf(chaine, CHAINE_SIZE, "\n RESCALE : slope %s  -  intercept %s", x.slope ? rescale_text[0] : "1",
                      x.intercept ? rescale_text[1] : "0");
        WRITE_LOGFILE(chaine);
    }
}

}  // namespace

int GET_DICOM_INFO(FILE* file) {
    unsigned char mark[4] = {0, 0, 0, 0};
    if (file == nullptr || std::fseek(file, 128, SEEK_SET) != 0 || vesmora_read(mark, 1, 4, file) != 4 ||
        std::memcmp(mark, "DICM", 4) != 0) {
        MEMS("Ce fichier n'est pas un fichier dicom valide");
        WRITE_LOGFILE("No Dcm\n\n");
        return 0;
    }

    // One read of the whole file; the walk then never touches a byte the file does not hold.
    FileBytes fb;
    std::fseek(file, 0, SEEK_END);
    const long end = std::ftell(file);
    const std::size_t want = end > 0 ? static_cast<std::size_t>(end) : 0;
    fb.bytes = static_cast<unsigned char*>(vesmora_alloc(want > 0 ? want : 1));
    if (fb.bytes == nullptr) header_memory_failure(fb, nullptr, " DRE-0 ");
    std::rewind(file);
    fb.size = vesmora_read(fb.bytes, 1, want, file);
    if (fb.size != want) {
        // A read that stops short (a failing disk or share) is not the end of the file:
        // the elements behind it would keep the last study's values.
        std::free(fb.bytes);
        MEMS("Lecture du fichier impossible.");
        return 0;
    }

    WRITE_LOGFILE("\nLoading DCM infos ...\n\n");

    // Nothing of the last study stays: an element this file lacks is empty, never
    // another patient's value.
    PAT_NAME[0] = PAT_SEX[0] = PAT_DATE[0] = ACQ_DATE[0] = PAT_AGE[0] = 0;
    PAT_ID[0] = STUDY_UID[0] = STUDY_DATE[0] = SERIES_DESC[0] = RADIOPHARM[0] = 0;
    PAT_AGE_COMPUTED = 0;

    bool seen[S_COUNT] = {};
    bool done = false;  // the nine are complete, or the pixel data was met
    Extra extra;
    // The position rises by one byte whatever is found; a tag needs its four bytes in the file.
    // Once the nine are complete the walk goes on, silently, for the elements beyond them
    // (character set, identification, pixel format, rescaling) up to the pixel data.
    for (std::size_t p = 0; p + 4 <= fb.size; p++) {
        const unsigned char* t = fb.bytes + p;
        // Value length from p+6, p+7; the value is cut to the bytes the file holds.
        const std::size_t len = fb.u16(p + 6);
        const std::size_t n = len < fb.avail(p + 8) ? len : fb.avail(p + 8);

        if (tag_is(t, 0xE0, 0x7F, 0x10, 0x00)) {
            if (!done) WRITE_LOGFILE("\n Pixel Data Found ...");
            break;
        }
        read_extra(fb, p, extra);
        if (done) continue;
        if (tag_is(t, 0x28, 0x00, 0x08, 0x00)) {
            if (!seen[S_FRAMES]) {
                seen[S_FRAMES] = true;
                unsigned char* v = copy_value(fb, p + 8, n);
                GET_NFRAMES(&Data_NZ, v, static_cast<int>(n));
                std::free(v);
                NCZ = Data_NZ;
                std::snprintf(chaine, CHAINE_SIZE, "\n FRAMES : %d", Data_NZ);
                WRITE_LOGFILE(chaine);
            }
        } else if (tag_is(t, 0x28, 0x00, 0x30, 0x00)) {
            if (!seen[S_SPACING]) {
                seen[S_SPACING] = true;
                // 0028,0030 Pixel Spacing: split at half the value length, not at the backslash.
                const std::size_t half = len / 2;
                const std::size_t n1 = half < fb.avail(p + 8) ? half : fb.avail(p + 8);
                const std::size_t n2 = half < fb.avail(p + 8 + half) ? half : fb.avail(p + 8 + half);
                unsigned char* v = copy_value(fb, p + 8, n1);
                float first = 0.0f, second = 0.0f;
                GET_VOXZIZE(&first, v, static_cast<int>(n1), 4);
                if (n2 > 0) std::memcpy(v, fb.bytes + p + 8 + half, n2);
                GET_VOXZIZE(&second, v, static_cast<int>(n2), 4);
                std::free(v);
                first /= 10000.0f;
                second /= 10000.0f;
                VOXEL_SIZE_XY = (first + second) / 2.0f;
                std::snprintf(chaine, CHAINE_SIZE, "\n VOXEL : %2.7f  -  %2.7f", first, second);
                WRITE_LOGFILE(chaine);
            }
        } else if (tag_is(t, 0x18, 0x00, 0x50, 0x00)) {
            if (!seen[S_SLICE]) {
                seen[S_SLICE] = true;
                unsigned char* v = copy_value(fb, p + 8, n);
                GET_VOXZIZE(&VOXEL_SIZE_Z, v, static_cast<int>(n), 4);
                std::free(v);
                VOXEL_SIZE_Z /= 10000.0f;
                std::snprintf(chaine, CHAINE_SIZE, "\n SLICE : %2.7f", VOXEL_SIZE_Z);
                WRITE_LOGFILE(chaine);
            }
        } else if (tag_is(t, 0x10, 0x00, 0x10, 0x00)) {
            if (!seen[S_NAME]) {
                seen[S_NAME] = true;
                unsigned char* v = copy_value(fb, p + 8, n);
                // The log keeps the plain-ASCII filter; PAT_NAME is decoded by the
                // character set at the end of the walk.
                ascii_filter(PAT_NAME, 100, v, n, 0, 1);
                std::free(v);
                log_text("\n PAT name : ", PAT_NAME);
                extra.name_raw.assign(reinterpret_cast<const char*>(fb.bytes + p + 8), n);
            }
        } else if (tag_is(t, 0x10, 0x00, 0x40, 0x00)) {
            if (!seen[S_SEX]) {
                seen[S_SEX] = true;
                unsigned char* v = copy_value(fb, p + 8, n);
                ascii_filter(PAT_SEX, 4, v, n, 0, 1);  // cut to 3 characters
                std::free(v);
                log_text("\n PAT sex : ", PAT_SEX);
            }
        } else if (tag_is(t, 0x10, 0x00, 0x30, 0x00)) {
            if (!seen[S_BIRTH]) {
                seen[S_BIRTH] = true;
                unsigned char* v = copy_value(fb, p + 8, n);
                ascii_filter(PAT_DATE, 20, v, n, 1, 1);  // cut to 19 characters
                extra.birth_raw.assign(reinterpret_cast<const char*>(v), n);
                std::free(v);
                FORMAT_DATE(PAT_DATE);
                log_text("\n PAT date : ", PAT_DATE);
            }
        } else if (tag_is(t, 0x10, 0x00, 0x10, 0x10)) {
            if (!seen[S_AGE]) {
                seen[S_AGE] = true;
                unsigned char* v = copy_value(fb, p + 8, n);
                // A new text sized to the value (the filter never lengthens an age),
                // never smaller than the start-up buffer.
                const std::size_t cap = n + 1 > 4 ? n + 1 : 4;
                char* age = static_cast<char*>(vesmora_alloc(cap));
                if (age == nullptr) header_memory_failure(fb, v, " DRE-4 ");
                ascii_filter(age, cap, v, n, 2, 0);
                std::free(v);
                std::free(PAT_AGE);
                PAT_AGE = age;
                log_text("\n PAT age : ", PAT_AGE);
            }
        } else if (tag_is(t, 0x08, 0x00, 0x22, 0x00)) {
            if (!seen[S_ACQ]) {
                seen[S_ACQ] = true;
                unsigned char* v = copy_value(fb, p + 8, n);
                // Sized to the value plus the two slashes of date mode (the reformatting
                // keeps the length), never smaller than the start-up buffer.
                const std::size_t cap = n + 3 > 20 ? n + 3 : 20;
                char* acq = static_cast<char*>(vesmora_alloc(cap));
                if (acq == nullptr) header_memory_failure(fb, v, " DRE-5 ");
                ascii_filter(acq, cap, v, n, 1, 1);
                extra.acq_raw.assign(reinterpret_cast<const char*>(v), n);
                std::free(v);
                std::free(ACQ_DATE);
                ACQ_DATE = acq;
                FORMAT_DATE(ACQ_DATE);
                log_text("\n ACQ date : ", ACQ_DATE);
            }
        } else if (tag_is(t, 0x28, 0x00, 0x10, 0x00)) {
            if (!seen[S_ROWS]) {
                seen[S_ROWS] = true;
                // Two bytes at p+8 whatever length the element header gives.
                OrImSize_H = static_cast<int>(fb.u16(p + 8));
                ech = OrImSize_H;
                std::snprintf(chaine, CHAINE_SIZE, "\n Or Im Size H : %d", OrImSize_H);
                WRITE_LOGFILE(chaine);
            }
        } else if (tag_is(t, 0x28, 0x00, 0x11, 0x00)) {
            if (!seen[S_COLS]) {
                seen[S_COLS] = true;
                OrImSize_V = static_cast<int>(fb.u16(p + 8));
                ech = OrImSize_V;
                std::snprintf(chaine, CHAINE_SIZE, "\n Or Im Size V : %d", OrImSize_V);
                WRITE_LOGFILE(chaine);
            }
        }

        // The age is not needed: the nine others end the walk (and the age is not read after them).
        if (seen[S_FRAMES] && seen[S_SPACING] && seen[S_SLICE] && seen[S_NAME] && seen[S_SEX] && seen[S_BIRTH] &&
            seen[S_ACQ] && seen[S_ROWS] && seen[S_COLS])
            done = true;
    }
    // Reached also when the file ends first: the header is taken as it stands and
    // the loader decides whether it can give a volume.
    std::free(fb.bytes);
    finish_header(extra, seen[S_NAME], seen[S_AGE], seen[S_ACQ]);
    WRITE_LOGFILE("\n-----------------------\n\n");
    return 1;
}

// dest must hold len + 3 bytes (date mode adds two slashes).
int GET_ASCII(char* dest, const unsigned char* src, int len, int mode, int keep_zeros) {
    const std::size_t n = len > 0 ? static_cast<std::size_t>(len) : 0;
    ascii_filter(dest, n + 3, src, n, mode, keep_zeros);
    return 0;
}

int FORMAT_DATE(char* text) {
    static const int P[10] = {8, 9, 7, 5, 6, 4, 0, 1, 2, 3};
    const std::size_t len = std::strlen(text);
    char* copy = static_cast<char*>(vesmora_alloc(len + 1));
    if (copy == nullptr) {
        MOMS(" DRE-33 ");
        EXIT_PROGRAM(33);
    }
    std::memcpy(copy, text, len + 1);
    if (len >= 10) {
        for (int i = 0; i < 10; i++) text[i] = copy[P[i]];
    } else {
        // A short date is shown as far as it goes: the same rearrangement, leaving
        // out the characters it does not have ('2026/11' -> '11/2026').
        std::size_t n = 0;
        for (int i = 0; i < 10; i++)
            if (static_cast<std::size_t>(P[i]) < len) text[n++] = copy[P[i]];
        text[n] = 0;
    }
    std::free(copy);
    return 0;
}

int GET_VOXZIZE(float* value, const unsigned char* src, int len, int digits) {
    float sum = 0.0f;
    int k = 0;
    for (int i = 0; i < len && k < digits; i++) {
        const unsigned char c = src[i];
        // The first significant digit weighs 10^(digits-1) wherever the decimal point stands.
        if ((c >= '1' && c <= '9') || (c == '0' && k > 0)) {
            const float weight = static_cast<float>(std::pow(10.0, digits - k - 1));
            sum += static_cast<float>(c - '0') * weight;
            k++;
        }
    }
    *value = sum;
    return 0;
}

int GET_NFRAMES(int* value, const unsigned char* src, int len) {
    // Held in 64 bits and stopped at the largest int: a long run of digits cannot
    // wrap round into a plausible count; the loader refuses what the file cannot hold.
    long long count = 0;
    for (int i = 0; i < len; i++) {
        const unsigned char c = src[i];
        if (c == ' ') continue;
        const int d = (c >= '0' && c <= '9') ? c - '0' : 0;  // a non-digit counts as 0
        count = count * 10 + d;
        if (count > INT_MAX) count = INT_MAX;
    }
    *value = static_cast<int>(count);
    return 0;
}

// ---- transfer syntax --------------------------------------------------------------------------
namespace {

// Usual names of the transfer syntaxes a study may come in (the reader takes only
// explicit VR little endian).
struct SyntaxName {
    const char* uid;
    const char* name;
};
const SyntaxName SYNTAX_NAMES[] = {
    {"1.2.840.10008.1.2", "implicit VR little endian"},
    {"1.2.840.10008.1.2.1", "explicit VR little endian"},
    {"1.2.840.10008.1.2.1.98", "encapsulated uncompressed explicit VR little endian"},
    {"1.2.840.10008.1.2.1.99", "deflated explicit VR little endian"},
    {"1.2.840.10008.1.2.2", "explicit VR big endian"},
    {"1.2.840.10008.1.2.4.50", "JPEG baseline"},
    {"1.2.840.10008.1.2.4.51", "JPEG extended"},
    {"1.2.840.10008.1.2.4.57", "JPEG lossless"},
    {"1.2.840.10008.1.2.4.70", "JPEG lossless, first-order prediction"},
    {"1.2.840.10008.1.2.4.80", "JPEG-LS lossless"},
    {"1.2.840.10008.1.2.4.81", "JPEG-LS near-lossless"},
    {"1.2.840.10008.1.2.4.90", "JPEG 2000 lossless"},
    {"1.2.840.10008.1.2.4.91", "JPEG 2000"},
    {"1.2.840.10008.1.2.4.92", "JPEG 2000 multi-component lossless"},
    {"1.2.840.10008.1.2.4.93", "JPEG 2000 multi-component"},
    {"1.2.840.10008.1.2.4.94", "JPIP referenced"},
    {"1.2.840.10008.1.2.4.95", "JPIP referenced deflate"},
    {"1.2.840.10008.1.2.4.100", "MPEG-2 main profile"},
    {"1.2.840.10008.1.2.4.101", "MPEG-2 high profile"},
    {"1.2.840.10008.1.2.4.102", "MPEG-4 AVC/H.264"},
    {"1.2.840.10008.1.2.4.103", "MPEG-4 AVC/H.264 BD"},
    {"1.2.840.10008.1.2.4.104", "MPEG-4 AVC/H.264 2D video"},
    {"1.2.840.10008.1.2.4.105", "MPEG-4 AVC/H.264 3D video"},
    {"1.2.840.10008.1.2.4.106", "MPEG-4 AVC/H.264 stereo"},
    {"1.2.840.10008.1.2.4.107", "HEVC/H.265 main profile"},
    {"1.2.840.10008.1.2.4.108", "HEVC/H.265 main 10 profile"},
    {"1.2.840.10008.1.2.4.201", "high-throughput JPEG 2000 lossless"},
    {"1.2.840.10008.1.2.4.202", "high-throughput JPEG 2000 lossless RPCL"},
    {"1.2.840.10008.1.2.4.203", "high-throughput JPEG 2000"},
    {"1.2.840.10008.1.2.5", "RLE lossless"},
};
constexpr char EXPLICIT_LE[] = "1.2.840.10008.1.2.1";

const char* syntax_name(const std::string& uid) {
    for (const SyntaxName& s : SYNTAX_NAMES)
        if (uid == s.uid) return s.name;
    if (uid.rfind("1.2.840.10008.1.2.4.", 0) == 0) return "compression JPEG ou vid\xE9o";
    return "inconnue";
}

// VRs whose explicit form has two reserved bytes and a 32-bit length.
bool long_form(const unsigned char* vr) {
    static const char* const LONG[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
    for (const char* l : LONG)
        if (vr[0] == l[0] && vr[1] == l[1]) return true;
    return false;
}

// (0002,0010) from the file meta information: the group 0002 elements right after
// the mark, always explicit VR little endian whatever the data set uses. False when
// the group holds no such element (or there is no group 0002 at all).
bool meta_transfer_syntax(FILE* file, std::string& uid) {
    long pos = 132;
    for (int guard = 0; guard < 1000; guard++) {
        unsigned char h[12];
        if (std::fseek(file, pos, SEEK_SET) != 0 || std::fread(h, 1, 8, file) != 8) return false;
        const unsigned group = h[0] | (h[1] << 8), elem = h[2] | (h[3] << 8);
        if (group != 0x0002) return false;
        unsigned long len;
        long value;
        if (long_form(h + 4)) {
            if (std::fread(h + 8, 1, 4, file) != 4) return false;
            len = h[8] | (h[9] << 8) | (h[10] << 16) | (static_cast<unsigned long>(h[11]) << 24);
            value = pos + 12;
        } else {
            len = h[6] | (h[7] << 8);
            value = pos + 8;
        }
        if (elem == 0x0010) {
            char text[65] = {};
            const std::size_t want = len < 64 ? len : 64;
            if (std::fread(text, 1, want, file) != want) return false;
            uid.clear();
            for (std::size_t n = 0; n < want && text[n] != 0; n++) {
                const unsigned char c = static_cast<unsigned char>(text[n]);
                uid += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';  // shown in a box
            }
            while (!uid.empty() && uid.back() == ' ') uid.pop_back();  // UI values are padded to even length
            return true;
        }
        if (len == 0xFFFFFFFFul || len > 0x7FFFFFFFul - static_cast<unsigned long>(value)) return false;
        pos = value + static_cast<long>(len);
    }
    return false;
}

}  // namespace

int CHECK_SYNTAX(FILE* file) {
    unsigned char mark[4] = {0, 0, 0, 0};
    if (file == nullptr || std::fseek(file, 128, SEEK_SET) != 0 || std::fread(mark, 1, 4, file) != 4 ||
        std::memcmp(mark, "DICM", 4) != 0)
        return 1;  // not DICOM at all: the header reader says so
    std::string uid;
    const bool named = meta_transfer_syntax(file, uid);
    std::rewind(file);
    if (named && uid == EXPLICIT_LE) return 1;
    const char* export_hint =
        "\nL'\xE9tude doit \xEAtre export\xE9" "e non compress\xE9" "e, en explicit VR little endian (1.2.840.10008.1.2.1).";
    if (!named)
        std::snprintf(chaine, CHAINE_SIZE,
                      "Ce fichier n'indique pas sa syntaxe de transfert (\xE9l\xE9ment 0002,0010 absent des "
                      "informations de fichier) : il ne peut pas \xEAtre lu.%s",
                      export_hint);
    else
        std::snprintf(chaine, CHAINE_SIZE, "Syntaxe de transfert non prise en charge : %s (%s).%s", uid.c_str(),
                      syntax_name(uid), export_hint);
    MEMS(chaine);
    return 0;
}

// =============================================================================================
// 2. Volume loader
// =============================================================================================
namespace {

// Refusal of a file that cannot give a volume: one warning box, nothing changed.
int refuse(const char* text) {
    MEMS(text);
    return 1;
}

// The header values as they stood before a file was read, so that a refused file
// leaves those of the last good file in place.
struct HeaderValues {
    char name[100], sex[4], birth[20];
    std::string acq, age;
    const char *acq_buf, *age_buf;
    int ech_, ncz, nz, rows, cols;
    float xy, z;
    char pat_id[ID_TEXT_SIZE], study_uid[ID_TEXT_SIZE], study_date[20], series[ID_TEXT_SIZE], radiopharm[ID_TEXT_SIZE];
    int age_computed, bits, unsigned_px;
    double slope, intercept;
};

void save_header(HeaderValues& h) {
    std::memcpy(h.name, PAT_NAME, sizeof h.name);
    std::memcpy(h.sex, PAT_SEX, sizeof h.sex);
    std::memcpy(h.birth, PAT_DATE, sizeof h.birth);
    h.acq = ACQ_DATE;
    h.age = PAT_AGE;
    h.acq_buf = ACQ_DATE;
    h.age_buf = PAT_AGE;
    h.ech_ = ech, h.ncz = NCZ, h.nz = Data_NZ, h.rows = OrImSize_H, h.cols = OrImSize_V;
    h.xy = VOXEL_SIZE_XY, h.z = VOXEL_SIZE_Z;
    std::memcpy(h.pat_id, PAT_ID, sizeof h.pat_id);
    std::memcpy(h.study_uid, STUDY_UID, sizeof h.study_uid);
    std::memcpy(h.study_date, STUDY_DATE, sizeof h.study_date);
    std::memcpy(h.series, SERIES_DESC, sizeof h.series);
    std::memcpy(h.radiopharm, RADIOPHARM, sizeof h.radiopharm);
    h.age_computed = PAT_AGE_COMPUTED, h.bits = BITS_ALLOC, h.unsigned_px = PIX_UNSIGNED;
    h.slope = RESCALE_SLOPE, h.intercept = RESCALE_INTERCEPT;
}

// A replaced text gets a buffer sized to the old text again (never below the start-up size).
void restore_text(char*& text, const char* old_buf, const std::string& old, std::size_t min_size, const char* code) {
    if (text == old_buf) {
        std::memcpy(text, old.c_str(), old.size() + 1);  // the buffer held this text: it fits
        return;
    }
    const std::size_t cap = old.size() + 1 > min_size ? old.size() + 1 : min_size;
    char* buf = static_cast<char*>(vesmora_alloc(cap));
    if (buf == nullptr) {
        MOMS(code);
        EXIT_PROGRAM(33);
    }
    std::memcpy(buf, old.c_str(), old.size() + 1);
    std::free(text);
    text = buf;
}

void restore_header(const HeaderValues& h) {
    std::memcpy(PAT_NAME, h.name, sizeof h.name);
    std::memcpy(PAT_SEX, h.sex, sizeof h.sex);
    std::memcpy(PAT_DATE, h.birth, sizeof h.birth);
    restore_text(ACQ_DATE, h.acq_buf, h.acq, 20, " DRE-5 ");
    restore_text(PAT_AGE, h.age_buf, h.age, 4, " DRE-4 ");
    ech = h.ech_, NCZ = h.ncz, Data_NZ = h.nz, OrImSize_H = h.rows, OrImSize_V = h.cols;
    VOXEL_SIZE_XY = h.xy, VOXEL_SIZE_Z = h.z;
    std::memcpy(PAT_ID, h.pat_id, sizeof h.pat_id);
    std::memcpy(STUDY_UID, h.study_uid, sizeof h.study_uid);
    std::memcpy(STUDY_DATE, h.study_date, sizeof h.study_date);
    std::memcpy(SERIES_DESC, h.series, sizeof h.series);
    std::memcpy(RADIOPHARM, h.radiopharm, sizeof h.radiopharm);
    PAT_AGE_COMPUTED = h.age_computed, BITS_ALLOC = h.bits, PIX_UNSIGNED = h.unsigned_px;
    RESCALE_SLOPE = h.slope, RESCALE_INTERCEPT = h.intercept;
}

// Pixels whose meaning the loader does not know are refused before anything changes.
int check_pixel_format() {
    if (BITS_ALLOC != 16) {
        std::snprintf(chaine, CHAINE_SIZE,
                      "Format de pixels non pris en charge : %d bits par pixel (Bits Allocated, 0028,0100). Seules "
                      "les images de 16 bits par pixel peuvent \xEAtre lues.",
                      BITS_ALLOC);
        return refuse(chaine);
    }
    if (PIX_UNSIGNED < 0)
        return refuse("Repr\xE9sentation des pixels inconnue (Pixel Representation, 0028,0103) : elle doit valoir 0 "
                      "ou 1. Ce fichier ne peut pas \xEAtre lu.");
    if (std::isnan(RESCALE_SLOPE) || std::isnan(RESCALE_INTERCEPT)) {
        std::snprintf(chaine, CHAINE_SIZE,
                      "Valeur de mise \xE0 l'\xE9" "chelle illisible (%s : \xAB %s \xBB) : les valeurs des pixels "
                      "ne peuvent pas \xEAtre connues.",
                      std::isnan(RESCALE_SLOPE) ? "Rescale Slope, 0028,1053" : "Rescale Intercept, 0028,1052",
                      std::isnan(RESCALE_SLOPE) ? rescale_text[0] : rescale_text[1]);
        return refuse(chaine);
    }
    // Rescaled values are summed in single precision: far beyond any count, refused
    // rather than overflowed.
    if (std::fabs(RESCALE_SLOPE) * 65536.0 + std::fabs(RESCALE_INTERCEPT) > 1e20) {
        std::snprintf(chaine, CHAINE_SIZE,
                      "Mise \xE0 l'\xE9" "chelle hors des limites (Rescale Slope %s, Rescale Intercept %s) : les "
                      "valeurs des pixels ne peuvent pas \xEAtre calcul\xE9" "es.",
                      rescale_text[0][0] ? rescale_text[0] : "1", rescale_text[1][0] ? rescale_text[1] : "0");
        return refuse(chaine);
    }
    if (!(RESCALE_SLOPE > 0.0)) {
        std::snprintf(chaine, CHAINE_SIZE,
                      "Pente de mise \xE0 l'\xE9" "chelle non prise en charge (Rescale Slope, 0028,1053) : %s. Elle "
                      "doit \xEAtre positive : ce fichier ne peut pas \xEAtre lu.",
                      rescale_text[0]);
        return refuse(chaine);
    }
    return 0;
}

// ---- resampling -------------------------------------------------------------------------------
//
// Element (i, j, k) after the two mirrors is the mix at row x(i), column y(255 - j),
// frame z(255 - k): the mirrors are folded into the per-axis tables, and each axis'
// position, corner and the two corner weights depend on its own index only. The
// weights and the sum of the eight terms are formed exactly as the step-by-step
// computation forms them, in the same order, so every element is the same float.

struct AxisTable {
    int lo[VOL_N];      // lower corner (x0, y0 or z0)
    float wlo[VOL_N];   // weight of the lower corner, |upper - position|
    float whi[VOL_N];   // weight of the upper corner, |lower - position|
    bool ok[VOL_N];     // both corners inside the source
    int first = VOL_N, last = -1;  // range of ok indices (it is one run: the position is monotone)
};

void fill_axis(AxisTable& t, int n, int limit, float (*pos)(int, int, int, int), int a, int b, int c) {
    for (int idx = 0; idx < n; idx++) {
        const float p = pos(idx, a, b, c);
        int p0 = static_cast<int>(p);
        if (p < 0) p0 -= 1;
        const int p1 = p0 + 1;
        t.lo[idx] = p0;
        t.wlo[idx] = std::fabs(p1 - p);
        t.whi[idx] = std::fabs(p0 - p);
        t.ok[idx] = p0 >= 0 && p1 < limit;
        if (t.ok[idx]) {
            if (idx < t.first) t.first = idx;
            t.last = idx;
        }
    }
}

// The positions of the step-by-step resampling, indices before the mirrors.
float row_of(int i, int rap, int, int) { return static_cast<float>(i) / rap; }
float col_of(int j, int rap, int e, int) { return (e - 1) - static_cast<float>(j) / rap; }
float frame_of(int k, int rap, int e, int ncz) {
    return (ncz - 1) - static_cast<float>(k) / rap + static_cast<float>(e - ncz) / 2;
}

struct Resampler {
    const unsigned char* block;  // the source block, 16-bit little-endian
    int e, ncz;
    AxisTable X, Y, Z;           // Y and Z indexed by the mirrored j and k
    bool any_outside;            // some element lies outside the source (and is 0)
    bool z_period8 = false;      // the frame weights of k and k + 8 are the same floats
    bool is_unsigned = false;    // Pixel Representation 0
    bool rescaled = false;       // a slope or an intercept other than 1 and 0
    double slope = 1.0, intercept = 0.0;

    // The stored value, rescaled: stored x slope + intercept (a file without rescaling
    // gives the stored value itself, as a float).
    float pixel(long long f, int r, int q) const {
        const std::size_t n = static_cast<std::size_t>((f * e + r) * e + q);
        const unsigned raw = block[2 * n] | (block[2 * n + 1] << 8);
        const int stored = is_unsigned ? static_cast<int>(raw) : static_cast<int>(static_cast<std::int16_t>(raw));
        if (!rescaled) return static_cast<float>(stored);
        return static_cast<float>(stored * slope + intercept);
    }
};

// Per-thread scratch: two source rows spread over k, each at the frames z0(k) and z0(k)+1.
struct RowCache {
    float* lo[2];  // [q * 256 + k] = pixel(z0(k), row, q)
    float* hi[2];  // [q * 256 + k] = pixel(z0(k) + 1, row, q)
    int row[2] = {-1, -1};
};

void build_row(const Resampler& R, RowCache& c, int slot, int r) {
    c.row[slot] = r;
    // Along k the frame changes every RAP elements at most: each pixel is read once
    // per run. (Walking q innermost instead would write 1 KiB apart and thrash the cache.)
    for (int q = 0; q < R.e; q++) {
        float* __restrict lo = c.lo[slot] + q * VOL_N;
        float* __restrict hi = c.hi[slot] + q * VOL_N;
        int f = -1;
        float vlo = 0.0f, vhi = 0.0f;
        for (int k = R.Z.first; k <= R.Z.last; k++) {
            if (R.Z.lo[k] != f) {
                vlo = f >= 0 && R.Z.lo[k] == f + 1 ? vhi : R.pixel(R.Z.lo[k], r, q);
                f = R.Z.lo[k];
                vhi = R.pixel(f + 1, r, q);
            }
            lo[k] = vlo;
            hi[k] = vhi;
        }
    }
}

int slot_of(const RowCache& c, int r) { return c.row[0] == r ? 0 : c.row[1] == r ? 1 : -1; }

// Eight elements along k at a time (GCC/Clang vector extension; each lane does
// exactly the scalar operations, in the same order). The hot loops are built
// twice, for AVX2 and for any x86-64, and the processor picks at run time.
typedef float v8f __attribute__((vector_size(32)));
typedef double v4d __attribute__((vector_size(32)));
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__ELF__)  // the pick needs ELF ifuncs
#define VESMORA_HOT __attribute__((target_clones("avx2", "default")))
#else
#define VESMORA_HOT
#endif

// Loads and stores that need no more than float alignment.
typedef float v8f_unaligned __attribute__((vector_size(32), aligned(4)));
#define LOAD8(p) (*reinterpret_cast<const v8f_unaligned*>(p))
#define STORE8(p, v) (*reinterpret_cast<v8f_unaligned*>(p) = (v))

// One line of 256 elements along k: the eight terms in the order of the
// step-by-step sum (frame z0 then z1; within a frame rows x0, x1; within a row
// columns y0, y1). Elements outside the source are 0. Returns the run [kb, ke)
// of whole groups of eight that holds every element inside the source.
inline __attribute__((always_inline)) void mix_line(const Resampler& R, RowCache& c, int i, int j, float* line, int& kb, int& ke) {
    const int r0 = R.X.lo[i];
    int s0 = slot_of(c, r0);
    if (s0 < 0) {
        s0 = c.row[0] == r0 + 1 ? 1 : 0;
        build_row(R, c, s0, r0);
    }
    int s1 = slot_of(c, r0 + 1);
    if (s1 < 0) {
        s1 = 1 - s0;
        build_row(R, c, s1, r0 + 1);
    }
    const int q0 = R.Y.lo[j];
    const float w00 = R.X.wlo[i] * R.Y.wlo[j], w01 = R.X.wlo[i] * R.Y.whi[j];
    const float w10 = R.X.whi[i] * R.Y.wlo[j], w11 = R.X.whi[i] * R.Y.whi[j];
    const float* a0 = c.lo[s0] + q0 * VOL_N;
    const float* b0 = a0 + VOL_N;
    const float* c0 = c.lo[s1] + q0 * VOL_N;
    const float* d0 = c0 + VOL_N;
    const float* a1 = c.hi[s0] + q0 * VOL_N;
    const float* b1 = a1 + VOL_N;
    const float* c1 = c.hi[s1] + q0 * VOL_N;
    const float* d1 = c1 + VOL_N;
    // Lanes outside [first, last] read the zeros the row cache holds there and are cleared below.
    kb = R.Z.first & ~7;
    ke = (R.Z.last + 8) & ~7;
    for (int k = 0; k < kb; k++) line[k] = 0.0f;
    if (R.z_period8) {
        // The frame weights repeat every eight elements: the eight weight products
        // are the same for every group of the line.
        const v8f z0 = LOAD8(R.Z.wlo + kb), z1 = LOAD8(R.Z.whi + kb);
        const v8f p0 = w00 * z0, p1 = w01 * z0, p2 = w10 * z0, p3 = w11 * z0;
        const v8f p4 = w00 * z1, p5 = w01 * z1, p6 = w10 * z1, p7 = w11 * z1;
        for (int k = kb; k < ke; k += 8) {
            v8f v = {};
            v += p0 * LOAD8(a0 + k);
            v += p1 * LOAD8(b0 + k);
            v += p2 * LOAD8(c0 + k);
            v += p3 * LOAD8(d0 + k);
            v += p4 * LOAD8(a1 + k);
            v += p5 * LOAD8(b1 + k);
            v += p6 * LOAD8(c1 + k);
            v += p7 * LOAD8(d1 + k);
            STORE8(line + k, v);
        }
    } else {
        for (int k = kb; k < ke; k += 8) {
            const v8f z0 = LOAD8(R.Z.wlo + k), z1 = LOAD8(R.Z.whi + k);
            v8f v = {};
            v += (w00 * z0) * LOAD8(a0 + k);
            v += (w01 * z0) * LOAD8(b0 + k);
            v += (w10 * z0) * LOAD8(c0 + k);
            v += (w11 * z0) * LOAD8(d0 + k);
            v += (w00 * z1) * LOAD8(a1 + k);
            v += (w01 * z1) * LOAD8(b1 + k);
            v += (w10 * z1) * LOAD8(c1 + k);
            v += (w11 * z1) * LOAD8(d1 + k);
            STORE8(line + k, v);
        }
    }
    for (int k = kb; k < R.Z.first; k++) line[k] = 0.0f;
    for (int k = R.Z.last + 1; k < VOL_N; k++) line[k] = 0.0f;
}

// First pass: the largest and smallest element over planes [i_begin, i_end), nothing
// stored. Lanes outside the source hold 0, which the search may see: it starts from
// 0 for the largest, and such elements exist then, so the smallest is at most 0.
VESMORA_HOT void extremes(const Resampler& R, RowCache& c, int i_begin, int i_end, float& vmax, float& vmin) {
    float line[VOL_N];
    v8f mx = {};
    v8f mn = mx + 999999.875f;
    for (int i = i_begin; i < i_end; i++) {
        if (!R.X.ok[i]) continue;
        for (int j = R.Y.first; j <= R.Y.last; j++) {
            int kb, ke;
            mix_line(R, c, i, j, line, kb, ke);
            for (int k = kb; k < ke; k += 8) {
                const v8f v = LOAD8(line + k);
                mx = v > mx ? v : mx;
                mn = v < mn ? v : mn;
            }
        }
    }
    vmax = 0.0f;
    vmin = 999999.875f;
    for (int l = 0; l < 8; l++) {
        if (mx[l] > vmax) vmax = mx[l];
        if (mn[l] < vmin) vmin = mn[l];
    }
}

// The largest element without mixing every line, when no source pixel is negative and some
// element lies outside the source (the smallest element is then 0, which such elements
// hold). An element is a sum of eight non-negative terms whose weights add up to 1 within
// a few roundings of a float, so it exceeds the largest of its eight pixels by less than
// 1e-5 of it: a cell of lines (rows x0 and x0 + 1, columns y0 and y0 + 1, any frame) whose
// largest pixel, so enlarged, is not above the largest element found cannot hold a larger
// one, and is skipped. The cells left are mixed as the full pass mixes them, so the result
// is the same float. False (nothing found) when the shortcut does not apply.
bool largest_by_cells(const Resampler& R, RowCache& c, float& vmax) {
    if (!R.any_outside || R.Z.last < R.Z.first) return false;
    const int e = R.e;
    // The frames some element mixes: the lower corners of the frame table and the next.
    int f_lo = R.Z.lo[R.Z.first], f_hi = R.Z.lo[R.Z.first];
    for (int k = R.Z.first; k <= R.Z.last; k++) f_lo = std::min(f_lo, R.Z.lo[k]), f_hi = std::max(f_hi, R.Z.lo[k] + 1);
    // top[r * e + q]: the largest pixel of row r, column q over those frames.
    const std::size_t frame = static_cast<std::size_t>(e) * e;
    std::vector<float> top(frame, 0.0f);
    if (!R.rescaled) {
        // The stored values themselves: any negative one (signed pixels) ends the shortcut.
        std::vector<int> most(frame, 0);
        int least = 0;
        const int sign = R.is_unsigned ? 0 : 0x8000;  // (raw ^ sign) - sign: the stored value
        for (int f = f_lo; f <= f_hi; f++) {
            const unsigned char* b = R.block + 2 * static_cast<std::size_t>(f) * frame;
            for (std::size_t n = 0; n < frame; n++) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
                std::uint16_t raw;  // the file's byte order is the processor's: one load
                std::memcpy(&raw, b + 2 * n, 2);
#else
                const unsigned raw = b[2 * n] | (b[2 * n + 1] << 8);
#endif
                const int v = (static_cast<int>(raw) ^ sign) - sign;
                most[n] = std::max(most[n], v);
                least = std::min(least, v);
            }
        }
        if (least < 0) return false;
        for (std::size_t n = 0; n < frame; n++) top[n] = static_cast<float>(most[n]);
    } else {
        for (int f = f_lo; f <= f_hi; f++)
            for (int r = 0; r < e; r++)
                for (int q = 0; q < e; q++) {
                    const float v = R.pixel(f, r, q);
                    if (std::signbit(v)) return false;  // negative (or -0): the smallest needs every element
                    float& t = top[static_cast<std::size_t>(r) * e + q];
                    if (v > t) t = v;
                }
    }
    // The runs of i (and of j) that share a lower row (column): the positions are monotone.
    struct Run {
        int begin = VOL_N, end = 0;
    };
    std::vector<Run> rows(e), cols(e);
    for (int i = R.X.first; i <= R.X.last; i++) {
        Run& u = rows[R.X.lo[i]];
        u.begin = std::min(u.begin, i), u.end = std::max(u.end, i + 1);
    }
    for (int j = R.Y.first; j <= R.Y.last; j++) {
        Run& u = cols[R.Y.lo[j]];
        u.begin = std::min(u.begin, j), u.end = std::max(u.end, j + 1);
    }
    struct Cell {
        int x0, y0;
        float bound;  // the largest of its pixels
    };
    std::vector<Cell> cells;
    for (int x0 = 0; x0 + 1 < e; x0++) {
        if (rows[x0].begin >= rows[x0].end) continue;
        const float* t0 = top.data() + static_cast<std::size_t>(x0) * e;
        const float* t1 = t0 + e;
        for (int y0 = 0; y0 + 1 < e; y0++)
            if (cols[y0].begin < cols[y0].end)
                cells.push_back({x0, y0, std::max(std::max(t0[y0], t0[y0 + 1]), std::max(t1[y0], t1[y0 + 1]))});
    }
    vmax = 0.0f;
    if (cells.empty()) return true;
    float line[VOL_N];
    auto mix_cell = [&](const Cell& cell) {
        for (int i = rows[cell.x0].begin; i < rows[cell.x0].end; i++)
            for (int j = cols[cell.y0].begin; j < cols[cell.y0].end; j++) {
                int kb, ke;
                mix_line(R, c, i, j, line, kb, ke);
                for (int k = kb; k < ke; k++)
                    if (line[k] > vmax) vmax = line[k];
            }
    };
    auto may_pass = [&](const Cell& cell) { return static_cast<double>(cell.bound) * (1.0 + 1e-5) > vmax; };
    // The most promising cell first; then, hottest first, every cell that could still pass the
    // largest found. Where too many could (a flat or noisy volume), the full pass is cheaper.
    auto hotter = [](const Cell& a, const Cell& b) { return a.bound > b.bound; };
    std::iter_swap(cells.begin(), std::min_element(cells.begin(), cells.end(), hotter));
    mix_cell(cells.front());
    const auto left = std::partition(cells.begin() + 1, cells.end(), may_pass);
    long lines = 0;
    for (auto it = cells.begin() + 1; it != left; ++it)
        lines += static_cast<long>(rows[it->x0].end - rows[it->x0].begin) * (cols[it->y0].end - cols[it->y0].begin);
    if (lines > VOL_N * VOL_N / 32) return false;
    std::sort(cells.begin() + 1, left, hotter);
    for (auto it = cells.begin() + 1; it != left; ++it)
        if (may_pass(*it)) mix_cell(*it);
    return true;
}

// Second pass: every element of planes [i_begin, i_end), scaled to percent of the
// largest: v x (100 / largest) in double, which is v x 100 / largest to the last
// bit of the float (and exactly 100 for the largest).
// The volume is written once and read much later: its lines go straight to memory
// (streaming stores, which skip reading each line in before writing it), the same values.
#if defined(__SSE__)
typedef float v4f __attribute__((vector_size(16)));
inline __attribute__((always_inline)) void put8(float* out, v8f v) {
    _mm_stream_ps(out, v4f{v[0], v[1], v[2], v[3]});
    _mm_stream_ps(out + 4, v4f{v[4], v[5], v[6], v[7]});
}
inline void put_done() { _mm_sfence(); }  // before the threads' work is handed over
#else
inline void put8(float* out, v8f v) { STORE8(out, v); }
inline void put_done() {}
#endif

VESMORA_HOT void fill_planes(const Resampler& R, RowCache& c, int i_begin, int i_end, float largest) {
    const v4d scale = v4d{} + 100.0 / static_cast<double>(largest);
    const v8f lo = {}, hi = lo + 100.0f;
    alignas(32) float line[VOL_N];
    for (int i = i_begin; i < i_end; i++) {
        float* plane = data + static_cast<std::size_t>(i) * VOL_N * VOL_N;
        for (int j = 0; j < VOL_N; j++) {
            float* out = plane + j * VOL_N;  // 32-byte aligned, as data is
            if (!R.X.ok[i] || !R.Y.ok[j]) {
                for (int k = 0; k < VOL_N; k += 8) put8(out + k, lo);
                continue;
            }
            int kb, ke;
            mix_line(R, c, i, j, line, kb, ke);
            for (int k = 0; k < VOL_N; k += 8) {
                if (k < kb || k >= ke) {  // 0 outside the source
                    put8(out + k, lo);
                    continue;
                }
                const v8f v = LOAD8(line + k);
                const v4d d0 = {v[0], v[1], v[2], v[3]}, d1 = {v[4], v[5], v[6], v[7]};
                const v4d q0 = d0 * scale, q1 = d1 * scale;
                v8f s = {static_cast<float>(q0[0]), static_cast<float>(q0[1]), static_cast<float>(q0[2]),
                         static_cast<float>(q0[3]), static_cast<float>(q1[0]), static_cast<float>(q1[1]),
                         static_cast<float>(q1[2]), static_cast<float>(q1[3])};
                s = s < lo ? lo : s;
                s = s > hi ? hi : s;
                put8(out + k, s);
            }
        }
    }
    put_done();
}

// Runs job(first_plane, end_plane, part) for each of the parts, on as many threads.
template <typename Job>
void on_all_cores(int parts, Job job) {
    run_tasks(parts, parts, [&](int t) { job(t * VOL_N / parts, (t + 1) * VOL_N / parts, t); });
}

}  // namespace

namespace {

// The file being opened, for the refusals that name it ("" when READ_DATA runs alone).
std::string reading_path;
// What the loader itself made of the file (Latin-1, "" when nothing), for STUDY_NOTE.
std::string read_note;

int refuse_gated(const std::string& why) {
    const std::string text = reading_path.empty()
                                 ? "Cette \xE9tude synchronis\xE9" "e ne peut pas \xEAtre lue : " + why + "."
                                 : "Le fichier " + reading_path + " ne peut pas \xEAtre ouvert : " + why + ".";
    return refuse(text.c_str());
}

// A gated file (Number of Time Slots over 1) that the import has not summed: its NCZ frames,
// read into `block`, summed slice by slice into the block's first slices, as the import sums
// them (the same sum, the same factor when it overflows 16 bits, the same rescale), and the
// gates kept in GATES_PENDING. NCZ becomes the slice count. 0, or 1 after a box.
int sum_gated_block(unsigned char* block) {
    const GatedLayout& L = gated_layout;
    const long frames = NCZ, slots = L.slots, frame_px = static_cast<long>(ech) * ech;
    if (frames % slots != 0)
        return refuse_gated(std::to_string(frames) + " images ne se r\xE9partissent pas en " + std::to_string(slots) +
                            " intervalles de synchronisation");
    const long slices = frames / slots;
    const long stated = L.slices_said >= 0 ? L.slices_said : slices;
    if (stated != slices)
        return refuse_gated("le nombre de coupes (Number of Slices, 0054,0081 : " + std::to_string(stated) +
                            ") ne correspond pas aux " + std::to_string(frames) + " images en " + std::to_string(slots) +
                            " intervalles");
    const bool by_vectors = static_cast<long>(L.gate_of.size()) == frames && static_cast<long>(L.slice_of.size()) == frames;
    std::vector<long> place(frames);  // gate * slices + slice, per frame of the file
    std::vector<char> seen(frames, 0);
    for (long f = 0; f < frames; f++) {
        long g, s;
        if (by_vectors) {
            g = L.gate_of[f] - 1, s = L.slice_of[f] - 1;
            if (g < 0 || g >= slots || s < 0 || s >= slices)
                return refuse_gated("l'image " + std::to_string(f + 1) + " porte l'intervalle " + std::to_string(g + 1) +
                                    " et la coupe " + std::to_string(s + 1) + ", hors des " + std::to_string(slots) +
                                    " intervalles et " + std::to_string(slices) + " coupes");
        } else {
            g = L.gate_first ? f / slices : f % slots;
            s = L.gate_first ? f % slices : f / slots;
        }
        place[f] = g * slices + s;
        if (seen[place[f]]++)
            return refuse_gated("l'intervalle " + std::to_string(g + 1) + ", coupe " + std::to_string(s + 1) +
                                ", figure deux fois");
    }

    const bool is_signed = PIX_UNSIGNED != 1;
    auto value = [&](long f, long p) {
        const std::size_t at = 2 * static_cast<std::size_t>(f * frame_px + p);
        const unsigned raw = block[at] | (block[at + 1] << 8);
        return is_signed ? static_cast<std::int64_t>(static_cast<std::int16_t>(raw)) : static_cast<std::int64_t>(raw);
    };
    std::vector<std::int64_t> sum(static_cast<std::size_t>(slices) * frame_px, 0);
    for (long f = 0; f < frames; f++) {
        std::int64_t* dst = sum.data() + (place[f] % slices) * frame_px;
        for (long p = 0; p < frame_px; p++) dst[p] += value(f, p);
    }
    std::int64_t largest = 0;
    for (std::int64_t v : sum) largest = std::max(largest, v < 0 ? -v : v);
    const double limit = is_signed ? 32767.0 : 65535.0;
    const double factor = largest > limit ? limit / static_cast<double>(largest) : 1.0;

    const std::size_t gate_bytes = static_cast<std::size_t>(frames) * frame_px * 2;
    GATES_PENDING.clear();
    if (gate_bytes <= GATES_MAX_BYTES) {  // kept when they fit in one volume's worth of memory
        GATES_PENDING.voxels.resize(static_cast<std::size_t>(frames) * frame_px);
        for (long f = 0; f < frames; f++)
            for (long p = 0; p < frame_px; p++)
                GATES_PENDING.voxels[place[f] * frame_px + p] = static_cast<std::int16_t>(value(f, p));
        GATES_PENDING.count = static_cast<int>(slots), GATES_PENDING.slices = static_cast<int>(slices);
        GATES_PENDING.size = ech, GATES_PENDING.is_unsigned = !is_signed;
    } else {
        GATES_PENDING.not_kept = static_cast<int>(slots);
    }
    for (std::size_t n = 0; n < sum.size(); n++) {
        const long long v = factor == 1.0 ? sum[n] : std::llround(static_cast<double>(sum[n]) * factor);
        const auto stored = static_cast<std::uint16_t>(v);  // two's complement for a negative sum
        block[2 * n] = static_cast<unsigned char>(stored & 0xFF);
        block[2 * n + 1] = static_cast<unsigned char>(stored >> 8);
    }
    // The rescale as the import writes it into the file it hands over (ten digits), read back
    // as the reader reads a file: the slope over the factor, the intercept once per gate.
    char text[40];
    if (L.slope_said || (L.intercept_said && factor != 1.0)) {
        std::snprintf(text, sizeof text, "%.10g", RESCALE_SLOPE / factor);
        decimal_value(text, RESCALE_SLOPE);
    }
    if (L.intercept_said) {
        std::snprintf(text, sizeof text, "%.10g", RESCALE_INTERCEPT * static_cast<double>(slots));
        decimal_value(text, RESCALE_INTERCEPT);
    }
    NCZ = Data_NZ = static_cast<int>(slices);
    read_note = "synchronis\xE9 (" + std::to_string(slots) + " intervalles), somm\xE9";
    return 0;
}

}  // namespace

namespace {

// A path longer than the program's buffers is refused whole: a cut one would name another
// file, or none. Returns 0.
int refuse_long_path() {
    std::snprintf(chaine, CHAINE_SIZE,
                  "Le chemin de ce fichier est trop long (plus de %d caract\xE8res) : il ne peut pas \xEAtre "
                  "ouvert.\nPlacez le fichier dans un dossier au chemin plus court.",
                  PATH_SIZE - 1);
    refuse(chaine);
    return 0;
}

}  // namespace

int LOAD_DCM_FILE() {
    char path[PATH_SIZE] = {};
    const int chosen =
        // Studies, a CD's DICOMDIR and its images, which have no extension ("*.").
        plat_open_file_dialog(WINDOW, "Ouvrir un fichier Dicom", "fichier DICOM", "*.dcm;DICOMDIR;*.", path, PATH_SIZE);
    if (chosen == -1) return refuse_long_path();  // the dialog never cuts a path
    if (chosen != 1) return 0;
    return LOAD_DCM_PATH(path);
}

OpenHooks open_hooks;

namespace {

// The study being read: the user's file, or the import's memory stream.
PreparedStudy prepared;

void close_study() {
    if (fich != nullptr && fich == prepared.file && prepared.release != nullptr)
        prepared.release(prepared);
    else if (fich != nullptr)
        std::fclose(fich);
    fich = nullptr;
    prepared = PreparedStudy{};
}

// A study that is not the end of a load: its gates go with it.
int drop_study() {
    close_study();
    GATES_PENDING.clear();
    reading_path.clear();
    return 0;
}

// A CD's DICOMDIR, by its name (the file set's own name for it).
bool dicomdir_name(const char* path) {
    const char* name = path;
    for (const char* c = path; *c != 0; ++c)
        if (*c == '/' || *c == '\\') name = c + 1;
    const char* want = "DICOMDIR";
    for (; *want != 0; ++name, ++want)
        if ((*name >= 'a' && *name <= 'z' ? *name - 'a' + 'A' : *name) != *want) return false;
    return *name == 0;
}

}  // namespace

int LOAD_DCM_PATH(const char* path) {
    if (std::strlen(path) >= static_cast<std::size_t>(PATH_SIZE)) return refuse_long_path();
    prepared = PreparedStudy{};
    GATES_PENDING.clear();
    fich = nullptr;
    reading_path = path;
    read_note.clear();
    if (open_hooks.prepare != nullptr) {
        std::string error;
        const int made = open_hooks.prepare(path, prepared, error);
        if (made < 0) {
            if (!error.empty()) refuse(error.c_str());
            return drop_study();
        }
        if (made == 1 && prepared.file != nullptr) {
            fich = prepared.file;
            if (!prepared.note.empty()) {
                std::snprintf(chaine, CHAINE_SIZE, "\n %s\n", prepared.note.c_str());
                WRITE_LOGFILE(chaine);
            }
        } else {
            prepared = PreparedStudy{};
        }
    } else if (dicomdir_name(path)) {
        refuse("Ce fichier est le sommaire d'un CD (DICOMDIR) : cette version de Vesmora ne lit pas les "
               "DICOMDIR.\nLa version Linux les ouvre ; ici, ouvrez le fichier de l'\xE9tude elle-m\xEAme.");
        return drop_study();
    }
    if (fich == nullptr) {
        errno = 0;
        fich = std::fopen(path, "rb");
    }
    if (fich == nullptr) {  // the file and the system's reason (missing, not allowed, a folder...)
        const std::string why = with_detail(std::string("Impossible d'ouvrir ce fichier.\n") + path,
                                            errno != 0 ? std::strerror(errno) : "");
        refuse(why.c_str());
        return drop_study();
    }
    if (CHECK_SYNTAX(fich) != 1) return drop_study();

    HeaderValues before;
    save_header(before);
    // Marks that tell whether this file carries Rows and Columns (they are 0..65535 when read).
    OrImSize_H = OrImSize_V = -1;
    int ok = GET_DICOM_INFO(fich) == 1;
    if (ok) {
        const bool rows = OrImSize_H != -1, cols = OrImSize_V != -1;
        if (!rows) OrImSize_H = before.rows;
        if (!cols) OrImSize_V = before.cols;
        // Non-square images would be read as a square they are not.
        if (rows && cols && OrImSize_H != OrImSize_V) {
            std::snprintf(chaine, CHAINE_SIZE,
                          "Images non carr\xE9" "es (%d lignes, %d colonnes) : ce fichier ne peut pas \xEA" "tre lu.",
                          OrImSize_H, OrImSize_V);
            refuse(chaine);
            ok = 0;
        }
    }
    // The volume is made (or the file refused) before the caption and the patient text
    // change, so a refused file leaves the last good study whole.
    if (ok && READ_DATA() != 0) ok = 0;
    reading_path.clear();
    if (!ok) {
        restore_header(before);
        return drop_study();
    }
    if (!read_note.empty()) {
        if (!prepared.note.empty()) prepared.note += " ; ";
        prepared.note += read_note;
        std::snprintf(chaine, CHAINE_SIZE, "\n %s\n", read_note.c_str());
        WRITE_LOGFILE(chaine);
    }

    std::snprintf(chaine, CHAINE_SIZE, "  Vesmora    -    [ %s ]", path);
    plat_set_window_text(WINDOW, chaine);
    std::snprintf(STUDY_NOTE, STUDY_NOTE_SIZE, "%s", prepared.note.c_str());
    std::snprintf(chaine, CHAINE_SIZE, "Infos patient :\n%s  ( %s)\nN\xE9(e) : %s\nExam : %s%s%s", PAT_NAME, PAT_SEX,
                  PAT_DATE, ACQ_DATE, STUDY_NOTE[0] ? "\n" : "", STUDY_NOTE);
    plat_set_dlg_item_text(WINDOW, ID_PATIENT, chaine);

    std::snprintf(DCM_PATH, PATH_SIZE, "%s", path);  // the dialog never gives a longer one

    std::swap(GATES, GATES_PENDING);
    GATES_PENDING.clear();
    close_study();
    return 1;
}

// Returns 0 when the volume is loaded; 1 when the file cannot give one (a warning
// box says why, and data, RAP and the interaction state are untouched).
int READ_DATA() {
    if (check_pixel_format() != 0) return 1;
    if (ech < 2 || ech > 256) {
        std::snprintf(chaine, CHAINE_SIZE,
                      "Taille d'image non prise en charge (%d pixels) : elle doit \xEA" "tre comprise entre 2 et 256.",
                      ech);
        return refuse(chaine);
    }
    if (NCZ < 2) {
        std::snprintf(chaine, CHAINE_SIZE, "Nombre de coupes insuffisant (%d) : il en faut au moins 2.", NCZ);
        return refuse(chaine);
    }
    // 2 x ech x ech x NCZ in 64 bits: at most 2^48, never wraps.
    const long long count = static_cast<long long>(ech) * ech * NCZ;
    const long long bytes = 2 * count;
    long long size = -1;
    if (fich != nullptr && std::fseek(fich, 0, SEEK_END) == 0) size = std::ftell(fich);
    if (size < bytes) {
        std::snprintf(chaine, CHAINE_SIZE,
                      "Fichier incomplet : les images (%d x %d x %d pixels, %lld octets) d\xE9passent la taille "
                      "du fichier (%lld octets).",
                      ech, ech, NCZ, bytes, size < 0 ? 0LL : size);
        return refuse(chaine);
    }

    const int rap = VOL_N / ech;
    auto* block = static_cast<unsigned char*>(vesmora_alloc(static_cast<std::size_t>(bytes)));
    if (block == nullptr) {
        MOMS(" load ");
        EXIT_PROGRAM(33);
    }
    // The block is the tail of the file, whatever the Pixel Data element says.
    if (std::fseek(fich, static_cast<long>(size - bytes), SEEK_SET) != 0 ||
        vesmora_read(block, 1, static_cast<std::size_t>(bytes), fich) != static_cast<std::size_t>(bytes)) {
        std::free(block);
        return refuse("Lecture des images du fichier impossible.");
    }
    read_note.clear();
    if (gated_layout.slots > 1) {
        if (sum_gated_block(block) != 0) {
            std::free(block);
            return 1;
        }
        if (NCZ < 2) {
            std::free(block);
            std::snprintf(chaine, CHAINE_SIZE, "Nombre de coupes insuffisant (%d) : il en faut au moins 2.", NCZ);
            return refuse(chaine);
        }
    }

    Resampler R{block, ech, NCZ, {}, {}, {}, false};
    R.is_unsigned = PIX_UNSIGNED == 1;
    R.slope = RESCALE_SLOPE, R.intercept = RESCALE_INTERCEPT;
    R.rescaled = RESCALE_SLOPE != 1.0 || RESCALE_INTERCEPT != 0.0;
    fill_axis(R.X, VOL_N, ech, row_of, rap, ech, NCZ);
    // Mirrors folded in: j and k index the tables after the mirrors, the positions use 255 - j, 255 - k.
    {
        AxisTable y, z;
        fill_axis(y, VOL_N, ech, col_of, rap, ech, NCZ);
        fill_axis(z, VOL_N, NCZ, frame_of, rap, ech, NCZ);
        for (int n = 0; n < VOL_N; n++) {
            const int m = VOL_N - 1 - n;
            R.Y.lo[n] = y.lo[m], R.Y.wlo[n] = y.wlo[m], R.Y.whi[n] = y.whi[m], R.Y.ok[n] = y.ok[m];
            R.Z.lo[n] = z.lo[m], R.Z.wlo[n] = z.wlo[m], R.Z.whi[n] = z.whi[m], R.Z.ok[n] = z.ok[m];
        }
        R.Y.first = y.last < 0 ? VOL_N : VOL_N - 1 - y.last;
        R.Y.last = y.first >= VOL_N ? -1 : VOL_N - 1 - y.first;
        R.Z.first = z.last < 0 ? VOL_N : VOL_N - 1 - z.last;
        R.Z.last = z.first >= VOL_N ? -1 : VOL_N - 1 - z.first;
    }
    const bool empty = R.X.last < 0 || R.Y.last < 0 || R.Z.last < 0;
    // With RAP 1, 2, 4 or 8 the frame positions step by exact fractions and the
    // weights repeat every eight elements; checked, not assumed.
    R.z_period8 = true;
    for (int k = 8; k < VOL_N; k++)
        if (R.Z.wlo[k] != R.Z.wlo[k - 8] || R.Z.whi[k] != R.Z.whi[k - 8]) R.z_period8 = false;
    R.any_outside = empty || R.X.first > 0 || R.X.last < VOL_N - 1 || R.Y.first > 0 || R.Y.last < VOL_N - 1 ||
                    R.Z.first > 0 || R.Z.last < VOL_N - 1;

    const int parts = worker_threads();
    RowCache caches[8];
    const std::size_t row_floats = static_cast<std::size_t>(4) * ech * VOL_N * parts;
    float* rows = static_cast<float*>(vesmora_alloc(sizeof(float) * row_floats));
    if (rows == nullptr) {
        std::free(block);
        MOMS(" load ");
        EXIT_PROGRAM(33);
    }

    std::memset(rows, 0, sizeof(float) * row_floats);
    for (int t = 0; t < parts; t++) {
        float* base = rows + static_cast<std::size_t>(t) * 4 * ech * VOL_N;
        for (int s = 0; s < 2; s++) {
            caches[t].lo[s] = base + (2 * s) * ech * VOL_N;
            caches[t].hi[s] = base + (2 * s + 1) * ech * VOL_N;
        }
    }

    // Largest and smallest element, before anything is written: a volume without a
    // positive element cannot be scaled, and data keeps the previous study.
    float part_max[8], part_min[8];
    float largest = 0.0f, smallest = 999999.875f;
    if (!empty && largest_by_cells(R, caches[0], largest)) {
        smallest = 0.0f;
    } else if (!empty) {
        largest = 0.0f;
        on_all_cores(parts, [&](int ib, int ie, int t) { extremes(R, caches[t], ib, ie, part_max[t], part_min[t]); });
        for (int t = 0; t < parts; t++) {
            if (part_max[t] > largest) largest = part_max[t];
            if (part_min[t] < smallest) smallest = part_min[t];
        }
    }
    if (R.any_outside && 0.0f < smallest) smallest = 0.0f;  // the elements outside the source are 0
    if (!(largest > 0.0f)) {
        std::free(rows);
        std::free(block);
        return refuse("Le volume de ce fichier ne contient aucune valeur positive : il ne peut pas \xEA" "tre affich\xE9.");
    }

    RAP = rap;
    std::snprintf(chaine, CHAINE_SIZE, "Max data : %2.1f\nMin data : %2.1f\n", largest, smallest);
    WRITE_LOGFILE(chaine);
    // (The rows left in the caches by the first pass still hold; the second starts with them.)
    VOLUME_OVERWRITTEN();
    on_all_cores(parts, [&](int ib, int ie, int t) { fill_planes(R, caches[t], ib, ie, largest); });
    std::free(rows);
    DATA_CHANGED();

    // Interaction state for the new volume, in this order.
    Nhla = Nvla = Nsa = 128;
    ell_ri = 80, ell_rj = 50, ell_rk = 50;
    ill_ri = 30, ill_rj = 20, ill_rk = 20;
    plat_send_message(WINDOW, VM_INITDIALOG, 0, 0);
    RAP = 1;
    res3D_ang = 8;
    for (int n = 0; n < 3; n++) set_centre[n] = set_centri[n] = slide[n] = 0;
    set_plan[0] = set_plan[1] = 0;
    ell_ok = 0;
    res_ok = 0;
    plat_send_message(WINDOW, VM_INITDIALOG, 0, 0);
    std::free(block);
    const int rows_used = sam_ax < 0 ? 0 : sam_ax > 480 ? 480 : sam_ax;
    const int cols_used = sam_ang < 0 ? 0 : sam_ang > 480 ? 480 : sam_ang;
    for (int r = 0; r < rows_used; r++)
        for (int q = 0; q < cols_used; q++) SAMPLE[r * 480 + q] = 0.0f;
    for (int n = 0; n <= 17; n++) SECTEUR[n] = 0.0f;
    return 0;
}

int SWITCH_SLICES(int mode) {
    float line[VOL_N];
    if (mode == 1) {
        // Along axis 3: (i, j, k) <- (i, j, 255 - k), one line of k at a time.
        for (int ij = 0; ij < VOL_N * VOL_N; ij++) {
            float* l = data + static_cast<std::size_t>(ij) * VOL_N;
            for (int k = 0; k < VOL_N; k++) line[k] = l[VOL_N - 1 - k];
            std::memcpy(l, line, sizeof line);
        }
    } else if (mode == 2) {
        // Along axis 2: (i, j, k) <- (i, 255 - j, k), lines j and 255 - j exchanged.
        for (int i = 0; i < VOL_N; i++) {
            float* plane = data + static_cast<std::size_t>(i) * VOL_N * VOL_N;
            for (int j = 0; j < VOL_N / 2; j++) {
                float* a = plane + j * VOL_N;
                float* b = plane + (VOL_N - 1 - j) * VOL_N;
                std::memcpy(line, a, sizeof line);
                std::memcpy(a, b, sizeof line);
                std::memcpy(b, line, sizeof line);
            }
        }
    }
    if (mode == 1 || mode == 2) DATA_CHANGED();
    return 0;
}

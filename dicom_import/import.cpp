// The study files a department has, made into the bytes the program's reader takes.
// Files already in explicit VR little endian and not gated are left to the reader untouched
// (read exactly as before, and as fast); the others (and a CD's chosen series, a series stored
// one frame per file, once gathered) are decoded with DCMTK and written again in explicit VR
// little endian into a memory stream.
#include "import.h"

#include <stdio.h>  // fmemopen

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <string>
#include <thread>
#include <vector>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcdict.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcmetinf.h>
#include <dcmtk/dcmdata/dcostrmb.h>
#include <dcmtk/dcmdata/dcrledrg.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <dcmtk/dcmjpeg/djdecode.h>
#include <dcmtk/dcmjpls/djdecode.h>
#include <dcmtk/oflog/oflog.h>

#include "dicomdir.h"
#include "main.h"

namespace {

// The syntaxes decoded here; the others (JPEG 2000, video...) are left to the reader, which
// refuses them by name.
bool decoded_here(E_TransferSyntax x) {
    switch (x) {
    case EXS_LittleEndianImplicit:
    case EXS_BigEndianExplicit:
    case EXS_DeflatedLittleEndianExplicit:
    case EXS_JPEGProcess1:
    case EXS_JPEGProcess2_4:
    case EXS_JPEGProcess14:
    case EXS_JPEGProcess14SV1:
    case EXS_JPEGLSLossless:
    case EXS_JPEGLSLossy:
    case EXS_RLELossless:
        return true;
    default:
        return false;
    }
}

void register_codecs() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The reasons reach the user in the refusal box; DCMTK's own lines would only repeat them
        // on the terminal (and warn of every header read that stops before the pixels).
        for (const char* name : {"dcmtk.dcmdata", "dcmtk.dcmjpeg", "dcmtk.dcmjpls"})
            OFLog::getLogger(name).setLogLevel(OFLogger::FATAL_LOG_LEVEL);
        DJDecoderRegistration::registerCodecs();
        DJLSDecoderRegistration::registerCodecs();
        DcmRLEDecoderRegistration::registerCodecs();
    });
}

std::string syntax_of(E_TransferSyntax x) { return DcmXfer(x).getXferName(); }

void release_stream(PreparedStudy& s) {
    if (s.file != nullptr) std::fclose(s.file);  // fmemopen's own buffer goes with it
    s.file = nullptr;
}

void add_note(std::string& note, const std::string& more) {
    if (!note.empty()) note += " ; ";
    note += more;
}

bool is_dicom_file(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    char mark[4] = {};
    const bool ok = std::fseek(f, 128, SEEK_SET) == 0 && std::fread(mark, 1, 4, f) == 4 &&
                    std::memcmp(mark, "DICM", 4) == 0;
    std::fclose(f);
    return ok;
}

// True when the file's own header shows what the reader takes as it is, without DCMTK (whose
// dictionary the first study would otherwise wait for): explicit VR little endian, several
// frames (so not one frame of a series), not gated (no Number of Time Slots of 2 or more), not
// a CD's DICOMDIR. Anything this walk does not follow to the pixels (an undefined length, a
// header over 64 KiB, a malformed element) answers false and DCMTK decides, as before.
bool plain_multiframe(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    std::vector<unsigned char> b(64 << 10);
    const std::size_t n = std::fread(b.data(), 1, b.size(), f);
    std::fclose(f);
    const auto u16 = [&](std::size_t p) { return static_cast<unsigned>(b[p] | b[p + 1] << 8); };
    const auto u32 = [&](std::size_t p) { return static_cast<std::uint32_t>(u16(p) | u16(p + 2) << 16); };
    const auto text = [&](std::size_t p, std::uint32_t len) {
        std::string s(reinterpret_cast<const char*>(&b[p]), len);
        while (!s.empty() && (s.back() == '\0' || s.back() == ' ')) s.pop_back();
        while (!s.empty() && s.front() == ' ') s.erase(s.begin());
        return s;
    };
    std::string syntax, sop_class;
    long frames = -1, slots = 0;
    std::size_t p = 132;
    while (p + 8 <= n) {
        const unsigned group = u16(p), element = u16(p + 2);
        const char v0 = static_cast<char>(b[p + 4]), v1 = static_cast<char>(b[p + 5]);
        if (v0 < 'A' || v0 > 'Z' || v1 < 'A' || v1 > 'Z') return false;
        const std::string vr{v0, v1};
        static const char* const long_form[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
        const bool wide = std::any_of(std::begin(long_form), std::end(long_form), [&](const char* x) { return vr == x; });
        if (wide && p + 12 > n) return false;
        const std::uint32_t len = wide ? u32(p + 8) : u16(p + 6);
        const std::size_t value = p + (wide ? 12 : 8);
        if (group == 0x7FE0 && element == 0x0010)
            return syntax == "1.2.840.10008.1.2.1" && sop_class != "1.2.840.10008.1.3.10" && frames > 1 && slots < 2;
        if (len == 0xFFFFFFFFu || value + len > n) return false;
        if (group == 0x0002 && element == 0x0002) sop_class = text(value, len);
        if (group == 0x0002 && element == 0x0010) syntax = text(value, len);
        if (group > 0x0002 && syntax != "1.2.840.10008.1.2.1") return false;  // the rest is in another syntax
        if (group == 0x0028 && element == 0x0008) {
            const std::string s = text(value, len);
            if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return false;
            frames = std::stol(s);
        }
        if (group == 0x0054 && element == 0x0071) {
            if (vr != "US" || len != 2) return false;
            slots = u16(value);
        }
        p = value + len;
    }
    return false;
}

long number(DcmItem& ds, const DcmTagKey& tag, long absent) {
    Sint32 v = 0;
    return ds.findAndGetSint32(tag, v).good() ? v : absent;
}

double decimal(DcmItem& ds, const DcmTagKey& tag, double absent, bool& present) {
    Float64 v = 0;
    present = ds.findAndGetFloat64(tag, v).good();
    return present ? v : absent;
}

// The values of a US vector of exactly `n` entries, else empty.
std::vector<int> vector_of(DcmItem& ds, const DcmTagKey& tag, long n) {
    const Uint16* v = nullptr;
    unsigned long count = 0;
    if (ds.findAndGetUint16Array(tag, v, &count).bad() || v == nullptr || static_cast<long>(count) != n) return {};
    return std::vector<int>(v, v + count);
}

// Gated frames summed slice by slice into one volume, written back into the data set.
bool sum_gates(DcmDataset& ds, int slots, std::string& note, std::string& error) {
    Uint16 rows = 0, cols = 0, bits = 16, repr = 0;
    ds.findAndGetUint16(DCM_Rows, rows);
    ds.findAndGetUint16(DCM_Columns, cols);
    ds.findAndGetUint16(DCM_BitsAllocated, bits);
    ds.findAndGetUint16(DCM_PixelRepresentation, repr);
    if (bits != 16) return true;  // the reader refuses these pixels by name
    const long frames = number(ds, DCM_NumberOfFrames, 1);
    const long frame_px = static_cast<long>(rows) * cols;
    const Uint16* px = nullptr;
    unsigned long count = 0;
    if (ds.findAndGetUint16Array(DCM_PixelData, px, &count).bad() || px == nullptr || frame_px == 0 || frames < 1 ||
        static_cast<unsigned long>(frames) * frame_px > count) {
        error = "les images de l'\xE9tude synchronis\xE9" "e sont absentes ou incompl\xE8tes";
        return false;
    }
    if (frames % slots != 0) {
        error = std::to_string(frames) + " images ne se r\xE9partissent pas en " + std::to_string(slots) +
                " intervalles de synchronisation";
        return false;
    }
    const long slices = frames / slots;
    Uint16 stated_us = 0;
    const long stated = ds.findAndGetUint16(DCM_NumberOfSlices, stated_us).good() ? stated_us : slices;
    if (stated != slices) {
        error = "le nombre de coupes (Number of Slices, 0054,0081 : " + std::to_string(stated) +
                ") ne correspond pas aux " + std::to_string(frames) + " images en " + std::to_string(slots) +
                " intervalles";
        return false;
    }
    // Where frame f belongs: from the two vectors when they are whole, else from the order the
    // Frame Increment Pointer gives (the attribute named first varies slowest).
    const std::vector<int> gate_of = vector_of(ds, DCM_TimeSlotVector, frames);
    const std::vector<int> slice_of = vector_of(ds, DCM_SliceVector, frames);
    bool gate_first = true;
    DcmElement* fip = nullptr;
    if (ds.findAndGetElement(DCM_FrameIncrementPointer, fip).good() && fip != nullptr)
        for (unsigned long i = 0; i < fip->getVM(); i++) {
            DcmTagKey t;
            if (fip->getTagVal(t, i).good() && (t == DCM_SliceVector || t == DCM_TimeSlotVector)) {
                gate_first = t == DCM_TimeSlotVector;
                break;
            }
        }
    const bool by_vectors = !gate_of.empty() && !slice_of.empty();
    std::vector<long> place(frames);  // gate * slices + slice, per frame
    std::vector<char> seen(frames, 0);
    for (long f = 0; f < frames; f++) {
        long g, s;
        if (by_vectors) {
            g = gate_of[f] - 1, s = slice_of[f] - 1;
            if (g < 0 || g >= slots || s < 0 || s >= slices) {
                error = "l'image " + std::to_string(f + 1) + " porte l'intervalle " + std::to_string(g + 1) +
                        " et la coupe " + std::to_string(s + 1) + ", hors des " + std::to_string(slots) +
                        " intervalles et " + std::to_string(slices) + " coupes";
                return false;
            }
        } else {
            g = gate_first ? f / slices : f % slots;
            s = gate_first ? f % slices : f / slots;
        }
        place[f] = g * slices + s;
        if (seen[place[f]]++) {
            error = "l'intervalle " + std::to_string(g + 1) + ", coupe " + std::to_string(s + 1) +
                    ", figure deux fois";
            return false;
        }
    }

    // The sum in 64 bits; brought back into 16 bits by one factor when it overflows, so
    // every voxel keeps its ratio to every other up to rounding.
    const bool is_signed = repr == 1;
    std::vector<std::int64_t> sum(static_cast<std::size_t>(slices) * frame_px, 0);
    for (long f = 0; f < frames; f++) {
        const Uint16* src = px + f * frame_px;
        std::int64_t* dst = sum.data() + (place[f] % slices) * frame_px;
        if (is_signed)
            for (long p = 0; p < frame_px; p++) dst[p] += static_cast<Sint16>(src[p]);
        else
            for (long p = 0; p < frame_px; p++) dst[p] += src[p];
    }
    std::int64_t largest = 0;
    for (std::int64_t v : sum) largest = std::max(largest, v < 0 ? -v : v);
    const double limit = is_signed ? 32767.0 : 65535.0;
    const double factor = largest > limit ? limit / static_cast<double>(largest) : 1.0;

    // The gates, kept when they fit in one volume's worth of memory.
    const std::size_t gate_bytes = static_cast<std::size_t>(frames) * frame_px * 2;
    GATES_PENDING.clear();
    if (gate_bytes > GATES_MAX_BYTES) {
        GATES_PENDING.not_kept = slots;
    } else {
        GATES_PENDING.voxels.resize(static_cast<std::size_t>(frames) * frame_px);
        for (long f = 0; f < frames; f++)
            std::memcpy(GATES_PENDING.voxels.data() + place[f] * frame_px, px + f * frame_px, frame_px * 2);
        GATES_PENDING.count = slots, GATES_PENDING.slices = static_cast<int>(slices);
        GATES_PENDING.size = cols, GATES_PENDING.is_unsigned = !is_signed;
    }

    std::vector<Uint16> out(sum.size());
    for (std::size_t n = 0; n < sum.size(); n++) {
        const long long v = factor == 1.0 ? sum[n] : std::llround(static_cast<double>(sum[n]) * factor);
        out[n] = static_cast<Uint16>(is_signed ? static_cast<Uint16>(static_cast<Sint16>(v)) : v);
    }
    // A rescale the reader applies must give the summed values: slope over the factor, and
    // the intercept once per gate. Without one the factor needs none: the volume is shown
    // in percent of its largest value.
    bool has_slope = false, has_icpt = false;
    const double slope = decimal(ds, DCM_RescaleSlope, 1.0, has_slope);
    const double icpt = decimal(ds, DCM_RescaleIntercept, 0.0, has_icpt);
    char text[40];
    if (has_slope || (has_icpt && factor != 1.0)) {
        std::snprintf(text, sizeof text, "%.10g", slope / factor);
        ds.putAndInsertString(DCM_RescaleSlope, text);
    }
    if (has_icpt) {
        std::snprintf(text, sizeof text, "%.10g", icpt * slots);
        ds.putAndInsertString(DCM_RescaleIntercept, text);
    }
    ds.putAndInsertUint16Array(DCM_PixelData, out.data(), static_cast<unsigned long>(out.size()));
    ds.putAndInsertString(DCM_NumberOfFrames, std::to_string(slices).c_str());
    ds.putAndInsertUint16(DCM_NumberOfTimeSlots, 1);
    delete ds.remove(DCM_TimeSlotVector);
    delete ds.remove(DCM_SliceVector);
    add_note(note, "synchronis\xE9 (" + std::to_string(slots) + " intervalles), somm\xE9");
    return true;
}

// Pixels of 8 bits, as a lossy JPEG of a 16-bit study gives them back, widened to the 16
// bits the reader takes (values unchanged).
bool widen_8_bits(DcmDataset& ds, std::string& error) {
    Uint16 bits = 16, repr = 0;
    ds.findAndGetUint16(DCM_BitsAllocated, bits);
    ds.findAndGetUint16(DCM_PixelRepresentation, repr);
    if (bits != 8) return true;
    DcmElement* e = nullptr;
    Uint8* p8 = nullptr;
    if (ds.findAndGetElement(DCM_PixelData, e).bad() || e == nullptr || e->getUint8Array(p8).bad() || p8 == nullptr) {
        error = "les images d\xE9" "compress\xE9" "es sont absentes";
        return false;
    }
    std::vector<Uint16> wide(e->getLength());
    for (std::size_t n = 0; n < wide.size(); n++)
        wide[n] = repr == 1 ? static_cast<Uint16>(static_cast<Sint16>(static_cast<Sint8>(p8[n]))) : p8[n];
    ds.putAndInsertUint16Array(DCM_PixelData, wide.data(), static_cast<unsigned long>(wide.size()));
    ds.putAndInsertUint16(DCM_BitsAllocated, 16);
    return true;
}

}  // namespace

bool is_gated(DcmItem& ds, int* slots) {
    Uint16 n = 0;
    if (ds.findAndGetUint16(DCM_NumberOfTimeSlots, n).bad() || n < 2) return false;
    DcmElement* fip = nullptr;
    if (ds.findAndGetElement(DCM_FrameIncrementPointer, fip).bad() || fip == nullptr) return false;
    for (unsigned long i = 0; i < fip->getVM(); i++) {
        DcmTagKey t;
        if (fip->getTagVal(t, i).good() && t == DCM_TimeSlotVector) {
            if (slots != nullptr) *slots = n;
            return true;
        }
    }
    return false;
}

bool to_reader_bytes(DcmFileFormat& file, std::vector<unsigned char>& out, std::string& note, std::string& error) {
    register_codecs();
    DcmDataset& ds = *file.getDataset();
    const E_TransferSyntax xfer = ds.getOriginalXfer();
    const DcmXfer syntax(xfer);
    if (syntax.isEncapsulated()) {
        const OFCondition c = ds.chooseRepresentation(EXS_LittleEndianExplicit, nullptr);
        if (c.bad() || !ds.canWriteXfer(EXS_LittleEndianExplicit, xfer)) {
            error = "les images compress\xE9" "es (" + syntax_of(xfer) +
                    ") ne peuvent pas \xEAtre d\xE9" "compress\xE9" "es : flux tronqu\xE9 ou invalide (" +
                    std::string(c.bad() ? c.text() : "codec") + ")";
            return false;
        }
        if (syntax.isLossy()) add_note(note, "donn\xE9" "es compress\xE9" "es avec perte");
    }
    // Every value in memory before the data set is written again (a short file says so here).
    const OFCondition loaded = ds.loadAllDataIntoMemory();
    if (loaded.bad()) {
        error = std::string("fichier tronqu\xE9 ou illisible (") + loaded.text() + ")";
        return false;
    }
    // Colour pixels would be read as a grey volume three times too deep.
    Uint16 samples = 1;
    if (ds.findAndGetUint16(DCM_SamplesPerPixel, samples).good() && samples != 1) {
        error = "images en couleur (" + std::to_string(samples) +
                " \xE9" "chantillons par pixel, Samples per Pixel 0028,0002) : seules les images en niveaux de gris "
                "peuvent \xEAtre lues";
        return false;
    }
    if (syntax.isEncapsulated() && !widen_8_bits(ds, error)) return false;
    int slots = 0;
    if (is_gated(ds, &slots) && !sum_gates(ds, slots, note, error)) return false;
    // The reader takes the pixels from the end of the file: nothing may follow them.
    for (unsigned long i = ds.card(); i-- > 0;) {
        DcmElement* e = ds.getElement(i);
        if (e != nullptr && e->getTag() > DCM_PixelData) delete ds.remove(i);
    }

    out.clear();
    out.reserve(file.calcElementLength(EXS_LittleEndianExplicit, EET_ExplicitLength) + 1024);
    constexpr offile_off_t CHUNK = 4 << 20;
    const std::unique_ptr<char[]> chunk(new char[CHUNK]);  // not cleared: DCMTK writes before we read
    DcmOutputBufferStream stream(chunk.get(), CHUNK);
    file.transferInit();
    OFCondition c;
    do {
        c = file.write(stream, EXS_LittleEndianExplicit, EET_ExplicitLength, nullptr, EGL_recalcGL, EPD_noChange, 0,
                       0, 0, EWM_fileformat);
        void* buf = nullptr;
        offile_off_t n = 0;
        stream.flushBuffer(buf, n);
        const auto* b = static_cast<const unsigned char*>(buf);
        out.insert(out.end(), b, b + n);
    } while (c == EC_StreamNotifyClient);
    file.transferEnd();
    if (c.bad()) {
        error = std::string("r\xE9\xE9" "criture de l'\xE9tude impossible (") + c.text() + ")";
        return false;
    }
    return true;
}

namespace {

// `file` decoded and written into a memory stream for the reader; -1 with `error` when it cannot be.
int to_stream(DcmFileFormat& file, const char* path, PreparedStudy& prepared, std::string& error) {
    const auto refuse = [&](const std::string& why) {
        GATES_PENDING.clear();
        error = "Le fichier " + std::string(path) + " ne peut pas \xEAtre ouvert : " + why + ".";
        return -1;
    };
    std::vector<unsigned char> bytes;
    std::string note, why;
    if (!to_reader_bytes(file, bytes, note, why)) return refuse(why);
    // One byte more than written: glibc's fmemopen puts a zero in the last byte of a buffer that
    // a write fills, which would be the last pixel's high byte.
    std::FILE* f = bytes.empty() ? nullptr : fmemopen(nullptr, bytes.size() + 1, "w+b");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        if (f != nullptr) std::fclose(f);
        return refuse("m\xE9moire insuffisante pour l'\xE9tude d\xE9" "cod\xE9" "e");
    }
    std::rewind(f);
    prepared.file = f;
    prepared.note = note;
    prepared.release = release_stream;
    return 1;
}

}  // namespace

int prepare_study(const char* path, PreparedStudy& prepared, std::string& error) {
    if (!is_dicom_file(path)) return 0;  // missing, unreadable, not DICOM: the reader says which
    if (!named_dicomdir(path) && plain_multiframe(path)) return 0;  // the reader's as it is, no DCMTK needed
    register_codecs();
    // A CD's DICOMDIR (its chosen series) or one frame of a series stored one frame per file.
    std::unique_ptr<DcmFileFormat> gathered;
    const int series = gather_study(path, gathered, error);
    if (series < 0) return -1;
    if (series == 1) return to_stream(*gathered, path, prepared, error);
    // The file meta information alone first: a file the reader takes as it is must not cost a decode.
    DcmMetaInfo meta;
    OFString uid;
    if (meta.loadFile(path).bad() || meta.findAndGetOFString(DCM_TransferSyntaxUID, uid).bad()) return 0;
    const E_TransferSyntax xfer = DcmXfer(uid.c_str()).getXfer();
    const bool plain = xfer == EXS_LittleEndianExplicit;
    if (!plain && !decoded_here(xfer)) return 0;  // refused by name by the reader
    const auto refuse = [&](const std::string& why) {
        error = "Le fichier " + std::string(path) + " ne peut pas \xEAtre ouvert : " + why + ".";
        return -1;
    };
    if (plain) {  // only a gated study is rewritten; its header says so before the pixels
        DcmFileFormat header;
        if (header.loadFileUntilTag(path, EXS_Unknown, EGL_noChange, DCM_MaxReadLength, ERM_fileOnly, DCM_PixelData)
                .bad() ||
            !is_gated(*header.getDataset()))
            return 0;  // the reader's own walk decides, as it always has
    }

    DcmFileFormat whole;
    const OFCondition c = whole.loadFile(path, EXS_Unknown, EGL_noChange, DCM_MaxReadLength, ERM_fileOnly);
    if (c.bad()) return refuse("fichier tronqu\xE9 ou illisible (" + syntax_of(xfer) + " : " + c.text() + ")");
    return to_stream(whole, path, prepared, error);
}

void register_import_hooks() {
    register_codecs();
    open_hooks.prepare = prepare_study;
}

namespace {

std::thread* warm_thread = nullptr;  // never freed: a joinable thread must not be destroyed
#if !defined(_WIN32)
pid_t warm_pid = 0;  // a child of fork has a copy of the object, not the thread
#endif

// Made when the thread starts, after DCMTK's own globals: gone before them at the end, so the
// dictionary is never torn down under the thread.
struct JoinAtExit {
    ~JoinAtExit() {
#if !defined(_WIN32)
        if (getpid() != warm_pid) return;
#endif
        if (warm_thread != nullptr && warm_thread->joinable()) warm_thread->join();
    }
};

}  // namespace

void warm_import() {
    static JoinAtExit join_at_exit;
    if (warm_thread != nullptr) return;
#if !defined(_WIN32)
    warm_pid = getpid();
#endif
    try {
        warm_thread = new std::thread([] {
            dcmDataDict.rdlock();  // loads it (under DCMTK's own lock) when nobody has yet
            dcmDataDict.rdunlock();
        });
    } catch (const std::system_error&) {
        // No thread: the first study read loads it, as before.
    }
}

#include "dicom_writer.h"

#include <fstream>

namespace {

void put16(std::string& s, unsigned v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

}  // namespace

std::string tag_bytes(std::uint16_t group, std::uint16_t elem) {
    std::string s;
    put16(s, group);
    put16(s, elem);
    return s;
}

DicomWriter::DicomWriter() : preamble_(128, '\0'), mark_("DICM"), syntax_("1.2.840.10008.1.2.1") {}

DicomWriter& DicomWriter::meta(const std::string& bytes) {
    meta_ = bytes;
    return *this;
}

DicomWriter& DicomWriter::transfer_syntax(const std::string& uid) {
    syntax_ = uid;
    return *this;
}

DicomWriter& DicomWriter::preamble(const std::string& bytes) {
    preamble_ = bytes.substr(0, 128);
    preamble_.resize(128, '\0');
    return *this;
}

DicomWriter& DicomWriter::mark(const std::string& four) {
    mark_ = four;
    return *this;
}

DicomWriter& DicomWriter::element(std::uint16_t group, std::uint16_t elem, const char* vr, const std::string& value) {
    return element_len(group, elem, vr, static_cast<std::uint16_t>(value.size()), value);
}

DicomWriter& DicomWriter::element_len(std::uint16_t group, std::uint16_t elem, const char* vr, std::uint16_t length,
                                      const std::string& value) {
    body_ += tag_bytes(group, elem);
    body_ += std::string(vr, 2);
    put16(body_, length);
    body_ += value;
    return *this;
}

DicomWriter& DicomWriter::us(std::uint16_t group, std::uint16_t elem, std::uint16_t value) {
    std::string v;
    put16(v, value);
    return element(group, elem, "US", v);
}

DicomWriter& DicomWriter::raw(const std::string& bytes) {
    body_ += bytes;
    return *this;
}

DicomWriter& DicomWriter::pixels(const std::vector<std::int16_t>& values) {
    body_ += tag_bytes(0x7FE0, 0x0010);
    body_ += "OW";
    put16(body_, 0);
    const std::uint32_t n = static_cast<std::uint32_t>(values.size() * 2);
    put16(body_, n & 0xFFFF);
    put16(body_, n >> 16);
    for (std::int16_t v : values) put16(body_, static_cast<std::uint16_t>(v));
    return *this;
}

std::string DicomWriter::bytes() const {
    std::string meta = meta_;
    if (!syntax_.empty()) {
        const std::string uid = syntax_.size() % 2 ? syntax_ + '\0' : syntax_;  // UI pads with a zero byte
        meta += tag_bytes(0x0002, 0x0010) + "UI";
        put16(meta, static_cast<unsigned>(uid.size()));
        meta += uid;
    }
    return preamble_ + mark_ + meta + body_;
}

void DicomWriter::write(const std::string& path) const {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    const std::string b = bytes();
    f.write(b.data(), static_cast<std::streamsize>(b.size()));
}

DicomWriter nm_header(int rows, int cols, int frames, const std::string& name, const std::string& acq_date,
                      const std::string& age) {
    return nm_header_pixels(rows, cols, frames, 16, 1, name, acq_date, age);
}

DicomWriter nm_header_pixels(int rows, int cols, int frames, int bits_allocated, int pixel_representation,
                             const std::string& name, const std::string& acq_date, const std::string& age) {
    DicomWriter w;
    w.element(0x0008, 0x0022, "DA", acq_date)
        .element(0x0008, 0x0060, "CS", "NM")
        .element(0x0010, 0x0010, "PN", name)
        .element(0x0010, 0x0030, "DA", "19580214")
        .element(0x0010, 0x0040, "CS", "F ")
        .element(0x0010, 0x1010, "AS", age)
        .element(0x0018, 0x0050, "DS", "4.7952")
        .element(0x0028, 0x0002, "US", std::string("\x01\x00", 2))
        .element(0x0028, 0x0008, "IS", std::to_string(frames).size() % 2 ? std::to_string(frames) + " "
                                                                           : std::to_string(frames))
        .us(0x0028, 0x0010, static_cast<std::uint16_t>(rows))
        .us(0x0028, 0x0011, static_cast<std::uint16_t>(cols))
        .element(0x0028, 0x0030, "DS", "4.7952\\4.7952 ")
        .us(0x0028, 0x0100, static_cast<std::uint16_t>(bits_allocated))
        .us(0x0028, 0x0103, static_cast<std::uint16_t>(pixel_representation));
    return w;
}

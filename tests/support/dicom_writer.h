// A small DICOM writer for the tests: explicit-VR little-endian elements in the
// order they are added, after a chosen preamble, the "DICM" mark and a file meta
// group naming the transfer syntax, and an optional pixel block last. Each edge
// case of the header reader is a few lines.
#ifndef VESMORA_DICOM_WRITER_H
#define VESMORA_DICOM_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

class DicomWriter {
public:
    DicomWriter();

    // 128 bytes before the mark (cut or padded with zeros to 128).
    DicomWriter& preamble(const std::string& bytes);
    // The four bytes at 128 ("DICM" unless changed).
    DicomWriter& mark(const std::string& four);
    // The file meta group after the mark: these bytes as they are (empty unless
    // set), then (0002,0010) Transfer Syntax UID with this uid ("1.2.840.10008.1.2.1",
    // explicit VR little endian, unless changed; an empty uid leaves the element out).
    DicomWriter& meta(const std::string& bytes);
    DicomWriter& transfer_syntax(const std::string& uid);
    // Short explicit-VR form: tag, two VR letters, 16-bit length, value.
    DicomWriter& element(std::uint16_t group, std::uint16_t elem, const char* vr, const std::string& value);
    // Same, with a length field that need not match the value given.
    DicomWriter& element_len(std::uint16_t group, std::uint16_t elem, const char* vr, std::uint16_t length,
                             const std::string& value);
    // A US element (Rows, Columns): two bytes.
    DicomWriter& us(std::uint16_t group, std::uint16_t elem, std::uint16_t value);
    // Any bytes, as they are.
    DicomWriter& raw(const std::string& bytes);
    // Pixel Data (7FE0,0010) OW, long form, followed by the signed 16-bit values.
    DicomWriter& pixels(const std::vector<std::int16_t>& values);

    std::string bytes() const;
    void write(const std::string& path) const;

private:
    std::string preamble_, mark_, meta_, syntax_, body_;
};

// The nine header elements of an NM study, in ascending tag order as a DICOM file
// holds them, with an age; the caller adds the pixels.
DicomWriter nm_header(int rows, int cols, int frames, const std::string& name = "DOE^JOHN",
                      const std::string& acq_date = "20261103", const std::string& age = "058Y");
// The same with the pixel format given (nm_header: 16 bits allocated, signed pixels).
DicomWriter nm_header_pixels(int rows, int cols, int frames, int bits_allocated, int pixel_representation,
                             const std::string& name = "DOE^JOHN", const std::string& acq_date = "20261103",
                             const std::string& age = "058Y");

// A 16-bit little-endian tag as it stands in a file.
std::string tag_bytes(std::uint16_t group, std::uint16_t elem);

#endif

// Writes the seed corpora of the fuzz targets into OUT/dicom, OUT/palette,
// OUT/replay, OUT/session and OUT/model: small studies from the sample generator, the test
// writer's edge cases, palette files of every telling length, replay scripts and
// session byte strings, model files.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../tools/vesmora-cli/sample_study.h"
#include "dicom_writer.h"

namespace {

std::string out;

void put(const std::string& sub, const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(out + "/" + sub);
    std::ofstream f(out + "/" + sub + "/" + name, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::int16_t> ramp(int n) {
    std::vector<std::int16_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; i++) v[static_cast<std::size_t>(i)] = static_cast<std::int16_t>((i * 37) % 900 - 50);
    return v;
}

void dicom_seeds() {
    // The sample generator's file layout (meta group, full NM data set) with small matrices.
    for (int m : {2, 4, 8}) {
        sample::Options o;
        o.matrix = m;
        o.frames = m;
        const auto pixels = ramp(m * m * m);
        const auto bytes = sample::make_dicom(o, pixels);
        put("dicom", "sample-" + std::to_string(m) + ".dcm", std::string(bytes.begin(), bytes.end()));
    }
    const auto px = ramp(8 * 8 * 8);
    put("dicom", "writer-8.dcm", nm_header(8, 8, 8).pixels(px).bytes());
    put("dicom", "writer-frames-4.dcm", nm_header(8, 8, 4).pixels(ramp(8 * 8 * 4)).bytes());
    put("dicom", "non-square.dcm", nm_header(8, 4, 8).pixels(px).bytes());
    put("dicom", "one-frame.dcm", nm_header(8, 8, 1).pixels(ramp(64)).bytes());
    put("dicom", "matrix-257.dcm", nm_header(257, 257, 2).bytes());
    put("dicom", "all-zero.dcm", nm_header(4, 4, 4).pixels(std::vector<std::int16_t>(64, 0)).bytes());
    put("dicom", "negative.dcm", nm_header(4, 4, 4).pixels(std::vector<std::int16_t>(64, -5)).bytes());
    put("dicom", "rescale.dcm", DicomWriter().element(0x0028, 0x1053, "DS", "1 ").pixels(px).bytes());
    put("dicom", "no-mark.dcm", DicomWriter().mark("DICN").element(0x0010, 0x0010, "PN", "A").bytes());
    put("dicom", "long-length.dcm",
        DicomWriter().element_len(0x0010, 0x0010, "PN", 0xFFFF, "DOE").element_len(0x0028, 0x0030, "DS", 0xFFFF, "4.7952").bytes());
    put("dicom", "short-values.dcm",
        nm_header(4, 4, 2, std::string(150, 'N'), "2026", "000D").pixels(ramp(32)).bytes());
    put("dicom", "implicit.dcm", DicomWriter().raw(tag_bytes(0x0028, 0x0010) + std::string("\x02\x00\x00\x00\x08\x00", 6)).bytes());
    put("dicom", "truncated.dcm", nm_header(8, 8, 8).pixels(px).bytes().substr(0, 400));
}

void palette_seeds() {
    std::ifstream f(VESMORA_SOURCE_DIR "/data/PALETS", std::ios::binary);
    const std::string shipped((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    put("palette", "shipped", shipped);
    put("palette", "short", shipped.substr(0, 4847));
    put("palette", "long", shipped + std::string(100, '\x7f'));
    put("palette", "empty", "");
    put("palette", "one-palette", shipped.substr(0, 303));
}

void replay_seeds() {
    put("replay", "analysis.replay",
        "open s.dcm\ncommand 24\nlbuttondown 750 120\nmousemove 725 145\nlbuttonup 725 145\n"
        "rbuttondown 750 120\nmousemove 744 126\nrbuttonup 744 126\ncommand 45\ncommand 56\nmousemove 619 400\n"
        "command 59\ncommand 57\nwheel 700 591 120\ncommand 55\nmousemove 619 537\ndump state st\ndump ui ui\n");
    put("replay", "edges.replay",
        "open t.dcm\nopen cancel\nopen s.dcm\ncommand 36\ncommand 26\ncommand 39\nmove -32768 32767\n"
        "popup A\npopup 17\nwheel -32768 32767 -120\nmousemove 65535 65535\nclose\ncommand 45\nclose\n");
    put("replay", "rescale.replay", "open r.dcm\n");
    put("replay", "malformed.replay", "command\nlbuttondown 1\nwheel 1 2 99999\npopup 18\n");
}

void model_seeds() {
    const std::string outer = R"("outer": {"centre": [128, 128, 128], "semi_axes": [80, 50, 50]})";
    const std::string inner = R"("inner": {"centre": [120, 128, 128], "semi_axes": [30, 20, 20]})";
    put("model", "placed.json", "{" + outer + ", " + inner + ", \"base_plane\": 128}\n");
    put("model", "apex.json", "{" + outer + ", " + inner + ", \"base_plane\": 110, \"apex\": 200}\n");
    put("model", "record.json", "{" + outer + ", " + inner + R"(, "base_plane": 128, "levels": [128, 148, 168, 188, 208]})");
    put("model", "limits.json", R"({"outer": {"centre": [12, 244, 12], "semi_axes": [120, 12, 120]}, )"
                                R"("inner": {"centre": [244, 244, 12], "semi_axes": [4, 120, 4]}, "base_plane": 244, "apex": 0})");
    put("model", "out-of-range.json", "{" + outer + ", " + inner + ", \"base_plane\": 245}");
    put("model", "malformed.json", "{\"outer\": {\"centre\": [128, 128");
}

void session_seeds() {
    std::uint64_t s = 20261207;
    for (int n = 0; n < 8; n++) {
        std::string b;
        for (int i = 0; i < 256; i++) {
            s = s * 6364136223846793005ULL + 1442695040888963407ULL;
            b += static_cast<char>(s >> 56);
        }
        put("session", "random-" + std::to_string(n), b);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUT\n");
        return 2;
    }
    out = argv[1];
    dicom_seeds();
    palette_seeds();
    replay_seeds();
    session_seeds();
    model_seeds();
    return 0;
}

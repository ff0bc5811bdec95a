// The sizes the program read from a DICOM header, each with its unit (see units.h).
#include "units.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "main.h"

std::string ds_text(const std::string& bytes, unsigned group, unsigned element) {
    const char key[6] = {static_cast<char>(group & 0xFF), static_cast<char>(group >> 8),
                         static_cast<char>(element & 0xFF), static_cast<char>(element >> 8), 'D', 'S'};
    const std::size_t at = bytes.find(std::string(key, 6), 132);
    if (at == std::string::npos || at + 8 > bytes.size()) return "";
    const std::size_t len = static_cast<unsigned char>(bytes[at + 6]) | static_cast<unsigned char>(bytes[at + 7]) << 8;
    std::string value = bytes.substr(at + 8, len);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\0')) value.pop_back();
    return value;
}

void print_sizes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string bytes = ss.str();
    const std::string spacing = ds_text(bytes, 0x0028, 0x0030), thickness = ds_text(bytes, 0x0018, 0x0050);
    std::printf("Frames     : %d\n", NCZ);
    std::printf("Rows, cols : %d, %d pixels (ech %d)\n", OrImSize_H, OrImSize_V, ech);
    std::printf("Spacing    : %s mm, slice thickness %s mm (as in the file)\n",
                spacing.empty() ? "none" : spacing.c_str(), thickness.empty() ? "none" : thickness.c_str());
    std::printf("Voxel      : %.4f x %.4f cm (the program's VOXEL_SIZE_XY x VOXEL_SIZE_Z)\n", VOXEL_SIZE_XY,
                VOXEL_SIZE_Z);
}

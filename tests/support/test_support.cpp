#include "test_support.h"

#include <fstream>
#include <random>
#include <sstream>

#include "headless.h"
#include "main.h"

TempDir::TempDir() {
    std::random_device rd;
    for (;;) {
        auto p = std::filesystem::temp_directory_path() / ("vesmora-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(p)) {
            path_ = p;
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void start_in(const std::string& folder) {
    headless::reset();
    headless::set_module_path(folder + "/vesmora");
    INIT_STATE();
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
}

float& volume_at(int i, int j, int k) { return data[i * 65536 + j * 256 + k]; }

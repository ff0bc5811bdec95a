// Helpers shared by the tests.
#ifndef VESMORA_TEST_SUPPORT_H
#define VESMORA_TEST_SUPPORT_H

#include <filesystem>
#include <string>

// A fresh temporary folder, removed when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// Resets the headless back end, points the program's own path into folder and
// runs INIT_STATE, so APP_FOLDER is folder + '/' and the log lives there.
void start_in(const std::string& folder);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

// The volume's voxel at frame i, row j, column k.
float& volume_at(int i, int j, int k);

#endif

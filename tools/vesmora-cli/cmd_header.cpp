// vesmora-cli header FILE [--app-folder DIR]: reads one DICOM file's header as
// the program does, then prints the values and the log it wrote.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "Dicom.h"
#include "cli.h"
#include "headless.h"
#include "main.h"

void add_header_command(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("header", "Read a DICOM file's header and print the values and the log");
    static FileArgs args;
    add_file_args(cmd, args);
    cmd->callback([&status] {
        headless::state().echo_boxes = true;
        if (!args.folder.empty()) headless::set_module_path(args.folder + "/vesmora-cli");
        INIT_STATE();
        FILE* f = std::fopen(args.file.c_str(), "rb");
        if (f == nullptr) {
            std::cerr << "cannot open " << args.file << "\n";
            status = 2;
            return;
        }
        const int ok = GET_DICOM_INFO(f);
        std::fclose(f);
        std::printf("DICOM      : %s\n", ok ? "yes" : "no");
        if (ok) {
            std::printf("Patient    : %s\n", headless::utf8(PAT_NAME).c_str());
            std::printf("Sex        : %s\n", PAT_SEX);
            std::printf("Birth date : %s\n", PAT_DATE);
            std::printf("Age        : %s\n", PAT_AGE);
            std::printf("Exam date  : %s\n", ACQ_DATE);
            std::printf("Frames     : %d\n", NCZ);
            std::printf("Rows, cols : %d, %d (ech %d)\n", OrImSize_H, OrImSize_V, ech);
            std::printf("Voxel      : %.4f x %.4f\n", VOXEL_SIZE_XY, VOXEL_SIZE_Z);
        }
        // The log is beside the program, or in the user's state folder when the program's cannot be written.
        const char* log_folder = LOG_FOLDER[0] != 0 ? LOG_FOLDER : APP_FOLDER;
        std::ifstream log(std::string(log_folder) + "log.txt", std::ios::binary);
        std::stringstream ss;
        ss << log.rdbuf();
        std::printf("--- %slog.txt ---\n%s", log_folder, headless::utf8(ss.str()).c_str());
        status = ok ? 0 : 1;
    });
}

// vesmora-cli load FILE [--app-folder DIR]: opens FILE as the "Ouvrir" button
// does (the open-file dialog answers FILE), then prints the header values, the
// caption and patient text, the boxes shown and the log.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "Dicom.h"
#include "cli.h"
#include "headless.h"
#include "layout.h"
#include "main.h"

void add_load_command(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("load", "Load a DICOM study as the program does and print what it read");
    static FileArgs args;
    add_file_args(cmd, args);
    cmd->callback([&status] {
        if (!args.folder.empty()) headless::set_module_path(args.folder + "/vesmora-cli");
        STARTUP();
        headless::queue_open_answer(args.file);
        const int ok = LOAD_DCM_FILE();
        std::printf("Loaded     : %s\n", ok ? "yes" : "no");
        std::printf("Caption    : %s\n", headless::utf8(WINDOW->caption).c_str());
        std::printf("Patient    : %s\n", headless::utf8(PAT_NAME).c_str());
        std::printf("Sex        : %s\n", PAT_SEX);
        std::printf("Birth date : %s\n", PAT_DATE);
        std::printf("Age        : %s\n", PAT_AGE);
        std::printf("Exam date  : %s\n", ACQ_DATE);
        std::printf("Frames     : %d\n", NCZ);
        std::printf("Rows, cols : %d, %d (ech %d)\n", OrImSize_H, OrImSize_V, ech);
        std::printf("Voxel      : %.4f x %.4f\n", VOXEL_SIZE_XY, VOXEL_SIZE_Z);
        if (ok) {
            int filled = 0;
            for (int n = 0; n < VOL_SIZE; n++) filled += data[n] > 0.0f;
            std::printf("Volume     : %d of %d elements above 0, centre %.3f\n", filled, VOL_SIZE,
                        data[128 * 65536 + 128 * 256 + 128]);
        }
        std::printf("--- patient text (control %d) ---\n%s\n", ID_PATIENT,
                    headless::utf8(headless::text_of(WINDOW, ID_PATIENT)).c_str());
        for (const auto& b : headless::state().boxes)
            std::printf("--- box \"%s\" ---\n%s\n", headless::utf8(b.title).c_str(), headless::utf8(b.text).c_str());
        std::ifstream log(std::string(APP_FOLDER) + "log.txt", std::ios::binary);
        std::stringstream ss;
        ss << log.rdbuf();
        std::printf("--- %slog.txt ---\n%s", APP_FOLDER, headless::utf8(ss.str()).c_str());
        status = ok ? 0 : 1;
    });
}

// vesmora-cli load FILE [--app-folder DIR] [--auto]: opens FILE as the "Ouvrir"
// button does (the open-file dialog answers FILE), then prints the header values,
// the caption and patient text, the boxes shown and the log. With --auto the model
// is then placed automatically and printed.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "Auto_Place.h"
#include "Dicom.h"
#include "cli.h"
#include "headless.h"
#include "layout.h"
#include "main.h"

void add_load_command(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("load", "Load a DICOM study as the program does and print what it read");
    static FileArgs args;
    static bool automatic = false;
    add_file_args(cmd, args);
    cmd->add_flag("--auto", automatic, "Then place the ventricle model automatically and print it");
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
        int placed = 0;
        if (ok && automatic) {
            load_ok = 1;  // as the "Ouvrir" command sets it
            placed = AUTO_PLACE();
            std::printf("Model      : %s\n", placed ? "placed automatically" : "not found");
            if (placed) {
                std::printf("ell_c      : %d %d %d\nell_r      : %d %d %d\n", ell_ci, ell_cj, ell_ck, ell_ri, ell_rj, ell_rk);
                std::printf("ill_c      : %d %d %d\nill_r      : %d %d %d\n", ill_ci, ill_cj, ill_ck, ill_ri, ill_rj, ill_rk);
                std::printf("plan_i     : %d\napex_i     : %d\nsect_i     : %d %d %d %d %d\n", plan_i, apex_i, sect_i[0],
                            sect_i[1], sect_i[2], sect_i[3], sect_i[4]);
            }
        }
        std::printf("--- patient text (control %d) ---\n%s\n", ID_PATIENT,
                    headless::utf8(headless::text_of(WINDOW, ID_PATIENT)).c_str());
        for (const auto& b : headless::state().boxes)
            std::printf("--- box \"%s\" ---\n%s\n", headless::utf8(b.title).c_str(), headless::utf8(b.text).c_str());
        std::ifstream log(std::string(APP_FOLDER) + "log.txt", std::ios::binary);
        std::stringstream ss;
        ss << log.rdbuf();
        std::printf("--- %slog.txt ---\n%s", APP_FOLDER, headless::utf8(ss.str()).c_str());
        status = ok && (!automatic || placed) ? 0 : 1;
    });
}

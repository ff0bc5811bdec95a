// vesmora-cli load FILE [--app-folder DIR] [--auto]: opens FILE as the "Ouvrir"
// button does (the open-file dialog answers FILE), then prints the header values,
// the caption and patient text, the boxes shown and the log. With --auto the model
// is then placed automatically and printed. When the program ends itself (a
// rescaled file, memory) it prints the boxes and the log so far first.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "Auto_Place.h"
#include "Dicom.h"
#include "cli.h"
#include "headless.h"
#include "layout.h"
#include "main.h"
#include "units.h"

namespace {

// The reservation (counted from 1 in this run) that is made to fail; 0: none.
long failing_reservation = 0;
long reservations = 0;

void* counted_alloc(std::size_t size) {
    return ++reservations == failing_reservation ? nullptr : std::malloc(size);
}

void before_exit(int status) { print_ending(status, true); }

}  // namespace

void add_load_command(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("load", "Load a DICOM study as the program does and print what it read");
    static FileArgs args;
    static bool automatic = false;
    add_file_args(cmd, args);
    // For the tests: makes the Nth reservation of the run fail, as when memory runs out.
    cmd->add_option("--fail-reservation", failing_reservation)->group("");
    cmd->add_flag("--auto", automatic, "Then place the ventricle model automatically and print it");
    cmd->callback([&status] {
        const std::string why = cannot_open(args.file);
        if (!why.empty()) {
            std::cerr << "vesmora-cli load: " << why << "\n";
            status = 2;
            return;
        }
        if (!use_program_folder(args.folder, "load")) {
            status = 2;
            return;
        }
        if (failing_reservation > 0) vesmora_alloc = counted_alloc;
        vesmora_before_exit = before_exit;
        STARTUP();
        const int ok = LOAD_DCM_PATH(args.file.c_str());  // the file as "Ouvrir" reads its dialog's answer
        std::printf("Loaded     : %s\n", ok ? "yes" : "no");
        std::printf("Caption    : %s\n", headless::utf8(WINDOW->caption).c_str());
        std::printf("Patient    : %s\n", headless::utf8(PAT_NAME).c_str());
        std::printf("Sex        : %s\n", PAT_SEX);
        std::printf("Birth date : %s\n", PAT_DATE);
        std::printf("Age        : %s\n", PAT_AGE);
        std::printf("Exam date  : %s\n", ACQ_DATE);
        print_sizes(args.file);
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
        print_boxes();
        print_log();
        vesmora_before_exit = nullptr;
        vesmora_alloc = std::malloc;
        status = ok && (!automatic || placed) ? 0 : 1;
    });
}

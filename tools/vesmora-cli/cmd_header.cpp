// vesmora-cli header FILE [--app-folder DIR]: reads one DICOM file's header as
// the program does, then prints the values and the log it wrote.
#include <cstdio>
#include <iostream>
#include <string>

#include "Dicom.h"
#include "cli.h"
#include "headless.h"
#include "main.h"
#include "units.h"

void add_header_command(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("header", "Read a DICOM file's header and print the values and the log");
    static FileArgs args;
    add_file_args(cmd, args);
    cmd->callback([&status] {
        headless::state().echo_boxes = true;
        const std::string why = cannot_open(args.file);
        if (!why.empty()) {
            std::cerr << "vesmora-cli header: " << why << "\n";
            status = 2;
            return;
        }
        if (!use_program_folder(args.folder, "header")) {
            status = 2;
            return;
        }
        vesmora_before_exit = [](int code) { print_ending(code, false); };
        INIT_STATE();
        FILE* f = std::fopen(args.file.c_str(), "rb");
        const int ok = GET_DICOM_INFO(f);
        if (f != nullptr) std::fclose(f);
        std::printf("DICOM      : %s\n", ok ? "yes" : "no");
        if (ok) {
            std::printf("Patient    : %s\n", headless::utf8(PAT_NAME).c_str());
            std::printf("Sex        : %s\n", PAT_SEX);
            std::printf("Birth date : %s\n", PAT_DATE);
            std::printf("Age        : %s\n", PAT_AGE);
            std::printf("Exam date  : %s\n", ACQ_DATE);
            print_sizes(args.file);
        }
        print_log();
        vesmora_before_exit = nullptr;
        status = ok ? 0 : 1;
    });
}

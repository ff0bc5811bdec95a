// vesmora-cli: the program run headless. Each subcommand registers itself
// from its own file.
#ifndef VESMORA_CLI_H
#define VESMORA_CLI_H

#include <CLI/CLI.hpp>

#include <string>

// FILE and --app-folder, shared by the subcommands that read one DICOM file.
struct FileArgs {
    std::string file, folder;
};
inline void add_file_args(CLI::App* cmd, FileArgs& args) {
    cmd->add_option("FILE", args.file, "DICOM file")->required();
    cmd->add_option("--app-folder", args.folder, "Folder of log.txt and PALETS (default: the program's folder)");
}

// Each adds its subcommand to the app; the callback runs it and sets the exit status.
void add_header_command(CLI::App& app, int& status);
void add_sample_command(CLI::App& app, int& status);
void add_replay_command(CLI::App& app, int& status);
void add_load_command(CLI::App& app, int& status);
void add_validate_auto_command(CLI::App& app, int& status);

#endif

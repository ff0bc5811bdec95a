// vesmora-cli: the program run headless. Each subcommand registers itself
// from its own file.
#ifndef VESMORA_CLI_H
#define VESMORA_CLI_H

#include <CLI/CLI.hpp>

// Each adds its subcommand to the app; the callback runs it and sets the exit status.
void add_header_command(CLI::App& app, int& status);
void add_sample_command(CLI::App& app, int& status);
void add_replay_command(CLI::App& app, int& status);
void add_load_command(CLI::App& app, int& status);

#endif

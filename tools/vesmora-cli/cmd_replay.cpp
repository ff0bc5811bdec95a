#include "cli.h"

void add_replay_command(CLI::App& app, int& status) {
    (void)app;
    (void)status;  // TODO(shell): replay
}

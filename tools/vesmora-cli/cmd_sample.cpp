#include "cli.h"

void add_sample_command(CLI::App& app, int& status) {
    (void)app;
    (void)status;  // TODO(volume): sample study generator
}

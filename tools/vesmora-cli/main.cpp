#include "cli.h"

int main(int argc, char** argv) {
    CLI::App app{"Vesmora run headless: read DICOM headers, make sample studies, replay an analysis"};
    app.require_subcommand(1);
    int status = 0;
    add_header_command(app, status);
    add_sample_command(app, status);
    add_replay_command(app, status);
    add_load_command(app, status);
    add_validate_auto_command(app, status);
    CLI11_PARSE(app, argc, argv);
    return status;
}

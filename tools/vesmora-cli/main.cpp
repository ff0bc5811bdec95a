#include <cstring>
#include <iostream>
#include <string>

#include "cli.h"
#include "version.h"
#include "volume_pages.h"
#ifdef VESMORA_HAVE_DICOM_IMPORT
#include "import.h"
#endif

int main(int argc, char** argv) {
    CLI::App app{"Vesmora run headless: read DICOM headers, make sample studies, replay an analysis"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("vesmora-cli ") + VESMORA_VERSION);
    int status = 0;
    // The subcommands that open a study at once: the volume's pages are had while the tool
    // starts, rather than when the study is read. DCMTK's dictionary is not read beside them:
    // a plain study (the samples, most exports) never needs it, and its reading would share
    // the two cores with that study's load; a study that needs DCMTK reads it at its open.
    const bool opens = argc > 1 && (std::strcmp(argv[1], "replay") == 0 || std::strcmp(argv[1], "load") == 0 ||
                                    std::strcmp(argv[1], "analyze-study") == 0);
    if (opens) VOLUME_PAGES_START();
#ifdef VESMORA_HAVE_DICOM_IMPORT
    register_import_hooks();  // other syntaxes, gated studies, CDs and one-frame-per-file series, for every subcommand
#endif
    add_header_command(app, status);
    add_sample_command(app, status);
    add_replay_command(app, status);
    add_load_command(app, status);
    add_validate_auto_command(app, status);
    add_validate_function_command(app, status);
    add_analyze_command(app, status);
    add_pacs_command(app, status);
    // A first word that is no option and no subcommand is a mistyped subcommand, not a missing one.
    if (argc > 1 && argv[1][0] != '-') {
        std::string names;
        bool known = false;
        for (const CLI::App* sub : app.get_subcommands({})) {
            known = known || sub->get_name() == argv[1];
            if (!sub->get_group().empty())  // the hidden ones are for the tool's own use
                names += (names.empty() ? "" : ", ") + sub->get_name();
        }
        if (!known) {
            std::cerr << "vesmora-cli: unknown subcommand '" << argv[1] << "'; the subcommands are " << names
                      << " (--help tells more)\n";
            return 2;
        }
    }
    CLI11_PARSE(app, argc, argv);
    return status;
}

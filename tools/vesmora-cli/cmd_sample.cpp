// vesmora-cli sample OUT.dcm [options]: writes a left-ventricle phantom as an anonymised
// NM DICOM file that the program reads.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "sample_study.h"
#include "write_whole.h"

void add_sample_command(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("sample", "Write a left-ventricle phantom study as an NM DICOM file");
    static std::string out_s;
    static sample::Options opt_s;
    std::string* out = &out_s;
    sample::Options* opt = &opt_s;
    cmd->add_option("OUT", *out, "DICOM file to write")->required();
    cmd->add_option("--matrix", opt->matrix, "Rows and columns of each frame: 64 or 128")->capture_default_str();
    cmd->add_option("--frames", opt->frames, "Number of frames (default: the matrix)");
    cmd->add_option("--lad", opt->lad, "Defect depth in percent in the LAD territory (anterior, anteroseptal, apical)");
    cmd->add_option("--lcx", opt->lcx, "Defect depth in percent in the LCx territory (lateral)");
    cmd->add_option("--rca", opt->rca, "Defect depth in percent in the RCA territory (inferior, inferoseptal)");
    cmd->add_option("--counts", opt->counts, "Myocardial counts per voxel before blurring")->capture_default_str();
    cmd->add_option("--seed", opt->seed, "Seed of the Poisson noise")->capture_default_str();
    cmd->add_flag("!--no-noise", opt->noise, "Leave the Poisson noise out");
    static std::vector<double> shift_s;
    std::vector<double>* shift = &shift_s;
    cmd->add_option("--shift", *shift, "Move the ventricle by DI DJ DK voxels (-40..40 each)")->expected(3);
    cmd->add_option("--scale", opt->scale,
                    "Size of the ventricle, times the default (0.45..1.5; with the default wall and base, "
                    "0.5 is a cavity of 2.0 mL, 0.75 of 19 mL, 1 of 65 mL, 1.3 of 180 mL)")
        ->capture_default_str();
    static double cavity_s = 0;
    double* cavity = &cavity_s;
    cmd->add_option("--cavity", *cavity,
                    "Size of the ventricle as its end-diastolic cavity in mL (sets the scale for the wall and "
                    "base given)")
        ->excludes("--scale");
    cmd->add_option("--wall", opt->wall, "Wall thickness in voxels")->capture_default_str();
    cmd->add_option("--base", opt->base, "Base plane, voxels from the centre towards the apex")->capture_default_str();
    cmd->add_option("--fwhm", opt->fwhm, "Camera resolution (blur), FWHM in mm")->capture_default_str();
    cmd->add_option("--liver", opt->liver, "Liver concentration in percent of the myocardium's")->capture_default_str();
    cmd->add_option("--liver-near", opt->liver_near, "Move the liver this many voxels towards the heart")
        ->capture_default_str();
    cmd->add_option("--name", opt->name,
                    "Patient's name, '^' between the parts, letters of Latin-1 (written as ISO_IR 100; "
                    "default ANONYME^<kind>)");
    cmd->add_option("--sex", opt->sex, "Patient's sex (M, F, O)")->capture_default_str();
    cmd->add_option("--birth-date", opt->birth_date, "Patient's birth date YYYYMMDD")->capture_default_str();
    cmd->add_option("--age", opt->age, "Patient's age like 058Y")->capture_default_str();
    cmd->add_option("--acq-date", opt->acq_date, "Acquisition date YYYYMMDD")->capture_default_str();
    cmd->add_option("--patient-id", opt->patient_id, "Patient ID (default ANON-<kind>)");
    cmd->add_option("--phase", opt->phase, "Say in the Series Description that the study is at stress or at rest")
        ->check(CLI::IsMember({"stress", "rest"}));
    cmd->add_option("--gates", opt->gates,
                    "Write a gated reconstruction of this many gates (8 or 16; 2 to 32), gate 1 at end diastole")
        ->check(CLI::Range(2, 32));
    cmd->add_option("--es-ratio", opt->es_ratio,
                    "With --gates: end-systolic scale of the cavity across the long axis (0.5..0.65 typical; the "
                    "long axis shortens 0.4 times as much)")
        ->capture_default_str()
        ->needs("--gates");
    static std::string volumes_s;
    std::string* volumes = &volumes_s;
    cmd->add_option("--volumes", *volumes, "With --gates: also write the true cavity volume of each gate here (CSV)")
        ->needs("--gates");
    static std::string rest_out_s;
    static std::vector<std::string> fixed_s;
    std::string* rest_out = &rest_out_s;
    std::vector<std::string>* fixed = &fixed_s;
    cmd->add_option("--rest-out", *rest_out,
                    "Also write the same patient's rest study here: OUT becomes the stress study, and at rest the "
                    "defects are gone (reversible) but in the territories --fixed names");
    cmd->add_option("--fixed", *fixed, "With --rest-out: territories whose defect stays at rest (lad, lcx, rca)")
        ->delimiter(',')
        ->check(CLI::IsMember({"lad", "lcx", "rca"}))
        ->needs("--rest-out");
    cmd->callback([out, opt, shift, cavity, rest_out, fixed, volumes, &status] {
        if (shift->size() == 3) {
            opt->shift_i = (*shift)[0];
            opt->shift_j = (*shift)[1];
            opt->shift_k = (*shift)[2];
        }
        std::string latin1;
        if (!sample::latin1_of(opt->name, latin1)) {
            std::cerr << "sample: the name must be UTF-8 text whose letters are all in Latin-1 (the file's "
                         "character set, ISO_IR 100)\n";
            status = 2;
            return;
        }
        opt->name = latin1;
        if (*cavity != 0) {
            opt->scale = *cavity > 0 ? sample::scale_for_cavity(*opt, *cavity) : 0;
            if (opt->scale == 0) {
                std::fprintf(stderr, "sample: no size of 0.45..1.5 gives a cavity of %g mL with a wall of %g voxels\n",
                             *cavity, opt->wall);
                status = 2;
                return;
            }
        }
        const std::string problem = sample::check(*opt);
        if (!problem.empty()) {
            std::cerr << "sample: " << problem << "\n";
            status = 2;
            return;
        }
        // A pair: one patient (the stress study's name and ID), the rest study keeping only the
        // defects of the territories --fixed names, with noise of its own.
        sample::Options rest = *opt;
        if (!rest_out->empty()) {
            const std::string kind = sample::kind_of(*opt);
            if (opt->name.empty()) opt->name = rest.name = "ANONYME^" + kind;
            if (opt->patient_id.empty()) opt->patient_id = rest.patient_id = "ANON-" + kind;
            opt->phase = "stress";
            rest.phase = "rest";
            rest.seed = opt->seed + 1;
            const auto kept = [fixed](const char* t) { return std::find(fixed->begin(), fixed->end(), t) != fixed->end(); };
            if (!kept("lad")) rest.lad = 0;
            if (!kept("lcx")) rest.lcx = 0;
            if (!kept("rca")) rest.rca = 0;
        }
        const auto write = [](const std::string& path, const sample::Options& o) {
            const auto bytes = sample::make_dicom(o, sample::make_phantom(o));
            // Written beside the target and renamed into place, so that two builds making the
            // same study at once never leave a half-written file.
            const std::filesystem::path target(path);
            std::error_code ec;
            if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
            std::string error;
            if (!write_whole(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error)) {
                std::cerr << "sample: " << program_text_to_utf8(error) << "\n";
                return false;
            }
            const int frames = (o.frames == 0 ? o.matrix : o.frames) * std::max(o.gates, 1);
            std::printf("%s: %s, %d x %d pixels of %.4f mm, %d frames %.4f mm thick, size %.3g (cavity %.1f mL), %zu bytes\n",
                        path.c_str(), sample::kind_of(o).c_str(), o.matrix, o.matrix, sample::kFovMm / o.matrix, frames,
                        sample::kFovMm / o.matrix, o.scale, sample::cavity_ml(o), bytes.size());
            return true;
        };
        status = write(*out, *opt) && (rest_out->empty() || write(*rest_out, rest)) ? 0 : 1;
        if (status != 0 || opt->gates < 2) return;
        // The truth the function is measured against.
        std::string csv = "gate,volume_ml\n";
        double edv = 0, esv = 1e300;
        for (int g = 0; g < opt->gates; g++) {
            const double v = sample::gate_cavity_ml(*opt, g);
            edv = std::max(edv, v), esv = std::min(esv, v);
            char line[64];
            std::snprintf(line, sizeof line, "%d,%.2f\n", g + 1, v);
            csv += line;
            std::printf("  gate %2d: cavity %.1f mL\n", g + 1, v);
        }
        std::printf("  EDV %.1f mL, ESV %.1f mL, EF %.1f %%\n", edv, esv, 100 * (edv - esv) / edv);
        std::string error;
        if (!volumes->empty() && !write_whole(*volumes, csv, error)) {
            std::cerr << "sample: " << program_text_to_utf8(error) << "\n";
            status = 1;
        }
    });
}

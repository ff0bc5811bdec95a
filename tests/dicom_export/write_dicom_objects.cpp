// write-dicom-objects STUDY OUTDIR: opens STUDY, places the sample phantom's model, runs
// "Résultats" and writes OUTDIR/sc.dcm (a Secondary Capture of the result picture, whose
// RGB bytes also go to OUTDIR/page.rgb) and OUTDIR/sr.dcm. Prints what the program holds,
// for an independent reader to compare:
//   size W H
//   segment N PERCENT SCORE        (17 lines; PERCENT as %.9g)
//   summed S
// Exit status 0 when both objects were written, 1 otherwise (the French message on stderr).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Display.h"
#include "Results.h"
#include "Dicom.h"
#include "Clinical_Summary.h"
#include "dicom_export.h"
#include "headless.h"
#include "main.h"
#include "test_support.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: write-dicom-objects STUDY OUTDIR\n");
        return 2;
    }
    const std::string study = argv[1], outdir = argv[2];
    TempDir folder;
    std::filesystem::copy_file(std::string(VESMORA_SOURCE_DIR) + "/data/PALETS", folder.path() / "PALETS");
    start_in(folder.str());
    headless::queue_open_answer(study);
    if (LOAD_DCM_FILE() != 1) {
        std::fprintf(stderr, "%s: not loaded\n", study.c_str());
        return 1;
    }
    load_ok = 1;
    plan_i = ill_ci = ell_ci = 128;
    ell_cj = ell_ck = ill_cj = ill_ck = 128;
    ell_ri = 70, ell_rj = 25, ell_rk = 25;
    ill_ri = 62, ill_rj = 17, ill_rk = 17;
    ell_ok = 1;
    EVAL_APEX();
    EVAL_RES();  // draws the bull's-eye into BMPres

    // BMPres: blue, green, red, lowest line first; the page: red, green, blue, top row first.
    const int w = 400, h = 400;
    std::vector<unsigned char> rgb(3 * w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < 3; c++) rgb[(y * w + x) * 3 + c] = BMPres[((h - 1 - y) * w + x) * 3 + (2 - c)];
    write_file(outdir + "/page.rgb", std::string(rgb.begin(), rgb.end()));

    std::string error;
    if (!write_secondary_capture(study, rgb.data(), w, h, outdir + "/sc.dcm", error) ||
        !write_structured_report(study, outdir + "/sr.dcm", error)) {
        std::fprintf(stderr, "%s\n", headless::utf8(error).c_str());
        return 1;
    }
    std::printf("size %d %d\n", w, h);
    for (int n = 1; n <= 17; n++) std::printf("segment %d %.9g %d\n", n, SECTEUR[n], SCORE[n]);
    std::printf("summed %d\n", CLINICAL_SUMMARY(SECTEUR, SCORE).summed_score);
    return 0;
}

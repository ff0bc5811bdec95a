// The report of a loaded sample study with results: the PDF read back by poppler's
// tools, the RGB page, the PNG pictures compared with what the program draws, and a
// window left exactly as it was.
#include <gtest/gtest.h>

#include <QImage>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "Display.h"
#include "headless.h"
#include "layout.h"
#include "main.h"
#include "report.h"
#include "Clinical_Summary.h"
#include "test_support.h"

namespace {

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::string trimmed(const char* s) {
    std::string t = s;
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
}

class Report : public ::testing::Test {
protected:
    TempDir dir;
    const std::string study = VESMORA_BINARY_DIR "/samples/lad-64.dcm";
    void SetUp() override {
        report_ensure_gui();
        headless::reset();
        headless::set_module_path(dir.str() + "/vesmora");
        STARTUP();
    }
    // "Ouvrir", "Centrer volume" at the middle slices, "Résultats", as the user does.
    void analyse() {
        headless::queue_open_answer(study);
        plat_send_message(WINDOW, VM_COMMAND, ID_OPEN, 0);
        plat_send_message(WINDOW, VM_COMMAND, ID_PLACE_MODEL, 0);
        plat_send_message(WINDOW, VM_COMMAND, ID_RESULTS, 0);
        ASSERT_EQ(res_ok, 1);
        ASSERT_EQ(std::string(DCM_PATH), study);
    }
    ReportInfo info() const { return ReportInfo{study, file_sha256(study), "07/12/2026 14:03"}; }
};

TEST_F(Report, PdfIsOnePageThatNamesPatientScoreAndBand) {
    const std::string pdf = dir.str() + "/rapport.pdf";
    std::string error;
    EXPECT_FALSE(write_report_pdf(pdf, info(), error));  // no results yet
    EXPECT_NE(error.find("R\xE9sultats"), std::string::npos);
    EXPECT_FALSE(std::ifstream(pdf).good());

    analyse();
    const ClinicalSummary s = CLINICAL_SUMMARY(SECTEUR, SCORE);
    ASSERT_GT(s.summed_score, 3) << "the LAD sample should not read as normal";
    ASSERT_TRUE(write_report_pdf(pdf, info(), error)) << error;
    // VESMORA_REPORT_KEEP=DIR keeps the page for a person to look at.
    if (const char* keep = std::getenv("VESMORA_REPORT_KEEP")) run("cp '" + pdf + "' '" + keep + "/'");
    const std::string pdf_info = run("pdfinfo '" + pdf + "'");
    std::smatch pages;
    ASSERT_TRUE(std::regex_search(pdf_info, pages, std::regex("\nPages: +([0-9]+)\n"))) << pdf_info;
    EXPECT_EQ(pages[1], "1");
    EXPECT_NE(pdf_info.find("(A4)"), std::string::npos) << pdf_info;
    const std::string text = run("pdftotext -layout '" + pdf + "' -");
    EXPECT_NE(text.find(trimmed(PAT_NAME)), std::string::npos) << text;
    EXPECT_NE(text.find(std::string("      ") + PAT_ID), std::string::npos) << text;  // ANON-LAD, beside its label
    EXPECT_NE(text.find(std::to_string(s.summed_score) + " / 68"), std::string::npos) << text;
    EXPECT_NE(text.find(headless::utf8(SEVERITY_NAME[s.severity])), std::string::npos) << text;
    EXPECT_NE(text.find(info().sha256), std::string::npos) << text;
    EXPECT_NE(text.find(headless::utf8(SECTORS[13].name_fr)), std::string::npos) << text;
    // What the numbers mean: relative uptake, the five score classes from the evaluation's own
    // bounds, indicative bands, French territories, the page's palette, and a "Centrer volume"
    // model left at its load size flagged as not fitted.
    for (const char* expected : {"Fixation relative", "0 : \xE2\x89\xA5 70 %", "1 : 50 \xC3\xA0 70 %", "4 : < 10 %",
                                 "Bandes de s\xC3\xA9v\xC3\xA9rit\xC3\xA9 indicatives", "IVA", "CD", "Cx",
                                 "Score somm\xC3\xA9", "Palette", "Hot Iron", "ANT", "SEPT", "INF", "LAT",
                                 "Mod\xC3\xA8le non ajust\xC3\xA9"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    EXPECT_EQ(text.find("RCA"), std::string::npos) << "the French texts name the territories IVA, CD, Cx";
    EXPECT_EQ(text.find("LCx"), std::string::npos) << "the French texts name the territories IVA, CD, Cx";
    // A stress series names its summed score so, and shows its description and tracer.
    std::strcpy(SERIES_DESC, "TOMO STRESS MIBI");
    std::strcpy(RADIOPHARM, "Tc-99m sestamibi");
    ASSERT_TRUE(write_report_pdf(pdf, info(), error)) << error;
    const std::string stress = run("pdftotext -layout '" + pdf + "' -");
    EXPECT_NE(stress.find("Score somm\xC3\xA9 d'effort (SSS)"), std::string::npos) << stress;
    EXPECT_NE(stress.find("TOMO STRESS MIBI"), std::string::npos) << stress;
    EXPECT_NE(stress.find("Tc-99m sestamibi"), std::string::npos) << stress;
    SERIES_DESC[0] = RADIOPHARM[0] = '\0';

    // The checksum is the one sha256sum gives; a missing file has none.
    EXPECT_EQ(info().sha256 + "  " + study + "\n", run("sha256sum '" + study + "'"));
    EXPECT_EQ(file_sha256(dir.str() + "/missing.dcm"), "");

    // A report that cannot be written says so, in French, and names the file.
    const std::string bad = dir.str() + "/rapport.pdf/x.pdf";
    EXPECT_FALSE(write_report_pdf(bad, info(), error));
    EXPECT_NE(error.find(bad), std::string::npos) << error;

    // How long one page takes (printed, not asserted: the machine is shared).
    int w = 0, h = 0;
    auto t0 = std::chrono::steady_clock::now();
    const std::vector<unsigned char> rgb = report_page_rgb(info(), w, h);
    auto t1 = std::chrono::steady_clock::now();
    ASSERT_TRUE(write_report_pdf(pdf, info(), error)) << error;
    auto t2 = std::chrono::steady_clock::now();
    std::printf("report page RGB: %.1f ms, PDF: %.1f ms\n",
                std::chrono::duration<double, std::milli>(t1 - t0).count(),
                std::chrono::duration<double, std::milli>(t2 - t1).count());
    ASSERT_EQ(w, 1240);
    ASSERT_EQ(h, 1754);
    ASSERT_EQ(rgb.size(), std::size_t(w) * h * 3);
    // The page is the PDF's page: a 150 dpi rendering of it matches closely.
    run("pdftoppm -r 150 -singlefile -png '" + pdf + "' '" + dir.str() + "/page'");
    const QImage page = QImage(QString::fromStdString(dir.str() + "/page.png")).convertToFormat(QImage::Format_RGB888);
    ASSERT_FALSE(page.isNull());
    long close = 0, total = 0;
    for (int y = 0; y < std::min(h, page.height()); y += 7)
        for (int x = 0; x < std::min(w, page.width()); x += 7, total++) {
            const unsigned char* a = rgb.data() + (std::size_t(y) * w + x) * 3;
            const unsigned char* b = page.constScanLine(y) + x * 3;
            close += std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) < 60;
        }
    EXPECT_GT(close, total * 95 / 100);
}

// The page's pictures, bar and legend are in the report's own palette whatever the
// window shows, and drawing the page leaves the window's pictures, its result button
// and its palette as they were.
TEST_F(Report, PageHasItsOwnPaletteAndLeavesTheWindowAsItWas) {
    analyse();
    plat_send_message(WINDOW, VM_COMMAND, ID_SHOW_SCORES, 0);
    std::vector<std::vector<unsigned char>> pages;
    for (int screen : {9, REPORT_PALETTE, 0}) {  // Jet, the report's own, grey
        while (palet != screen) plat_send_message(WINDOW, VM_COMMAND, ID_PALETTE_NEXT, 0);
        const std::vector<unsigned char> res(BMPres, BMPres + RES_BYTES), bar(BMPpal, BMPpal + PAL_BYTES),
            hla(BMPhla, BMPhla + VIEW_BYTES), shown = headless::image_of(STATICres)->pixels;
        const std::size_t handed = headless::state().bitmaps.size();
        int w = 0, h = 0;
        pages.push_back(report_page_rgb(info(), w, h));
        ASSERT_EQ(pages.back().size(), std::size_t(1240) * 1754 * 3);
        EXPECT_EQ(palet, screen);
        EXPECT_EQ(RES_DISP, RES_SCORES);
        EXPECT_TRUE(std::vector<unsigned char>(BMPres, BMPres + RES_BYTES) == res) << screen;
        EXPECT_TRUE(std::vector<unsigned char>(BMPpal, BMPpal + PAL_BYTES) == bar) << screen;
        EXPECT_TRUE(std::vector<unsigned char>(BMPhla, BMPhla + VIEW_BYTES) == hla) << screen;
        EXPECT_TRUE(headless::image_of(STATICres)->pixels == shown) << screen;
        EXPECT_EQ(headless::state().bitmaps.size(), handed);
    }
    EXPECT_TRUE(pages[0] == pages[1]);
    EXPECT_TRUE(pages[2] == pages[1]);
    // The legend's swatches (and the table's marks) are in the report palette's score colours.
    for (int score = 1; score <= 4; score++) {
        const PaletteColour c = palette_rgb(REPORT_PALETTE, score_step(score));
        long n = 0;
        for (std::size_t i = 0; i < pages[0].size(); i += 3)
            n += pages[0][i] == c.r && pages[0][i + 1] == c.g && pages[0][i + 2] == c.b;
        EXPECT_GT(n, 500) << "score " << score;
    }
    EXPECT_STREQ(palette_name(REPORT_PALETTE), "Hot Iron");
}

TEST_F(Report, PicturesAreTheProgramsAndTheWindowIsUnchanged) {
    std::string error;
    EXPECT_FALSE(write_pictures_png(dir.str(), "x", error));  // nothing loaded
    analyse();
    plat_send_message(WINDOW, VM_COMMAND, ID_SHOW_SECTORS, 0);  // the window shows picture 1
    ASSERT_EQ(RES_DISP, 1);
    const std::vector<unsigned char> res(BMPres, BMPres + RES_BYTES), hla(BMPhla, BMPhla + VIEW_BYTES);
    const std::vector<unsigned char> shown = headless::image_of(STATICres)->pixels;
    const std::string label = headless::text_of(winsect[14], ID_SECT_LABEL);
    const std::size_t handed = headless::state().bitmaps.size();

    const std::string out = dir.str() + "/made/here";  // made on the way
    ASSERT_TRUE(write_pictures_png(out, "lad", error)) << error;

    EXPECT_EQ(RES_DISP, 1);
    EXPECT_EQ(std::vector<unsigned char>(BMPres, BMPres + RES_BYTES), res);
    EXPECT_EQ(std::vector<unsigned char>(BMPhla, BMPhla + VIEW_BYTES), hla);
    EXPECT_EQ(headless::image_of(STATICres)->pixels, shown);
    EXPECT_EQ(headless::text_of(winsect[14], ID_SECT_LABEL), label);
    EXPECT_EQ(headless::state().bitmaps.size(), handed);

    const struct {
        const char* name;
        int w, h, res_disp;  // res_disp: the result button that shows it, -1 for the others
    } files[8] = {{"hla", 256, 256, -1}, {"vla", 256, 256, -1},   {"sa", 256, 256, -1},
                  {"palette", 220, 56, -1}, {"bull", 400, 400, 0}, {"sectors", 400, 400, 1},
                  {"scores", 400, 400, 12}, {"lateral", 400, 400, 2}};
    for (const auto& f : files) {
        const QImage img = QImage(QString::fromStdString(out + "/lad-" + f.name + ".png"))
                               .convertToFormat(QImage::Format_RGB888);
        ASSERT_FALSE(img.isNull()) << f.name;
        EXPECT_EQ(img.width(), f.w) << f.name;
        EXPECT_EQ(img.height(), f.h) << f.name;
        // Each result picture is the one its button shows; the views and the bar are
        // what the window shows now.
        const unsigned char* want = BMPhla;
        if (f.res_disp >= 0) {
            RES_DISP = f.res_disp;
            DISPLAY_RES();
            want = BMPres;
        } else if (std::strcmp(f.name, "vla") == 0) {
            want = BMPvla;
        } else if (std::strcmp(f.name, "sa") == 0) {
            want = BMPsa;
        } else if (std::strcmp(f.name, "palette") == 0) {
            want = BMPpal;
        }
        int wrong = 0;
        for (int y = 0; y < f.h; y++)
            for (int x = 0; x < f.w; x++) {
                const unsigned char* a = img.constScanLine(y) + x * 3;
                const unsigned char* b = want + ((f.h - 1 - y) * f.w + x) * 3;
                wrong += a[0] != b[2] || a[1] != b[1] || a[2] != b[0];
            }
        EXPECT_EQ(wrong, 0) << f.name;
    }
}

// A gated study's page: the function box beside the smaller pictures, its figures with the
// warnings right under them when flagged, or why it was not measured; the rest of the page,
// down to the footer, still on it.
TEST_F(Report, GatedStudyHasAFunctionBoxThatShowsItsWarnings) {
    analyse();
    ReportInfo gated = info();
    GatedFunction& f = gated.function.emplace();
    SET_FUNCTION_CURVE(f, {131, 118, 92, 70, 61.4, 66, 88, 112, 124, 129, 130, 130.6, 131.2, 131.6, 131.8, 132.2});
    f.flags = {"Courbe de volume irr\xE9guli\xE8re : contr\xF4lez le placement du mod\xE8le."};
    const std::string pdf = dir.str() + "/gated.pdf";
    int pages = 0;
    auto page_text = [&](const ReportInfo& i) {
        std::string error;
        EXPECT_TRUE(write_report_pdf(pdf, i, error)) << error;
        if (const char* keep = std::getenv("VESMORA_REPORT_KEEP"))
            run("cp '" + pdf + "' '" + keep + "/gated-" + std::to_string(++pages) + ".pdf'");
        EXPECT_TRUE(std::regex_search(run("pdfinfo '" + pdf + "'"), std::regex("\nPages: +1\n")));
        return run("pdftotext -layout '" + pdf + "' -");
    };
    std::string text = page_text(gated);
    for (const char* expected :
         {"Fonction VG (\xC3\xA9tude synchronis\xC3\xA9" "e)", "(VTD)", "132 mL", "(VTS)", "61 mL", "54 %",
          "R\xC3\xA9sultat \xC3\xA0 v\xC3\xA9rifier", "Courbe de volume irr\xC3\xA9guli\xC3\xA8re", "16 intervalles", "TD : 16, TS : 5",
          "intervalle", "d\xC3\xA9pendent de la m\xC3\xA9thode", "Hot Iron",
          // what follows the pictures is all still on the page
          "Segments", "Synth\xC3\xA8se", "Plan de base", "SHA-256", "interpr\xC3\xA9ter par un"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    EXPECT_NE(text.find(info().sha256), std::string::npos);

    f = GatedFunction{};
    f.reason = "Aucun mod\xE8le n'est plac\xE9.";
    text = page_text(gated);
    for (const char* expected : {"Fonction non mesur\xC3\xA9" "e", "Aucun mod\xC3\xA8le n'est plac\xC3\xA9."})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    EXPECT_EQ(text.find("(VTD)"), std::string::npos) << text;
    EXPECT_EQ(page_text(info()).find("Fonction VG"), std::string::npos) << "a study that is not gated has no box";
}

}  // namespace

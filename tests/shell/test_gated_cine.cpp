// "Examen > Fonction (synchronisé)...": offered for a gated study with a model only, closed when
// another study opens; its cine shows each gate at the main window's slices, oriented as the
// main window's views; its curve puts end diastole above end systole and survives a flat or
// broken curve.
#include "shell_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "Display.h"
#include "Gated_Cine.h"
#include "Main_Wnd_Proc.h"
#include "commands.h"
#include "dicom_writer.h"

namespace {

constexpr int SIDE = 16, SLICES = 8, GATES_N = 8, HOT_GATE = 2;

class Function : public Shell {
protected:
    void SetUp() override {
        std::filesystem::copy_file(std::string(VESMORA_SOURCE_DIR) + "/data/PALETS", dir.path() / "PALETS");
        Shell::SetUp();
    }
    // A gated file, gate after gate, read by the program's own reader (no import here): a quiet
    // background, and one hot pixel off every axis of symmetry in gate HOT_GATE only.
    std::string gated_file() {
        std::vector<std::int16_t> px(static_cast<std::size_t>(GATES_N) * SLICES * SIDE * SIDE, 40);
        px[((HOT_GATE * SLICES + 5) * SIDE + 3) * SIDE + 11] = 3000;  // slice 5, row 3, column 11
        const std::string path = (dir.path() / "gated.dcm").string();
        nm_header(SIDE, SIDE, GATES_N * SLICES).us(0x0054, 0x0071, GATES_N).pixels(px).write(path);
        return path;
    }
};

int available() { return command_of(ID_FUNCTION)->available(); }

}  // namespace

TEST_F(Function, OfferedForAGatedStudyWithAModelOnly) {
    EXPECT_EQ(available(), 0);  // nothing loaded
    ASSERT_EQ(OPEN_STUDY((std::string(VESMORA_BINARY_DIR) + "/samples/normal-64.dcm").c_str()), 1);
    command(ID_PLACE_MODEL);
    EXPECT_EQ(available(), 0);  // not gated, though a model is placed
    command(ID_FUNCTION);
    EXPECT_TRUE(headless::state().functions_shown.empty());
    EXPECT_TRUE(headless::state().boxes.empty());

    ASSERT_EQ(OPEN_STUDY(gated_file().c_str()), 1);
    EXPECT_EQ(GATES.count, GATES_N);
    EXPECT_EQ(available(), 0);  // gated, no model yet
    command(ID_PLACE_MODEL);
    EXPECT_EQ(available(), 1);
    command(ID_FUNCTION);
    ASSERT_EQ(headless::state().functions_shown.size(), 1u);
    // The wait cursor was up while the volumes were measured, and is down again.
    EXPECT_EQ(headless::state().busy_shown, 1);
    EXPECT_EQ(headless::state().busy, 0);
    const headless::FunctionShown& shown = headless::state().functions_shown[0];
    EXPECT_EQ(shown.gates, GATES_N);
    EXPECT_EQ(shown.gate_captions.size(), std::size_t(GATES_N));
    std::string joined = shown.text;  // the note, its line broken to the window's width
    std::replace(joined.begin(), joined.end(), '\n', ' ');
    EXPECT_NE(joined.find(FUNCTION_METHOD_NOTE), std::string::npos) << shown.text;
    // Another study closes it: it showed the one before.
    EXPECT_EQ(headless::state().functions_closed, 0);
    ASSERT_EQ(OPEN_STUDY((std::string(VESMORA_BINARY_DIR) + "/samples/normal-64.dcm").c_str()), 1);
    EXPECT_EQ(headless::state().functions_closed, 1);
}

TEST_F(Function, TheCineShowsEachGateWhereTheMainViewsShowTheVolume) {
    ASSERT_EQ(OPEN_STUDY(gated_file().c_str()), 1);
    // The hot pixel lands where the volume is hottest; the slices go through it.
    const float* top = std::max_element(data, data + VOL_SIZE);
    const int at = static_cast<int>(top - data), i = at >> 16, j = (at >> 8) & 255, k = at & 255;
    ASSERT_TRUE(i != j && j != k && i != k);  // a transposed view would miss it
    Nhla = k, Nvla = j, Nsa = i;
    const GateCine cine = MAKE_GATE_CINE(0);  // grey: step 100 is white
    ASSERT_EQ(cine.gates, GATES_N);
    const PaletteColour white = palette_rgb(0, 100);
    // Pixel (x, y) of each view: HLA (j, i), VLA (i, k), SA (j, k), as the main window draws them.
    const int xy[3][2] = {{j, i}, {i, k}, {j, k}};
    for (int view = 0; view < 3; view++)
        for (int g = 0; g < GATES_N; g++) {
            const unsigned char* p = cine.picture(g, view) + (xy[view][1] * 256 + xy[view][0]) * 3;
            const bool is_white = p[0] == white.b && p[1] == white.g && p[2] == white.r;
            EXPECT_EQ(is_white, g == HOT_GATE) << "view " << view << " gate " << g;
        }
}

TEST_F(Function, TheCurveMarksEndDiastoleAboveEndSystoleAndKeepsItsGaps) {
    const auto count = [](const std::vector<unsigned char>& pic, unsigned char r, unsigned char g, unsigned char b,
                          int* top_row) {
        int n = 0;
        for (int y = 0; y < CURVE_H; y++)
            for (int x = 0; x < CURVE_W; x++) {
                const unsigned char* p = pic.data() + (y * CURVE_W + x) * 3;
                if (p[0] == b && p[1] == g && p[2] == r) n++, *top_row = y;
            }
        return n;
    };
    std::vector<unsigned char> pic(CURVE_W * CURVE_H * 3);
    GatedFunction f;
    f.measured = true;
    f.volume_ml = {120, 110, 80, 50, 45, 60, 95, 115};
    f.ed_gate = 1, f.es_gate = 5;
    DRAW_VOLUME_CURVE(pic.data(), f);
    int red_row = -1, blue_row = -1;
    EXPECT_GT(count(pic, 210, 30, 30, &red_row), 81);  // the 9 x 9 mark and its letters
    EXPECT_GT(count(pic, 30, 70, 210, &blue_row), 81);
    EXPECT_GT(red_row, blue_row);  // rows count up: the larger volume stands higher

    // Flat, a gate not measured, marks out of range: drawn without a fault, the gap left empty.
    f.volume_ml = {70, 70, std::numeric_limits<double>::quiet_NaN(), 70};
    f.ed_gate = 3, f.es_gate = 9;
    DRAW_VOLUME_CURVE(pic.data(), f);
    EXPECT_EQ(count(pic, 210, 30, 30, &red_row), 0);
    EXPECT_EQ(count(pic, 30, 70, 210, &blue_row), 0);
    f.volume_ml.clear();
    DRAW_VOLUME_CURVE(pic.data(), f);  // the axes alone
}

TEST_F(Function, AFlaggedResultSaysSoBeforeItsNumbersAndAMissingOneShowsNone) {
    GatedFunction f;
    f.measured = true;
    f.volume_ml = {30, 29, 29, 30};
    f.edv_ml = 30, f.esv_ml = 29, f.ef_percent = 3, f.ed_gate = 1, f.es_gate = 2;
    f.flags = {"Moins de 8 intervalles : la t\xE9l\xE9systole peut manquer.",
               "Cavit\xE9 t\xE9l\xE9systolique petite devant la r\xE9solution (VTS 12 mL, rayon 14 mm pour un flou "
               "de 17 mm \xE0 mi-hauteur) : VTS et FE peu pr\xE9" "cis."};
    const std::string t = FUNCTION_WINDOW_TEXT(f);
    EXPECT_EQ(t.rfind("ATTENTION", 0), 0u) << t;
    // Every line fits the window's width; the words, lines joined again, are all there.
    std::string joined, line;
    for (std::istringstream in(t); std::getline(in, line);) {
        EXPECT_LE(line.size(), static_cast<std::size_t>(FUNCTION_TEXT_COLUMNS)) << line;
        const std::size_t from = line.find_first_not_of(' ');
        if (from != std::string::npos) joined += (line.rfind("  - ", 0) == 0 ? "\n" : " ") + line.substr(from);
    }
    EXPECT_LT(joined.find(f.flags[0]), joined.find(f.flags[1]));
    EXPECT_LT(joined.find(f.flags[1]), joined.find("VTD"));
    EXPECT_NE(joined.find(FUNCTION_METHOD_NOTE), std::string::npos) << joined;
    f.measured = false;
    f.reason = "Cavit\xE9 introuvable.";
    const std::string none = FUNCTION_WINDOW_TEXT(f);
    EXPECT_NE(none.find(f.reason), std::string::npos);
    EXPECT_EQ(none.find("mL"), std::string::npos) << none;
}

// The function window's content (see Gated_Cine.h):
//   1. the cine        MAKE_GATE_CINE: the three views of every gate, one scale for all
//   2. the curve       DRAW_VOLUME_CURVE, with a small digit font of its own
//   3. the text        FUNCTION_WINDOW_TEXT
//   4. the menu item   FUNCTION_AVAILABLE, SHOW_FUNCTION
#include "Gated_Cine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "Display.h"
#include "layout.h"
#include "main.h"
#include "platform.h"

// =============================================================================================
// 1. The cine
// =============================================================================================
GateCine MAKE_GATE_CINE(int pal) {
    GateCine c;
    if (load_ok != 1 || GATES.count <= 0) return c;
    c.gates = GATES.count;
    c.slices[0] = std::clamp(Nhla, SLICE_MIN, SLICE_MAX);
    c.slices[1] = std::clamp(Nvla, SLICE_MIN, SLICE_MAX);
    c.slices[2] = std::clamp(Nsa, SLICE_MIN, SLICE_MAX);
    constexpr std::size_t PIXELS = 256 * 256;
    // Pixel (x, y) of each view is the volume point the main window's view shows there:
    // HLA (i = y, j = x, k = Nhla), VLA (i = x, j = Nvla, k = y), SA (i = Nsa, j = x, k = y).
    std::vector<float> values(static_cast<std::size_t>(c.gates) * 3 * PIXELS);
    float hottest = 0.0f;
    for (int g = 0; g < c.gates; g++)
        for (int view = 0; view < 3; view++) {
            float* out = values.data() + (static_cast<std::size_t>(g) * 3 + view) * PIXELS;
            for (int y = 0; y < 256; y++)
                for (int x = 0; x < 256; x++) {
                    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
                    const float v = view == 0   ? GATE_SAMPLE(g, fy, fx, static_cast<float>(c.slices[0]))
                                    : view == 1 ? GATE_SAMPLE(g, fx, static_cast<float>(c.slices[1]), fy)
                                                : GATE_SAMPLE(g, static_cast<float>(c.slices[2]), fx, fy);
                    out[y * 256 + x] = v;
                    if (v > hottest) hottest = v;  // NaN never passes
                }
        }
    c.bgr.resize(values.size() * 3);
    const float to_step = hottest > 0.0f ? 100.0f / hottest : 0.0f;
    for (std::size_t n = 0; n < values.size(); n++) {
        const float s = values[n] * to_step;
        const int step = s > 0.0f ? std::min(100, static_cast<int>(s)) : 0;  // NaN and negatives: the bottom
        const PaletteColour rgb = palette_rgb(pal, step);
        c.bgr[3 * n] = rgb.b;
        c.bgr[3 * n + 1] = rgb.g;
        c.bgr[3 * n + 2] = rgb.r;
    }
    return c;
}

int CINE_START_SPEED(int gates) { return std::clamp(gates, CINE_SPEED_MIN, CINE_SPEED_MAX); }

// =============================================================================================
// 2. The curve
// =============================================================================================
namespace {

struct Rgb {
    unsigned char r, g, b;
};
constexpr Rgb WHITE{255, 255, 255}, GRID{215, 215, 215}, AXIS{60, 60, 60}, LINE{30, 30, 30};
constexpr Rgb ED_RED{210, 30, 30}, ES_BLUE{30, 70, 210};

// The picture with y counting up from its lowest line, as it is stored.
struct Canvas {
    unsigned char* bgr;
    void put(int x, int y, Rgb c) const {
        if (x < 0 || x >= CURVE_W || y < 0 || y >= CURVE_H) return;
        unsigned char* p = bgr + (static_cast<std::size_t>(y) * CURVE_W + x) * 3;
        p[0] = c.b, p[1] = c.g, p[2] = c.r;
    }
    void box(int x0, int y0, int x1, int y1, Rgb c) const {
        for (int y = y0; y <= y1; y++)
            for (int x = x0; x <= x1; x++) put(x, y, c);
    }
    void line(int x0, int y0, int x1, int y1, Rgb c, int thick) const {
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        for (;;) {
            box(x0, y0, x0 + thick - 1, y0 + thick - 1, c);
            if (x0 == x1 && y0 == y1) break;
            const int e2 = 2 * err;
            if (e2 >= dy) err += dy, x0 += sx;
            if (e2 <= dx) err += dx, y0 += sy;
        }
    }
};

// 5 x 7 glyphs, top row first, for the numbers and the few letters the curve writes.
struct Glyph {
    char c;
    const char* rows[7];
};
constexpr Glyph GLYPHS[] = {
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "....#", ".###."}},
    {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
};

// Text whose lower left corner is (x, y); characters without a glyph leave a blank.
void letters(const Canvas& cv, int x, int y, const std::string& text, Rgb c) {
    for (char ch : text) {
        for (const Glyph& g : GLYPHS)
            if (g.c == ch)
                for (int r = 0; r < 7; r++)
                    for (int k = 0; k < 5; k++)
                        if (g.rows[r][k] == '#') cv.put(x + k, y + 6 - r, c);
        x += 6;
    }
}
int text_width(const std::string& text) { return static_cast<int>(text.size()) * 6 - 1; }

// A step of 1, 2, 2.5 or 5 times a power of ten giving at most six intervals over `span`.
double tick_step(double span) {
    const double p = std::pow(10.0, std::floor(std::log10(span / 6.0)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (span / (m * p) <= 6.0) return m * p;
    return 10.0 * p;
}

std::string number(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.0f", v);
    return t;
}

}  // namespace

void DRAW_VOLUME_CURVE(unsigned char* bgr, const GatedFunction& f) {
    const Canvas cv{bgr};
    cv.box(0, 0, CURVE_W - 1, CURVE_H - 1, WHITE);
    constexpr int X0 = 44, X1 = CURVE_W - 16, Y0 = 26, Y1 = CURVE_H - 18;  // the plot's frame
    const int n = static_cast<int>(f.volume_ml.size());
    double lo = 0.0, hi = 0.0;
    bool any = false;
    for (double v : f.volume_ml)
        if (std::isfinite(v)) {
            lo = any ? std::min(lo, v) : v;
            hi = any ? std::max(hi, v) : v;
            any = true;
        }
    // The volume range with a margin, on whole ticks; never flat, never below 0 mL.
    const double margin = std::max(5.0, 0.1 * (hi - lo));
    const double step = tick_step(std::max(10.0, hi - lo + 2 * margin));
    lo = std::max(0.0, std::floor((lo - margin) / step) * step);
    hi = std::max(lo + step, std::ceil((hi + margin) / step) * step);
    auto y_of = [&](double v) { return Y0 + static_cast<int>(std::lround((v - lo) / (hi - lo) * (Y1 - Y0))); };
    auto x_of = [&](int gate) {  // 1-based; one gate alone sits in the middle
        return n <= 1 ? (X0 + X1) / 2 : X0 + 8 + (gate - 1) * (X1 - X0 - 16) / (n - 1);
    };

    for (double v = lo; v <= hi + step / 2; v += step) {
        const int y = y_of(v);
        cv.line(X0, y, X1, y, GRID, 1);
        const std::string t = number(v);
        letters(cv, X0 - 5 - text_width(t), y - 3, t, AXIS);
    }
    letters(cv, 4, Y1 + 6, "mL", AXIS);
    for (int g = 1; g <= n; g++) {
        const std::string t = std::to_string(g);
        cv.line(x_of(g), Y0 - 3, x_of(g), Y0, AXIS, 1);
        letters(cv, x_of(g) - text_width(t) / 2, Y0 - 13, t, AXIS);
    }
    cv.line(X0, Y0, X1, Y0, AXIS, 1);
    cv.line(X0, Y0, X0, Y1, AXIS, 1);
    if (!any) return;

    int px = -1, py = -1;
    for (int g = 1; g <= n; g++) {
        const double v = f.volume_ml[g - 1];
        if (!std::isfinite(v)) {
            px = -1;  // a gap in the line, not a guess
            continue;
        }
        const int x = x_of(g), y = y_of(v);
        if (px >= 0) cv.line(px, py, x, y, LINE, 2);
        cv.box(x - 2, y - 2, x + 2, y + 2, LINE);
        px = x, py = y;
    }
    // End diastole and end systole: a larger square in their colour and their initials above it.
    const auto mark = [&](int gate, Rgb c, const char* label) {
        if (gate < 1 || gate > n || !std::isfinite(f.volume_ml[gate - 1])) return;
        const int x = x_of(gate), y = y_of(f.volume_ml[gate - 1]);
        cv.box(x - 4, y - 4, x + 4, y + 4, c);
        const int ty = y + 8 + 7 <= Y1 ? y + 8 : y - 16;
        letters(cv, x - text_width(label) / 2, ty, label, c);
    };
    mark(f.ed_gate, ED_RED, "TD");
    mark(f.es_gate, ES_BLUE, "TS");
}

// =============================================================================================
// 3. The text
// =============================================================================================
namespace {

// `text` after `lead`, broken at blanks into lines of FUNCTION_TEXT_COLUMNS characters at most
// (a word longer than that stands alone), each line after the first indented as wide as `lead`.
std::string wrapped(const std::string& text, const std::string& lead) {
    std::string out = lead, word;
    std::size_t column = lead.size();
    for (std::istringstream words(text); words >> word;) {
        if (column > lead.size() && column + 1 + word.size() > static_cast<std::size_t>(FUNCTION_TEXT_COLUMNS)) {
            out += "\n" + std::string(lead.size(), ' ');
            column = lead.size();
        } else if (column > lead.size()) {
            out += ' ';
            column++;
        }
        out += word;
        column += word.size();
    }
    return out + "\n";
}

}  // namespace

std::string FUNCTION_WINDOW_TEXT(const GatedFunction& f) {
    std::string t;
    char line[200];
    if (!f.measured)  // the cine still shows; no number in place of the reason
        return wrapped("Volumes non mesur\xE9s : " + (f.reason.empty() ? std::string("raison inconnue.") : f.reason), "") +
               "\n" + wrapped(FUNCTION_METHOD_NOTE, "");
    if (f.flagged()) {
        t += wrapped("ATTENTION : r\xE9sultat \xE0 v\xE9rifier, ne pas le reporter tel quel.", "");
        for (const std::string& w : f.flags) t += wrapped(w, "  - ");
        t += "\n";
    }
    std::snprintf(line, sizeof line, "%-29s: %5.0f mL  (intervalle %d)\n%-29s: %5.0f mL  (intervalle %d)\n%-29s: %5.0f %%\n\n",
                  "Volume t\xE9l\xE9" "diastolique (VTD)", f.edv_ml, f.ed_gate, "Volume t\xE9l\xE9systolique (VTS)",
                  f.esv_ml, f.es_gate, "Fraction d'\xE9jection (FEVG)", f.ef_percent);
    t += line;
    t += "Volume par intervalle (mL) :\n";
    for (std::size_t g = 0; g < f.volume_ml.size(); g++) {
        std::snprintf(line, sizeof line, "%s%2zu : %4.0f", g % 4 == 0 ? (g ? "\n  " : "  ") : "   ", g + 1,
                      f.volume_ml[g]);
        t += line;
    }
    t += "\n\n";
    t += wrapped(FUNCTION_METHOD_NOTE, "");
    return t;
}

// =============================================================================================
// 4. The menu item
// =============================================================================================
namespace {
bool g_window_shown = false;  // a function window was shown and not closed since
}  // namespace

void CLOSE_FUNCTION_WINDOW() {
    if (!g_window_shown) return;
    g_window_shown = false;
    plat_show_function(WINDOW, nullptr);
}

// A gated study whose gates were too large to keep still opens the window: no cine, the reason.
int FUNCTION_AVAILABLE() { return load_ok == 1 && ell_ok == 1 && GATES.gated() ? 1 : 0; }

int SHOW_FUNCTION() {
    if (FUNCTION_AVAILABLE() != 1) return 0;
    // Not measured, the window still opens: the cine shows the gates, the text says why no volume.
    // The measure takes a second or two on a 16-gate study: the wait cursor says so.
    plat_busy(1);
    GatedFunction f = MEASURE_FUNCTION();
    plat_busy(0);
    if (!f.measured) f.volume_ml.clear(), f.ed_gate = f.es_gate = 0;
    const GateCine cine = MAKE_GATE_CINE(palet);
    std::vector<unsigned char> curve(static_cast<std::size_t>(CURVE_W) * CURVE_H * 3);
    DRAW_VOLUME_CURVE(curve.data(), f);
    const std::string text = FUNCTION_WINDOW_TEXT(f);
    std::vector<std::string> captions;
    for (int g = 1; g <= cine.gates; g++)
        captions.push_back("Intervalle " + std::to_string(g) + " / " + std::to_string(cine.gates) +
                           (g == f.ed_gate ? " (t\xE9l\xE9" "diastole)" : g == f.es_gate ? " (t\xE9l\xE9systole)" : ""));
    std::vector<const char*> caption_ptrs;
    for (const std::string& c : captions) caption_ptrs.push_back(c.c_str());
    const std::string title = "Fonction (synchronis\xE9" "e) - " + std::filesystem::path(DCM_PATH).filename().string();

    PlatFunctionView v{};
    v.title = title.c_str();
    for (int k = 0; k < 3; k++) v.captions[k] = VIEW_TITLE[k];
    v.gates = cine.gates;
    v.frames = cine.bgr.data();
    v.gate_captions = caption_ptrs.data();
    v.speed = CINE_START_SPEED(cine.gates);
    v.curve = f.measured ? curve.data() : nullptr;  // no axes without a volume
    v.curve_width = CURVE_W;
    v.curve_height = CURVE_H;
    v.text = text.c_str();
    v.text_columns = FUNCTION_TEXT_COLUMNS;
    v.flagged = !f.measured || f.flagged() ? 1 : 0;
    plat_show_function(WINDOW, &v);
    g_window_shown = true;
    return 1;
}

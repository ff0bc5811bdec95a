// The function window of a gated study ("Examen > Fonction (synchronisé)..."): the cine of the
// three views over the gates, the volume curve with end diastole and end systole marked, EDV,
// ESV, EF, the method note and the warnings. Every picture and text is made here; the back end
// shows them and runs the cine's timer (play, pause, speed).
#ifndef VESMORA_GATED_CINE_H
#define VESMORA_GATED_CINE_H

#include <string>
#include <vector>

#include "Gated_Function.h"

// 1 when a gated study is loaded (GATES.gated()) and a model is placed on it.
int FUNCTION_AVAILABLE();

// The cine of the study loaded: for each gate, the three views (horizontal long axis, vertical
// long axis, short axis) at the slices shown now (Nhla, Nvla, Nsa), 256 x 256 each, oriented as
// the main window's views and in the palette `pal`; blue, green, red, lowest line first. One
// scale for all of them: the hottest pixel of the cine is the top of the palette, so the
// gates' differences in counts show as they are.
struct GateCine {
    int gates = 0;
    int slices[3] = {};               // Nhla, Nvla, Nsa when made
    std::vector<unsigned char> bgr;   // gates x 3 pictures of VIEW_BYTES, gate 1 first, HLA VLA SA
    const unsigned char* picture(int gate, int view) const {
        return bgr.data() + (static_cast<std::size_t>(gate) * 3 + view) * 256 * 256 * 3;
    }
};
// Empty (gates 0) when no gated study is loaded.
GateCine MAKE_GATE_CINE(int pal);

// The volume curve: gate on x, mL on y, the gates' volumes joined, end diastole marked in red,
// end systole in blue, the axes numbered. Blue, green, red, lowest line first.
constexpr int CURVE_W = 400, CURVE_H = 240;
void DRAW_VOLUME_CURVE(unsigned char* bgr, const GatedFunction& f);

// The window's text (Latin-1): the volumes, EF, the method note and, first when there are
// any, the warnings; when nothing was measured, why, and no number. Its lines are broken at
// blanks to FUNCTION_TEXT_COLUMNS characters of a fixed font, the width the back ends give it.
constexpr int FUNCTION_TEXT_COLUMNS = 58;
std::string FUNCTION_WINDOW_TEXT(const GatedFunction& f);

// The cine's speed in images per second: the back ends' control runs over this range.
constexpr int CINE_SPEED_MIN = 1, CINE_SPEED_MAX = 30;
// One beat a second to start with, within the range.
int CINE_START_SPEED(int gates);

// Closes the function window when one is shown: called when another study opens.
void CLOSE_FUNCTION_WINDOW();

// The menu item: measures the function and shows the window, with the cine and the reason
// alone when the volumes cannot be measured. 1: shown.
int SHOW_FUNCTION();

#endif

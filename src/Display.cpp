// Drawing: the palette bar, the slice views with their strips and the model
// drawn over them, the limits of the model, the polar sector map, the apex and
// ring levels, and the result pictures.
//
// Sections (each owns its block; helpers used by one section stay inside it):
//   1. palette bar             CREATE_PALBMP
//   2. slice views             DISPLAY, VERIF_DISP, EVAL_DIST (+ model overlays)
//   3. polar sector map        INIT_SECT
//   4. apex and ring levels    EVAL_APEX, EVAL_SECT
//   5. result pictures         DISPLAY_RES
#include "Display.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "main.h"

// =============================================================================================
// 1. Palette bar
// =============================================================================================
int CREATE_PALBMP() {
    // TODO(palettes): draw the bar for palet and couleur and hand it to control 60.
    return 0;
}

// =============================================================================================
// 2. Slice views, strips, model overlays, limits of the model
// =============================================================================================
float EVAL_DIST(int i, int j, int k) {
    // TODO(views)
    (void)i;
    (void)j;
    (void)k;
    return 0.0f;
}

int DISPLAY() {
    // TODO(views): views, strips, overlays, hand-over of the six pictures.
    return 0;
}

int VERIF_DISP() {
    // TODO(views): limits of the slices and of the model, then EVAL_SECT and DISPLAY.
    return 0;
}

// =============================================================================================
// 3. Polar sector map
// =============================================================================================
int INIT_SECT() {
    // TODO(sectors): fill mesh_sect.
    return 0;
}

// =============================================================================================
// 4. Apex and ring levels
// =============================================================================================
int EVAL_APEX() {
    // The apex sits three quarters of the way from the base plane to the tip.
    amplii = ell_ri + ell_ci - plan_i;
    apex_i = static_cast<int>(plan_i + 0.75 * amplii);
    EVAL_SECT();
    return 0;
}

int EVAL_SECT() {
    // d in single precision: with the apex beyond the base it is negative and
    // the levels then rise from entry 0 to entry 4.
    const float d = static_cast<float>(plan_i - apex_i) / 3.0f;
    sect_i[0] = plan_i;
    sect_i[1] = static_cast<int>(static_cast<float>(plan_i) - d);
    sect_i[2] = static_cast<int>(static_cast<float>(plan_i) - 2.0f * d);
    sect_i[3] = apex_i;
    sect_i[4] = ell_ri + ell_ci;
    WRITE_LOGFILE("Secteurs\n");
    for (int e = 0; e < 5; e++) {
        std::snprintf(chaine, CHAINE_SIZE, "%d\n", sect_i[e]);
        WRITE_LOGFILE(chaine);
    }
    return 0;
}

// =============================================================================================
// 5. Result pictures
// =============================================================================================
int DISPLAY_RES() {
    // TODO(results pictures): draw the picture chosen by RES_DISP and hand it to control 46.
    return 0;
}

// Drawing: the palette bar, the slice views with their strips and the model
// drawn over them, the limits of the model, the polar sector map, the apex and
// ring levels, and the result pictures.
#ifndef VESMORA_DISPLAY_H
#define VESMORA_DISPLAY_H

// Palette bar
int CREATE_PALBMP();

// Limits that VERIF_DISP keeps the slices and the model within, both bounds included.
constexpr int SLICE_MIN = 0, SLICE_MAX = 255;             // Nhla, Nvla, Nsa
constexpr int OUTER_AXIS_MIN = 12, OUTER_AXIS_MAX = 120;  // ell_ri, ell_rj, ell_rk
constexpr int INNER_AXIS_MIN = 4, INNER_AXIS_MAX = 120;   // ill_ri, ill_rj, ill_rk
constexpr int CENTRE_MIN = 12, CENTRE_MAX = 244;          // both centres and plan_i

// Slice views, strips, overlays and the limits of the model
int DISPLAY();
int VERIF_DISP();
float EVAL_DIST(int i, int j, int k);
// The drawing of DISPLAY into the six picture buffers, without the hand-over.
int DRAW_DISPLAY();

// Polar sector map
int INIT_SECT();

// Apex and ring levels
int EVAL_APEX();
// The apex level EVAL_APEX derives from the current outer ellipsoid and base plane.
int DERIVED_APEX();
int EVAL_SECT();

// Result pictures
int DISPLAY_RES();
// The drawing of DISPLAY_RES into BMPres, without the label texts and the hand-over.
int DRAW_RES();

#endif

// Drawing: the palette bar, the slice views with their strips and the model
// drawn over them, the limits of the model, the polar sector map, the apex and
// ring levels, and the result pictures.
#ifndef VESMORA_DISPLAY_H
#define VESMORA_DISPLAY_H

// Palettes: PALETTE_COUNT palettes of 101 steps (0..100) in `palette`, the current
// one `palet`; mark colours 0..5 in `couleurs`, the current one `couleur`.
constexpr int PALETTE_COUNT = 16;
constexpr int OVERLAY_COUNT = 6;
// A palette or mark colour index as the tables can take it (an index out of range
// reads the nearest one rather than past the table).
constexpr int palette_index(int pal) { return pal < 0 ? 0 : pal >= PALETTE_COUNT ? PALETTE_COUNT - 1 : pal; }
constexpr int overlay_index(int c) { return c < 0 ? 0 : c >= OVERLAY_COUNT ? OVERLAY_COUNT - 1 : c; }

struct PaletteColour {
    unsigned char r, g, b;
};
// Colour of a step (limited to 0..100) of palette `pal`.
PaletteColour palette_rgb(int pal, int step);
// The step that shows a score in the score map: 100, 80, 60, 40, 20 for the scores
// 0 to 4 (below 0 as 0; 5 and above give step 0).
int score_step(int score);
// French name of a palette of the shipped palette file (Latin-1), as the guide lists them.
const char* palette_name(int pal);

// The palette the report's pictures always use, whatever the screen shows: Hot Iron,
// the DICOM standard's hot-iron scale (black, red, yellow, white), usual in nuclear
// medicine and legible once printed in grey. Its marks (the bull's-eye grid) are in
// mark colour 0, white, the start colour of the screen.
constexpr int REPORT_PALETTE = 2;
constexpr int REPORT_OVERLAY = 0;

// Palette bar: the bar of palette `pal` with its grid in mark colour `overlay`, drawn
// into a 220 x 56 buffer of the caller; CREATE_PALBMP draws the screen's into BMPpal
// and hands it over.
int DRAW_PALBAR(unsigned char* buf, int pal, int overlay);
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
// The three views as DISPLAY draws them (model, shadow, dashed lines), in palette
// `pal`, into the caller's 256 x 256 buffers; nothing is drawn before a volume is
// loaded. Only the buffers given change.
int DRAW_VIEWS(unsigned char* hla, unsigned char* vla, unsigned char* sa, int pal);
// Has the system give the views' kept planes (some 1.2 MB, first written at the first
// drawing after a load) their pages, as the volume's are given (plat_give_pages: no value
// changes, so the drawing may run meanwhile).
void VIEW_PLANES_PAGES();

// Polar sector map
int INIT_SECT();

// Apex and ring levels
int EVAL_APEX();
// The apex level EVAL_APEX derives from the current outer ellipsoid and base plane.
int DERIVED_APEX();
int EVAL_SECT();

// Result pictures: the values of RES_DISP, one per result button.
constexpr int RES_BULL = 0;      // "Bull": the bull's-eye
constexpr int RES_SECTORS = 1;   // "Sect. (%)": the sector percentages
constexpr int RES_LATERAL = 2;   // "Latéral": the side view
constexpr int RES_SCORES = 12;   // "Score": the sector scores
int DISPLAY_RES();
// Result picture `picture` (a RES_ code) in palette `pal`, with mark colour `overlay`
// where the picture uses one, drawn into the caller's 400 x 400 buffer; only that
// buffer changes. Before the first evaluation (res_ok 0) nothing is drawn.
int DRAW_RES(unsigned char* buf, int picture, int pal, int overlay);
// The drawing of DISPLAY_RES into BMPres (RES_DISP, palet, couleur), without the
// label texts and the hand-over.
int DRAW_RES();
// The polar map with every sector in a colour of the caller's (red, green, blue; entry 0
// outside the map) and the grid in black, into the caller's 400 x 400 buffer (as DRAW_RES
// draws: blue, green, red, lowest line first). Needs no study.
int DRAW_SECTOR_COLOURS(unsigned char* buf, const unsigned char rgb[18][3]);

#endif

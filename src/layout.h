// The window as the program lays it out: control ids, the client rectangles of
// the pictures and hit areas, the outer frame, and the three templates' contents
// (main window "WIN", letter pop-up "D3WIN", sector label "SECTWIN").
//
// The program, the replay tool, the tests and every back end read this one
// description; a back end builds its windows from the templates below and
// never keeps a copy of its own. No toolkit here.
#ifndef VESMORA_LAYOUT_H
#define VESMORA_LAYOUT_H

#include <iterator>

#include "platform.h"

// --- control ids -----------------------------------------------------------------
enum CtlId : int {
    ID_NONE = 0,  // a label nobody addresses ("Palette", "Couleur")
    ID_VIEW_HLA = 1,  // picture: view 1, horizontal long axis
    ID_VIEW_VLA = 2,  // picture: view 2, vertical long axis
    ID_VIEW_SA = 3,   // picture: view 3, short axis
    ID_PALETTE_PREV = 4,
    ID_PALETTE_NEXT = 5,
    ID_TITLE_HLA = 7,
    ID_TITLE_VLA = 8,
    ID_TITLE_SA = 9,
    ID_OPEN = 10,  // "Ouvrir"
    // Slice steps that the wheel sends (no control carries them): odd down, even up.
    ID_HLA_DOWN = 11,
    ID_HLA_UP = 12,
    ID_VLA_DOWN = 13,
    ID_VLA_UP = 14,
    ID_SA_DOWN = 15,
    ID_SA_UP = 16,
    ID_PLACE_MODEL = 24,  // "Centrer volume"
    ID_BASE_PLANE = 26,   // "P" above view 3
    ID_SHADOW = 36,       // "Ombre", a check box that toggles itself
    ID_COLOUR_PREV = 37,
    ID_COLOUR_NEXT = 38,
    ID_APEX = 39,         // "A" above view 3
    ID_SECT_LABEL = 40,   // the label inside each sector pop-up
    ID_CENTRE_AXES = 41,  // "Centrer axes"
    ID_CENTRE_HLA = 42,   // "C" above view 1
    ID_CENTRE_VLA = 43,   // "C" above view 2
    ID_CENTRE_SA = 44,    // "C" above view 3
    ID_RESULTS = 45,      // "Résultats"
    ID_RES_PICTURE = 46,
    ID_STRIP_VLA = 47,
    ID_STRIP_HLA = 48,
    ID_STRIP_SA = 49,
    ID_HOVER = 51,        // hover text of the results picture
    ID_PATIENT = 54,      // patient block
    ID_SHOW_BULL = 55,
    ID_SHOW_SECTORS = 56,
    ID_SHOW_LATERAL = 57,
    ID_LETTER = 58,       // the label inside each letter pop-up
    ID_SHOW_SCORES = 59,
    ID_PALETTE_BAR = 60,
    ID_HELP = 61,         // "Aide"
    ID_AUTO_PLACE = 62,   // "Placement automatique" (a menu item of the desktop programs; no control)
    ID_STALE_LINE = 63,   // under the results picture: says when the results no longer match the model
    // Menu items of the desktop programs (no control): see commands.h.
    ID_OPEN_PACS = 64,
    ID_PACS_SETTINGS = 65,
    ID_EXPORT_PDF = 66,
    ID_EXPORT_PNG = 67,
    ID_EXPORT_DICOM = 68,
    ID_SEND_PACS = 69,
    ID_SAVE_MODEL = 70,
    ID_LOAD_MODEL = 71,
    ID_QUIT = 72,
    ID_ABOUT = 73,
    // The Examen menu: the stress and rest roles, their comparison and the pair's report.
    ID_ROLE_STRESS = 80,
    ID_ROLE_REST = 81,
    ID_COMPARE_PAIR = 82,
    ID_EXPORT_PAIR = 83,
    ID_FUNCTION = 84,  // "Fonction (synchronisé)...": the gated study's function window
};

// --- client geometry in pixels (top-left of the main window's client area) -----------
constexpr int VIEW_SIDE = 256;
constexpr int VIEW_X0[3] = {23, 294, 563};  // left column of views 1, 2, 3
constexpr int VIEW_Y0 = 50;                 // top row of the three views
// A view pixel at client row y shows volume coordinate VIEW_Y_BASE - y on its vertical axis
// (the lowest row, 305, shows 0: pictures are stored lowest line first).
constexpr int VIEW_Y_BASE = VIEW_Y0 + VIEW_SIDE - 1;  // 305
constexpr int view_coord_of_row(int y) { return VIEW_Y_BASE - y; }
// The client row that shows volume coordinate c: the same subtraction, read the other way.
constexpr int view_row_of_coord(int c) { return VIEW_Y_BASE - c; }
// Hit areas, both bounds included: a view answers over x VIEW_X0..VIEW_HIT_X1, y 50..303.
// The right bounds are the program's own (view 1 and 3 answer over 255 columns, view 2 over 254).
constexpr int VIEW_HIT_X1[3] = {277, 547, 817};
constexpr int VIEW_HIT_Y1 = 303;
constexpr int STRIP_Y0 = 313;  // strips: same columns as their views, 16 rows
constexpr int STRIP_H = 16;
constexpr int STRIP_HIT_Y1 = 328;
constexpr int RES_X0 = 419, RES_Y0 = 338;  // results picture, 400 x 400
constexpr int RES_SIDE = 400;
constexpr int RES_X1 = RES_X0 + RES_SIDE - 1;  // 818
constexpr int RES_Y1 = RES_Y0 + RES_SIDE - 1;  // 737
constexpr int PAL_W = 220, PAL_H = 56;
// The numbers the program has always used: every back end, replay script and golden picture
// depends on them, so an edit of one of them (or of what it is derived from) stops the build.
static_assert(VIEW_X0[0] == 23 && VIEW_X0[1] == 294 && VIEW_X0[2] == 563 && VIEW_Y0 == 50 && VIEW_Y_BASE == 305);
static_assert(VIEW_HIT_X1[0] == 277 && VIEW_HIT_X1[1] == 547 && VIEW_HIT_X1[2] == 817 && VIEW_HIT_Y1 == 303);
static_assert(STRIP_Y0 == 313 && STRIP_HIT_Y1 == 328 && RES_X0 == 419 && RES_Y0 == 338 && RES_X1 == 818 &&
              RES_Y1 == 737);

constexpr bool in_range(int v, int lo, int hi) { return v >= lo && v <= hi; }
// Rows where the three views answer to the mouse (50..303).
constexpr bool in_view_rows(int y) { return in_range(y, VIEW_Y0, VIEW_HIT_Y1); }
// Rows where the three strips answer (313..328).
constexpr bool in_strip_rows(int y) { return in_range(y, STRIP_Y0, STRIP_HIT_Y1); }
// View 1..3 whose columns hold client x (the strips share them), 0 if none.
constexpr int view_at(int x) {
    for (int n = 0; n < 3; n++)
        if (in_range(x, VIEW_X0[n], VIEW_HIT_X1[n])) return n + 1;
    return 0;
}
constexpr bool on_results(int x, int y) { return in_range(x, RES_X0, RES_X1) && in_range(y, RES_Y0, RES_Y1); }
// Pixel of the 400 x 400 result maps under client (x, y): maps count rows from the lowest line.
constexpr int res_map_col(int x) { return x - RES_X0; }
constexpr int res_map_row(int y) { return RES_Y1 - y; }

// --- handles: where a press takes a marker of the model ----------------------------------
// A handle is taken within HANDLE_REACH pixels of its marker, bounds included.
// For a centre marker at volume coordinates (h, v) of view n (h on the horizontal
// axis, v on the vertical one), the window spans columns h + VIEW_X0 - 4 ..
// h + VIEW_X0 + 4 and rows 301 - v .. 309 - v; in view 2 the columns are one
// pixel further right (h + 291 .. h + 299), as the program has always taken them.
constexpr int HANDLE_REACH = 4;
constexpr int CENTRE_HIT_SHIFT[3] = {0, 1, 0};
constexpr int centre_hit_x0(int view, int h) { return h + (VIEW_X0[view - 1] - HANDLE_REACH + CENTRE_HIT_SHIFT[view - 1]); }
constexpr int centre_hit_x1(int view, int h) { return h + (VIEW_X0[view - 1] + HANDLE_REACH + CENTRE_HIT_SHIFT[view - 1]); }
constexpr int handle_hit_y0(int v) { return (VIEW_Y_BASE - HANDLE_REACH) - v; }  // 301 - v
constexpr int handle_hit_y1(int v) { return (VIEW_Y_BASE + HANDLE_REACH) - v; }  // 309 - v
// The base plane: in view 1 the row of plan_i, taken near its two ends only
// (x <= 29 or x >= 271); in view 2 the column of plan_i (plan_i + 290 .. plan_i
// + 298), taken near its ends (y <= 55 or y >= 297).
constexpr int PLANE_END_X0 = VIEW_X0[0] + 6;    // 29
constexpr int PLANE_END_X1 = VIEW_X0[0] + 248;  // 271
constexpr int PLANE_END_Y0 = VIEW_Y0 + 5;       // 55
constexpr int PLANE_END_Y1 = VIEW_Y0 + 247;     // 297
constexpr int plane_hit_x0(int plane) { return plane + (VIEW_X0[1] - HANDLE_REACH); }  // plane + 290
constexpr int plane_hit_x1(int plane) { return plane + (VIEW_X0[1] + HANDLE_REACH); }  // plane + 298
static_assert(PLANE_END_X0 == 29 && PLANE_END_X1 == 271 && PLANE_END_Y0 == 55 && PLANE_END_Y1 == 297);

// --- the main window's outer frame and place ------------------------------------------
// The program takes the frame as 3 pixels at the left and 22 at the top (caption
// included) when it turns a screen point into a client point.
constexpr int FRAME_LEFT = 3, FRAME_TOP = 22;
constexpr int WIN_LEFT = 60, WIN_TOP = 30;       // outer top-left at start-up
constexpr int WIN_WIDTH = 846, WIN_HEIGHT = 776;  // outer size set at start-up
// The client area a back end gives the window: the outer size less the frame,
// the same frame on the right and at the bottom as at the left.
constexpr int CLIENT_WIDTH = WIN_WIDTH - 2 * FRAME_LEFT;               // 840
constexpr int CLIENT_HEIGHT = WIN_HEIGHT - FRAME_TOP - FRAME_LEFT;      // 751
static_assert(FRAME_LEFT == 3 && FRAME_TOP == 22 && WIN_LEFT == 60 && WIN_TOP == 30 && WIN_WIDTH == 846 &&
              WIN_HEIGHT == 776 && CLIENT_WIDTH == 840 && CLIENT_HEIGHT == 751);

// --- pop-ups, in screen pixels from the main window's outer top-left --------------------
constexpr int LETTER_SIZE = 10;                      // letter pop-ups are 10 x 10
constexpr int LETTER_DX[4] = {445, 425, 445, 465};   // "A", "S", "I", "L"
constexpr int LETTER_DY[4] = {535, 555, 575, 555};
constexpr char LETTER_TEXT[4][2] = {"A", "S", "I", "L"};
constexpr int SECT_LABEL_W = 37, SECT_LABEL_H = 15;  // sector label pop-ups
constexpr int SECT_LABEL_DX = 604, SECT_LABEL_DY = 552;  // plus the label's offset (sectposi, sectposj)
// At the start place: "A" (505, 565), "S" (485, 585), "I" (505, 605), "L" (525, 585); sector
// label n at (664 + sectposi[n], 582 + sectposj[n]).
static_assert(WIN_LEFT + LETTER_DX[0] == 505 && WIN_TOP + LETTER_DY[0] == 565 && WIN_LEFT + LETTER_DX[1] == 485 &&
              WIN_TOP + LETTER_DY[1] == 585 && WIN_LEFT + LETTER_DX[2] == 505 && WIN_TOP + LETTER_DY[2] == 605 &&
              WIN_LEFT + LETTER_DX[3] == 525 && WIN_TOP + LETTER_DY[3] == 585 && LETTER_SIZE == 10);
static_assert(WIN_LEFT + SECT_LABEL_DX == 664 && WIN_TOP + SECT_LABEL_DY == 582 && SECT_LABEL_W == 37 &&
              SECT_LABEL_H == 15);

// --- texts that start-up writes into the controls ---------------------------------------------
constexpr const char* VIEW_TITLE[3] = {"Grand Axe Horizontal", "Grand Axe Vertical", "Petit Axe"};
constexpr CtlId VIEW_TITLE_ID[3] = {ID_TITLE_HLA, ID_TITLE_VLA, ID_TITLE_SA};
constexpr const char* PATIENT_START_TEXT = "Infos patient\n";

// Command the wheel sends for view 1..3: one slice down (11, 13, 15) or up (12, 14, 16).
constexpr int slice_step_id(int view, bool up) { return ID_HLA_DOWN + 2 * (view - 1) + (up ? 1 : 0); }

// --- templates ----------------------------------------------------------------------------
enum CtlKind { CTL_PICTURE, CTL_LABEL, CTL_LABEL_RIGHT, CTL_LABEL_CENTRED, CTL_BUTTON, CTL_CHECKBOX };

struct CtlTemplate {
    int id;           // CtlId; ID_NONE for a label nobody addresses
    CtlKind kind;
    int x, y, w, h;   // dialog units; pictures take w and h from their bitmap (0 here)
    const char* text; // Latin-1; the initial text
};

// Dialog units to client pixels: x * 2.25 and y * 2.5, rounded half up. The
// pictures do not use it: their client positions above are the program's own.
constexpr int du_x(int x) { return (x * 9 + 2) / 4; }
constexpr int du_y(int y) { return (y * 5 + 1) / 2; }

inline constexpr CtlTemplate WIN_CONTROLS[] = {
    {ID_VIEW_HLA, CTL_PICTURE, 10, 20, 0, 0, ""},
    {ID_VIEW_VLA, CTL_PICTURE, 130, 20, 0, 0, ""},
    {ID_VIEW_SA, CTL_PICTURE, 250, 20, 0, 0, ""},
    {ID_TITLE_HLA, CTL_LABEL, 10, 9, 70, 10, ""},
    {ID_TITLE_VLA, CTL_LABEL, 130, 9, 70, 10, ""},
    {ID_TITLE_SA, CTL_LABEL, 250, 9, 45, 10, ""},
    {ID_CENTRE_HLA, CTL_BUTTON, 113, 7, 10, 10, "C"},
    {ID_CENTRE_VLA, CTL_BUTTON, 233, 7, 10, 10, "C"},
    {ID_APEX, CTL_BUTTON, 323, 7, 10, 10, "A"},
    {ID_BASE_PLANE, CTL_BUTTON, 338, 7, 10, 10, "P"},
    {ID_CENTRE_SA, CTL_BUTTON, 353, 7, 10, 10, "C"},
    {ID_STRIP_HLA, CTL_PICTURE, 10, 125, 0, 0, ""},
    {ID_STRIP_VLA, CTL_PICTURE, 130, 125, 0, 0, ""},
    {ID_STRIP_SA, CTL_PICTURE, 250, 125, 0, 0, ""},
    {ID_PLACE_MODEL, CTL_BUTTON, 10, 136, 55, 12, "Centrer volume"},
    {ID_CENTRE_AXES, CTL_BUTTON, 68, 136, 55, 12, "Centrer axes"},
    {ID_SHADOW, CTL_CHECKBOX, 136, 137, 40, 10, "Ombre"},
    {ID_OPEN, CTL_BUTTON, 10, 153, 160, 15, "Ouvrir"},
    {ID_NONE, CTL_LABEL, 10, 176, 25, 10, "Palette"},
    {ID_PALETTE_PREV, CTL_BUTTON, 40, 175, 10, 10, "<"},
    {ID_PALETTE_NEXT, CTL_BUTTON, 55, 175, 10, 10, ">"},
    {ID_PALETTE_BAR, CTL_PICTURE, 72, 175, 0, 0, ""},
    {ID_NONE, CTL_LABEL, 10, 189, 25, 10, "Couleur"},
    {ID_COLOUR_PREV, CTL_BUTTON, 40, 188, 10, 10, "<"},
    {ID_COLOUR_NEXT, CTL_BUTTON, 55, 188, 10, 10, ">"},
    {ID_RESULTS, CTL_BUTTON, 10, 205, 160, 15, "R\xE9sultats"},
    {ID_SHOW_BULL, CTL_BUTTON, 10, 222, 40, 13, "Bull"},
    {ID_SHOW_SECTORS, CTL_BUTTON, 50, 222, 40, 13, "Sect. (%)"},
    {ID_SHOW_SCORES, CTL_BUTTON, 90, 222, 40, 13, "Score"},
    {ID_SHOW_LATERAL, CTL_BUTTON, 130, 222, 40, 13, "Lat\xE9ral"},
    {ID_HELP, CTL_BUTTON, 10, 240, 35, 13, "Aide"},
    {ID_HOVER, CTL_LABEL_RIGHT, 50, 240, 120, 20, ""},
    {ID_RES_PICTURE, CTL_PICTURE, 186, 135, 0, 0, ""},
    {ID_PATIENT, CTL_LABEL, 10, 260, 160, 60, ""},
    // Last: the controls above keep their places in a dialog's order. Empty while the results are fresh;
    // right-aligned under the results picture, wide enough for its one line at the window's font.
    {ID_STALE_LINE, CTL_LABEL_RIGHT, 10, 295, 354, 5, ""},
};

inline constexpr CtlTemplate D3WIN_CONTROLS[] = {
    {ID_LETTER, CTL_LABEL_CENTRED, 0, 0, 8, 8, ""},
};

inline constexpr CtlTemplate SECTWIN_CONTROLS[] = {
    {ID_SECT_LABEL, CTL_LABEL_CENTRED, 0, 0, 24, 8, "100 %"},
};

// Window styles, the same for every back end: the main window ("WIN") has a
// caption bar and a system menu, no sizing border, no minimise or maximise box,
// and is not visible on creation; its place and outer size come from start-up
// (WIN_LEFT, WIN_TOP, WIN_WIDTH, WIN_HEIGHT), not from the template. The pop-ups
// ("D3WIN", "SECTWIN") have no caption and a thin border, are owned by the main
// window (in front of it, destroyed with it) and are sized by the shell
// (LETTER_SIZE, SECT_LABEL_W x SECT_LABEL_H). Control kinds: a check box
// toggles itself on a click; labels are left-aligned unless the kind says
// otherwise; pictures let mouse messages through to the main window.
struct WindowTemplate {
    const char* caption;        // Latin-1; empty for the pop-ups, which have none
    const char* font;
    int font_points;
    bool popup;                 // a pop-up: no caption, thin border, owned by the main window
    const CtlTemplate* controls;
    int count;
};

inline constexpr WindowTemplate TEMPLATES[3] = {
    {"  Vesmora", "MS Sans Serif", 12, false, WIN_CONTROLS, static_cast<int>(std::size(WIN_CONTROLS))},
    {"", "Arial", 5, true, D3WIN_CONTROLS, 1},
    {"", "Arial", 8, true, SECTWIN_CONTROLS, 1},
};

inline const WindowTemplate& template_of(PlatTemplate tpl) { return TEMPLATES[tpl]; }

// Client pixel rectangle of a control of the main window: the pictures at the
// program's own client positions with their bitmap's size (views 256 x 256,
// strips 256 x 16, results 400 x 400, bar 220 x 56), the others converted from
// dialog units.
constexpr PlatRect client_rect_of(const CtlTemplate& c) {
    auto r = [](int x, int y, int w, int h) { return PlatRect{x, y, x + w, y + h}; };
    switch (c.id) {
    case ID_VIEW_HLA: return r(VIEW_X0[0], VIEW_Y0, VIEW_SIDE, VIEW_SIDE);
    case ID_VIEW_VLA: return r(VIEW_X0[1], VIEW_Y0, VIEW_SIDE, VIEW_SIDE);
    case ID_VIEW_SA: return r(VIEW_X0[2], VIEW_Y0, VIEW_SIDE, VIEW_SIDE);
    case ID_STRIP_HLA: return r(VIEW_X0[0], STRIP_Y0, VIEW_SIDE, STRIP_H);
    case ID_STRIP_VLA: return r(VIEW_X0[1], STRIP_Y0, VIEW_SIDE, STRIP_H);
    case ID_STRIP_SA: return r(VIEW_X0[2], STRIP_Y0, VIEW_SIDE, STRIP_H);
    case ID_RES_PICTURE: return r(RES_X0, RES_Y0, RES_SIDE, RES_SIDE);
    case ID_PALETTE_BAR: return r(du_x(c.x), du_y(c.y), PAL_W, PAL_H);
    default: return r(du_x(c.x), du_y(c.y), du_x(c.w), du_y(c.h));
    }
}

// The template entry of a main-window control, or null.
constexpr const CtlTemplate* win_control(int id) {
    for (const CtlTemplate& c : WIN_CONTROLS)
        if (c.id == id && id != ID_NONE) return &c;
    return nullptr;
}

// --- what the templates hold beside their controls ----------------------------------
// Resource names of the three templates, in PlatTemplate order, and the program icon.
inline constexpr const char* TEMPLATE_NAME[3] = {"WIN", "D3WIN", "SECTWIN"};
constexpr int PROGRAM_ICON = 1;  // icon resource 1: one 64 x 64 picture, 24 bits per pixel

// Window styles of the templates. None is visible on creation; none has a sizing
// border or a minimise or maximise box. The main window has a caption bar and a
// system menu; the pop-ups have neither, only a thin border.
struct WindowStyle {
    bool caption;      // caption bar (with the window's border)
    bool system_menu;  // system menu on the caption
    bool thin_border;  // a one-pixel border and no caption
};
inline constexpr WindowStyle TEMPLATE_STYLE[3] = {
    {true, true, false},
    {false, false, true},
    {false, false, true},
};

#endif

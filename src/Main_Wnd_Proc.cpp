// Message handlers of the main window (buttons, wheel commands, refresh, move,
// close, mouse) and of the pop-ups.
//
// All geometry is client pixels of the main window: views at x 23, 294, 563 and
// y 50..303 (a view pixel at row y shows coordinate 305 - y), strips at y
// 313..328, the results picture at (419, 338)..(818, 737).
#include "Main_Wnd_Proc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Dicom.h"
#include "Display.h"
#include "Results.h"
#include "layout.h"
#include "main.h"

namespace {

// Hit areas, both bounds included.
bool in(int v, int lo, int hi) { return v >= lo && v <= hi; }

constexpr int VIEW_X0[3] = {23, 294, 563};
constexpr int VIEW_X1[3] = {277, 547, 817};

// View 1..3 under client x (for rows 50..303), 0 if none.
int view_at(int x) {
    for (int n = 0; n < 3; n++)
        if (in(x, VIEW_X0[n], VIEW_X1[n])) return n + 1;
    return 0;
}

bool on_results(int x, int y) { return in(x, 419, 818) && in(y, 338, 737); }

void clear_drag() {
    for (int n = 0; n < 3; n++) lbutt[n] = rbutt[n] = set_centre[n] = set_centri[n] = slide[n] = 0;
    set_plan[0] = set_plan[1] = 0;
    res_rot = 0;
}

void show_sector_labels(int visible) {
    for (int n = 1; n <= 17; n++) plat_show_window(winsect[n], visible);
}

void show_letters(int visible) {
    plat_show_window(d3_A, visible);
    plat_show_window(d3_S, visible);
    plat_show_window(d3_I, visible);
    plat_show_window(d3_L, visible);
}

// Hover formats: sector 1 has one blank before the parenthesis, all others two.
const char* const SECTOR_FORMAT[18] = {
    "",
    "Secteur 1 (Basal - anterior)\nScore %d ( %d",
    "Secteur 2 (Basal - anteroseptal)\nScore %d  ( %d",
    "Secteur 3 (Basal - inferoseptal)\nScore %d  ( %d",
    "Secteur 4 (Basal - inferior)\nScore %d  ( %d",
    "Secteur 5 (Basal - inferolateral)\nScore %d  ( %d",
    "Secteur 6 (Basal - anterolateral)\nScore %d  ( %d",
    "Secteur 7 (Mid - anterior)\nScore %d  ( %d",
    "Secteur 8 (Mid - anteroseptal)\nScore %d  ( %d",
    "Secteur 9 (Mid - inferoseptal)\nScore %d  ( %d",
    "Secteur 10 (Mid - inferior)\nScore %d  ( %d",
    "Secteur 11 (Mid - inferolateral)\nScore %d  ( %d",
    "Secteur 12 (Mid - anterolateral)\nScore %d  ( %d",
    "Secteur 13 (Apical - anterior)\nScore %d  ( %d",
    "Secteur 14 (Apical - septal)\nScore %d  ( %d",
    "Secteur 15 (Apical - inferior)\nScore %d  ( %d",
    "Secteur 16 (Apical - lateral)\nScore %d  ( %d",
    "Secteur 17 (Apex)\nScore %d  ( %d",
};

// ---------------------------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------------------------
// A new study shows no result of the previous one: the results picture black as at
// start-up, the sector labels and the hover text empty (their visibility stays).
void clear_results() {
    std::memset(BMPres, 0, RES_BYTES);
    for (int n = 1; n <= 17; n++) plat_set_dlg_item_text(winsect[n], ID_SECT_LABEL, "");
    plat_set_dlg_item_text(WINDOW, ID_HOVER, "");
}

void redraw_colours() {
    CREATE_PALBMP();
    DISPLAY();
    DISPLAY_RES();
}

void on_command(int id) {
    const bool volume = load_ok == 1;
    const bool model = load_ok == 1 && ell_ok == 1;
    const bool results = res_ok == 1;
    switch (id) {
    case 4:
        palet = palet - 1 < 0 ? 15 : palet - 1;
        redraw_colours();
        break;
    case 5:
        palet = (palet + 1) % 16;
        redraw_colours();
        break;
    case 37:
        couleur = couleur - 1 < 0 ? 5 : couleur - 1;
        redraw_colours();
        break;
    case 38:
        couleur = couleur + 1 > 5 ? 0 : couleur + 1;
        redraw_colours();
        break;
    case ID_OPEN:
        if (LOAD_DCM_FILE() == 1) {
            load_ok = 1;
            clear_results();
            DISPLAY();
            DISPLAY_RES();
        }
        break;
    case 11: case 12: case 13: case 14: case 15: case 16: {
        if (!volume) break;
        int* slice = id <= 12 ? &Nhla : id <= 14 ? &Nvla : &Nsa;
        *slice += (id % 2 == 1) ? -RAP : RAP;
        VERIF_DISP();
        break;
    }
    case 24:
        if (!volume) break;
        if (ell_ok == 0) {  // first centring after a load also places the base plane and the inner centre
            plan_i = Nsa;
            ill_ci = Nsa;
            ill_cj = Nvla;
            ill_ck = Nhla;
        }
        ell_ci = Nsa;
        ell_cj = Nvla;
        ell_ck = Nhla;
        ell_ok = 1;
        EVAL_APEX();
        VERIF_DISP();
        EVAL_APEX();
        DISPLAY();
        break;
    case 41:
        if (!model) break;
        Nsa = ell_ci;
        Nvla = ell_cj;
        Nhla = ell_ck;
        DISPLAY();
        break;
    case 42: case 43: case 44:
        if (!model) break;
        if (id == 42) ell_ck = Nhla;
        if (id == 43) ell_cj = Nvla;
        if (id == 44) ell_ci = Nsa;
        VERIF_DISP();
        EVAL_APEX();
        DISPLAY();
        break;
    case 26:
        if (!volume) break;
        plan_i = Nsa;  // no limit here: the next VERIF_DISP brings it into 12..244
        DISPLAY();
        break;
    case 39:
        if (!model) break;
        apex_i = Nsa;
        Nvla = ell_cj;
        Nhla = ell_ck;
        EVAL_SECT();
        DISPLAY();
        break;
    case 36:
        set_ombre = plat_is_dlg_button_checked(WINDOW, 36) ? 1 : 0;
        plat_send_message(WINDOW, VM_INITDIALOG, 0, 0);
        DISPLAY();
        break;
    case ID_RESULTS:
        // Without a volume and a placed model there is nothing to evaluate: the
        // evaluation would score every sector 4.
        if (!model) {
            MUMS("Ouvrez une \xE9tude et placez le mod\xE8le (\xAB Centrer volume \xBB) avant de calculer les "
                 "r\xE9sultats.");
            break;
        }
        EVAL_RES();
        break;
    case 55:
        if (!results) break;
        RES_DISP = 0;
        show_letters(0);
        show_sector_labels(0);
        DISPLAY_RES();
        break;
    case 56: case 59:
        if (!results) break;
        RES_DISP = id == 56 ? 1 : 12;
        show_letters(0);
        show_sector_labels(1);
        DISPLAY_RES();
        break;
    case 57:
        if (!results) break;
        RES_DISP = 2;
        show_sector_labels(0);
        show_letters(1);
        plat_set_focus(WINDOW);
        DISPLAY_RES();
        break;
    case 61:
        std::snprintf(tmpath, PATH_SIZE, "%sAide.pdf", APP_FOLDER);
        plat_shell_open(WINDOW, tmpath);  // a missing document shows nothing
        break;
    default:
        break;
    }
}

void on_close() {
    std::free(chaine);
    chaine = nullptr;
    std::free(BMPhla);
    BMPhla = nullptr;
    std::free(BMPvla);
    BMPvla = nullptr;
    std::free(BMPsa);
    BMPsa = nullptr;
    plat_post_quit_message(0);
}

// ---------------------------------------------------------------------------------------------
// Mouse
// ---------------------------------------------------------------------------------------------
void on_lbutton_down(int x, int y) {
    clear_drag();
    if (res_ok == 1 && RES_DISP == 2 && on_results(x, y)) {
        res_rot = 1;
        res3D_prev = res3D_ang;
        buttposi = x;
        buttposj = y;
    }
    if (in(y, 313, 328)) {  // strips; a slice can be chosen before any load
        if (in(x, 23, 277)) {
            slide[0] = 1;
            Nhla = x - 23;
            DISPLAY();
        } else if (in(x, 294, 547)) {
            slide[1] = 1;
            Nvla = x - 294;
            DISPLAY();
        } else if (in(x, 563, 817)) {
            slide[2] = 1;
            Nsa = x - 563;
            DISPLAY();
        }
    }
    if (in(y, 50, 303)) {
        // Handles are taken within 4 pixels of the marker; the centre wins over the base plane.
        switch (view_at(x)) {
        case 1:
            lbutt[0] = 1;
            if (in(x, ell_cj + 19, ell_cj + 27) && in(y, 301 - ell_ci, 309 - ell_ci))
                set_centre[0] = 1;
            else if ((x <= 29 || x >= 271) && in(y, 301 - plan_i, 309 - plan_i))
                set_plan[0] = 1;
            break;
        case 2:
            lbutt[1] = 1;
            if (in(x, ell_ci + 291, ell_ci + 299) && in(y, 301 - ell_ck, 309 - ell_ck))
                set_centre[1] = 1;
            else if (in(x, plan_i + 290, plan_i + 298) && (y <= 55 || y >= 297))
                set_plan[1] = 1;
            break;
        case 3:
            lbutt[2] = 1;
            if (in(x, ell_cj + 559, ell_cj + 567) && in(y, 301 - ell_ck, 309 - ell_ck)) set_centre[2] = 1;
            break;
        default:
            break;
        }
        elri_ = ell_ri;
        elrj_ = ell_rj;
        elrk_ = ell_rk;
        buttposi = x;
        buttposj = y;
        DISPLAY();
    }
}

void on_rbutton_down(int x, int y) {
    clear_drag();
    if (in(y, 50, 303)) {
        switch (view_at(x)) {
        case 1:
            rbutt[0] = 1;
            if (in(x, ill_cj + 19, ill_cj + 27) && in(y, 301 - ill_ci, 309 - ill_ci)) set_centri[0] = 1;
            break;
        case 2:
            rbutt[1] = 1;
            if (in(x, ill_ci + 291, ill_ci + 299) && in(y, 301 - ill_ck, 309 - ill_ck)) set_centri[1] = 1;
            break;
        case 3:
            rbutt[2] = 1;
            if (in(x, ill_cj + 559, ill_cj + 567) && in(y, 301 - ill_ck, 309 - ill_ck)) set_centri[2] = 1;
            break;
        default:
            break;
        }
        ilri_ = ill_ri;
        ilrj_ = ill_rj;
        ilrk_ = ill_rk;
        buttposi = x;
        buttposj = y;
        DISPLAY();
    }
}

void hover_text(int x, int y) {
    chaine[0] = 0;
    if (res_ok == 1 && on_results(x, y)) {
        const int u = x - 419;
        const int v = 737 - y;  // maps count rows from the lowest line
        if (RES_DISP == 0) {
            std::snprintf(chaine, CHAINE_SIZE, "Fixation : %d", static_cast<int>(BULL[v * 400 + u] + 0.5));
            std::strcat(chaine, " %");
        } else if (RES_DISP == 1 || RES_DISP == 12) {
            const int m = mesh_sect[v * 400 + u];
            if (m >= 1 && m <= 17) {
                std::snprintf(chaine, CHAINE_SIZE, SECTOR_FORMAT[m], SCORE[m], static_cast<int>(SECTEUR[m] + 0.5));
                std::strcat(chaine, " % )");
            }
        } else if (RES_DISP == 2 && res_rot == 1) {
            res3D_ang = res3D_prev - (y - buttposj) / 5;  // no wrap: DISPLAY_RES takes any multiple
            DISPLAY_RES();
        }
    }
    plat_set_dlg_item_text(WINDOW, 51, chaine);
}

void drag_left(int n, int x, int y) {
    const int dx = x - buttposi, dy = y - buttposj;
    if (set_centre[n - 1]) {
        if (n == 1) {
            ell_ci = 305 - y;
            ell_cj = x - 23;
        } else if (n == 2) {
            ell_ci = x - 294;
            ell_ck = 305 - y;
        } else {
            ell_cj = x - 563;
            ell_ck = 305 - y;
        }
    } else if (n == 1 && set_plan[0]) {
        plan_i = 305 - y;
    } else if (n == 2 && set_plan[1]) {
        plan_i = x - 294;
    } else if (n == 1) {  // semi-axes follow half the travel since the press
        ell_rj = elrj_ + dx / 2;
        ell_ri = elri_ - dy / 2;
    } else if (n == 2) {
        ell_ri = elri_ + dx / 2;
        ell_rk = elrk_ - dy / 2;
    } else {
        ell_rj = elrj_ + dx / 2;
        ell_rk = elrk_ - dy / 2;
    }
    VERIF_DISP();
    EVAL_APEX();
}

void drag_right(int n, int x, int y) {
    const int dx = x - buttposi, dy = y - buttposj;
    if (set_centri[n - 1]) {
        if (n == 1) {
            ill_ci = 305 - y;
            ill_cj = x - 23;
        } else if (n == 2) {
            ill_ci = x - 294;
            ill_ck = 305 - y;
        } else {
            ill_cj = x - 563;
            ill_ck = 305 - y;
        }
    } else if (n == 1) {
        ill_rj = ilrj_ + dx / 2;
        ill_ri = ilri_ - dy / 2;
    } else if (n == 2) {
        ill_ri = ilri_ + dx / 2;
        ill_rk = ilrk_ - dy / 2;
    } else {
        ill_rj = ilrj_ + dx / 2;
        ill_rk = ilrk_ - dy / 2;
    }
    VERIF_DISP();
    EVAL_APEX();
}

void on_mouse_move(int x, int y) {
    hover_text(x, y);

    if (in(y, 313, 328)) {
        if (slide[0] && in(x, 23, 277)) {
            Nhla = x - 23;
            DISPLAY();
        } else if (slide[1] && in(x, 294, 547)) {
            Nvla = x - 294;
            DISPLAY();
        } else if (slide[2] && in(x, 563, 817)) {
            Nsa = x - 563;
            DISPLAY();
        }
    }

    if (load_ok == 1 && in(y, 50, 303)) {
        const int n = view_at(x);
        if (n == 0) return;
        if (lbutt[n - 1])
            drag_left(n, x, y);
        else if (rbutt[n - 1])
            drag_right(n, x, y);
    }
}

void on_wheel(std::uintptr_t wparam, std::intptr_t lparam) {
    const int turn = HI_WORD_SIGNED(wparam);
    PlatRect r;
    plat_get_window_rect(WINDOW, &r);
    const auto lp = static_cast<std::uintptr_t>(lparam);
    // Screen to client with the frame taken as 3 pixels left and 22 on top, as 16-bit numbers.
    const int x = static_cast<std::int16_t>(LO_WORD_SIGNED(lp) - r.left - 3);
    const int y = static_cast<std::int16_t>(HI_WORD_SIGNED(lp) - r.top - 22);
    if (turn == 0) return;

    if (in(y, 50, 303)) {
        const int n = view_at(x);
        if (n != 0) {
            const int id = 9 + 2 * n + (turn > 0 ? 1 : 0);  // 11/12, 13/14, 15/16
            plat_send_message(WINDOW, VM_COMMAND, static_cast<std::uintptr_t>(id), 0);
        }
    }
    if (on_results(x, y)) {
        // C remainder: a value made negative by a drag stays negative.
        res3D_ang = turn > 0 ? (res3D_ang + 1) % 32 : (res3D_ang + 31) % 32;
        DISPLAY_RES();
    }
}

}  // namespace

void PLACE_POPUPS(int left, int top) {
    plat_set_window_pos(d3_A, left + 445, top + 535, 10, 10);
    plat_set_window_pos(d3_S, left + 425, top + 555, 10, 10);
    plat_set_window_pos(d3_I, left + 445, top + 575, 10, 10);
    plat_set_window_pos(d3_L, left + 465, top + 555, 10, 10);
    for (int n = 1; n <= 17; n++)
        plat_set_window_pos(winsect[n], left + 604 + sectposi[n], top + 552 + sectposj[n], 37, 15);
}

std::intptr_t MainWndProc(HWND_ hwnd, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    (void)hwnd;  // every action addresses the main window through WINDOW
    if (WINDOW == nullptr) return 0;  // the creation's own initialisation message changes nothing
    // After the close request the shared text and view buffers are gone: only a
    // further close or destroy (harmless, thanks to the null tests) is taken.
    if (chaine == nullptr && msg != VM_CLOSE && msg != VM_DESTROY) return 0;

    const auto lp = static_cast<std::uintptr_t>(lparam);
    const int x = LO_WORD(lp), y = HI_WORD(lp);
    switch (msg) {
    case VM_INITDIALOG:
        plat_check_dlg_button(WINDOW, 36, set_ombre == 1 ? 1 : 0);
        break;
    case VM_COMMAND:
        on_command(LO_WORD(wparam));
        break;
    case VM_MOVE: {
        PlatRect r;
        plat_get_window_rect(WINDOW, &r);  // not the message's parameters: NullProc sends none
        PLACE_POPUPS(r.left, r.top);
        break;
    }
    case VM_CLOSE:
        on_close();
        break;
    case VM_DESTROY:
        plat_send_message(WINDOW, VM_CLOSE, 0, 0);
        break;
    case VM_LBUTTONDOWN:
        on_lbutton_down(x, y);
        break;
    case VM_RBUTTONDOWN:
        on_rbutton_down(x, y);
        break;
    case VM_LBUTTONUP:
    case VM_RBUTTONUP:
        clear_drag();
        DISPLAY();
        break;
    case VM_MOUSEMOVE:
        on_mouse_move(x, y);
        break;
    case VM_MOUSEWHEEL:
        on_wheel(wparam, lparam);
        break;
    default:
        break;
    }
    return 0;
}

std::intptr_t NullProc(HWND_ hwnd, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    (void)hwnd, (void)wparam, (void)lparam;
    switch (msg) {
    case VM_LBUTTONDOWN:
    case VM_RBUTTONDOWN:
    case VM_LBUTTONDBLCLK:
    case VM_RBUTTONDBLCLK:
        // A click on a pop-up puts every pop-up back beside the main window and gives the focus back.
        plat_send_message(WINDOW, VM_MOVE, 0, 0);
        plat_set_focus(WINDOW);
        break;
    default:
        break;
    }
    return 0;
}

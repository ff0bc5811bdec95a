// Message handlers of the main window (buttons, wheel commands, refresh, move,
// close, mouse) and of the pop-ups.
//
// All geometry is client pixels of the main window, as layout.h names it: the
// views and their hit areas, the strips below them, the results picture and the
// handle windows around the markers of the model.
#include "Main_Wnd_Proc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Auto_Place.h"
#include "Dicom.h"
#include "Display.h"
#include "Gated_Cine.h"
#include "Model_Place.h"
#include "Results.h"
#include "commands.h"
#include "layout.h"
#include "main.h"
#include "remembered.h"
#include "sectors.h"

namespace {

// Hit areas, both bounds included.
constexpr bool in(int v, int lo, int hi) { return in_range(v, lo, hi); }

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

// ---------------------------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------------------------
// A new study shows no result of the previous one: the results picture black as at
// start-up, the sector labels and the hover text empty, and the pop-ups hidden (no empty
// box over the black picture) until "R\xE9sultats" shows them again.
void clear_results() {
    std::memset(BMPres, 0, RES_BYTES);
    for (int n = 1; n <= 17; n++) plat_set_dlg_item_text(winsect[n], ID_SECT_LABEL, "");
    plat_set_dlg_item_text(WINDOW, ID_HOVER, "");
    plat_set_dlg_item_text(WINDOW, ID_STALE_LINE, "");  // what the last study's exports wrote
    show_sector_labels(0);
    show_letters(0);
}

// The pop-ups of the result picture chosen, once there are results.
void show_result_popups() {
    if (res_ok != 1) return;
    show_sector_labels(RES_DISP == RES_SECTORS || RES_DISP == RES_SCORES ? 1 : 0);
    show_letters(RES_DISP == RES_LATERAL ? 1 : 0);
}

// What a study that has just been read changes in the window.
void study_opened() {
    load_ok = 1;
    MODEL_ORIGIN = MODEL_FROM_NONE;  // the new study has no model yet
    MODEL_ORIGIN_FILE[0] = 0;
    clear_results();
    CLOSE_FUNCTION_WINDOW();
    DISPLAY();
    DISPLAY_RES();
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
    case ID_PALETTE_PREV:
        palet = palet - 1 < 0 ? 15 : palet - 1;
        redraw_colours();
        break;
    case ID_PALETTE_NEXT:
        palet = (palet + 1) % 16;
        redraw_colours();
        break;
    case ID_COLOUR_PREV:
        couleur = couleur - 1 < 0 ? 5 : couleur - 1;
        redraw_colours();
        break;
    case ID_COLOUR_NEXT:
        couleur = couleur + 1 > 5 ? 0 : couleur + 1;
        redraw_colours();
        break;
    case ID_OPEN:
        if (LOAD_DCM_FILE() == 1) {  // the dialog, then the file as OPEN_STUDY reads it
            REMEMBER_FOLDER(KEY_OPEN_FOLDER, DCM_PATH, false);
            study_opened();
        }
        break;
    case ID_HLA_DOWN: case ID_HLA_UP: case ID_VLA_DOWN: case ID_VLA_UP: case ID_SA_DOWN: case ID_SA_UP: {
        if (!volume) break;
        int* slice = id <= ID_HLA_UP ? &Nhla : id <= ID_VLA_UP ? &Nvla : &Nsa;
        *slice += (id % 2 == 1) ? -RAP : RAP;  // odd ids step down
        VERIF_DISP();
        break;
    }
    case ID_PLACE_MODEL:
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
        PLACE_MODEL();
        MODEL_PLACED_BY(MODEL_FROM_SLICES, nullptr);
        break;
    case ID_CENTRE_AXES:
        if (!model) break;
        Nsa = ell_ci;
        Nvla = ell_cj;
        Nhla = ell_ck;
        DISPLAY();
        break;
    case ID_CENTRE_HLA: case ID_CENTRE_VLA: case ID_CENTRE_SA:
        if (!model) break;
        if (id == ID_CENTRE_HLA) ell_ck = Nhla;
        if (id == ID_CENTRE_VLA) ell_cj = Nvla;
        if (id == ID_CENTRE_SA) ell_ci = Nsa;
        VERIF_DISP();
        EVAL_APEX();
        DISPLAY();
        break;
    case ID_BASE_PLANE:
        if (!volume) break;
        plan_i = Nsa;  // no limit here: the next VERIF_DISP brings it into 12..244
        // The sector bounds follow the new plane at once, from the apex as it is (one put
        // with "A" stays): "Résultats" then evaluates the model that is drawn.
        if (ell_ok == 1) EVAL_SECT();
        DISPLAY();
        break;
    case ID_APEX:
        if (!model) break;
        APEX_AT(Nsa);
        break;
    case ID_SHADOW:
        set_ombre = plat_is_dlg_button_checked(WINDOW, ID_SHADOW) ? 1 : 0;
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
        {
            // A wall that is not between the two ellipsoids cannot be scored: nothing changes.
            char why[256];
            ModelValues v{};
            MODEL_CURRENT(v);
            if (MODEL_SCORABLE(v, why, sizeof why) != 1) {
                std::snprintf(chaine, CHAINE_SIZE, "Les r\xE9sultats ne peuvent pas \xEAtre calcul\xE9s : %s", why);
                MUMS(chaine);
                break;
            }
        }
        EVAL_RES();
        show_result_popups();
        break;
    case ID_SHOW_BULL:
        if (!results) break;
        RES_DISP = RES_BULL;
        show_letters(0);
        show_sector_labels(0);
        DISPLAY_RES();
        break;
    case ID_SHOW_SECTORS: case ID_SHOW_SCORES:
        if (!results) break;
        RES_DISP = id == ID_SHOW_SECTORS ? RES_SECTORS : RES_SCORES;
        show_letters(0);
        show_sector_labels(1);
        DISPLAY_RES();
        break;
    case ID_SHOW_LATERAL:
        if (!results) break;
        RES_DISP = RES_LATERAL;
        show_sector_labels(0);
        show_letters(1);
        plat_set_focus(WINDOW);
        DISPLAY_RES();
        break;
    case ID_AUTO_PLACE:
        if (!AUTO_PLACE_AVAILABLE()) break;
        // Places and redraws as "Centrer volume" and the drags do, or says why not.
        if (AUTO_PLACE() == 1) MODEL_PLACED_BY(MODEL_FROM_AUTO, nullptr);
        break;
    case ID_HELP:
        std::snprintf(tmpath, PATH_SIZE, "%sAide.pdf", APP_FOLDER);
        plat_shell_open(WINDOW, tmpath);  // a missing document shows nothing
        break;
    default:
        RUN_COMMAND(id);  // the menu items that are no button (commands.h)
        break;
    }
}

void on_close() {
    if (chaine != nullptr) SAVE_SETTINGS();  // once: a second close request finds the buffers gone
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
    if (res_ok == 1 && RES_DISP == RES_LATERAL && on_results(x, y)) {
        res_rot = 1;
        res3D_prev = res3D_ang;
        buttposi = x;
        buttposj = y;
    }
    if (in_strip_rows(y)) {  // strips; a slice can be chosen before any load
        if (in(x, VIEW_X0[0], VIEW_HIT_X1[0])) {
            slide[0] = 1;
            Nhla = x - VIEW_X0[0];
            DISPLAY();
        } else if (in(x, VIEW_X0[1], VIEW_HIT_X1[1])) {
            slide[1] = 1;
            Nvla = x - VIEW_X0[1];
            DISPLAY();
        } else if (in(x, VIEW_X0[2], VIEW_HIT_X1[2])) {
            slide[2] = 1;
            Nsa = x - VIEW_X0[2];
            DISPLAY();
        }
    }
    if (in_view_rows(y)) {
        // Handles are taken within 4 pixels of the marker; the centre wins over the base plane.
        switch (view_at(x)) {
        case 1:
            lbutt[0] = 1;
            if (in(x, centre_hit_x0(1, ell_cj), centre_hit_x1(1, ell_cj)) &&
                in(y, handle_hit_y0(ell_ci), handle_hit_y1(ell_ci)))
                set_centre[0] = 1;
            else if ((x <= PLANE_END_X0 || x >= PLANE_END_X1) && in(y, handle_hit_y0(plan_i), handle_hit_y1(plan_i)))
                set_plan[0] = 1;
            break;
        case 2:
            lbutt[1] = 1;
            if (in(x, centre_hit_x0(2, ell_ci), centre_hit_x1(2, ell_ci)) &&
                in(y, handle_hit_y0(ell_ck), handle_hit_y1(ell_ck)))
                set_centre[1] = 1;
            else if (in(x, plane_hit_x0(plan_i), plane_hit_x1(plan_i)) && (y <= PLANE_END_Y0 || y >= PLANE_END_Y1))
                set_plan[1] = 1;
            break;
        case 3:
            lbutt[2] = 1;
            if (in(x, centre_hit_x0(3, ell_cj), centre_hit_x1(3, ell_cj)) &&
                in(y, handle_hit_y0(ell_ck), handle_hit_y1(ell_ck)))
                set_centre[2] = 1;
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
    if (in_view_rows(y)) {
        switch (view_at(x)) {
        case 1:
            rbutt[0] = 1;
            if (in(x, centre_hit_x0(1, ill_cj), centre_hit_x1(1, ill_cj)) &&
                in(y, handle_hit_y0(ill_ci), handle_hit_y1(ill_ci)))
                set_centri[0] = 1;
            break;
        case 2:
            rbutt[1] = 1;
            if (in(x, centre_hit_x0(2, ill_ci), centre_hit_x1(2, ill_ci)) &&
                in(y, handle_hit_y0(ill_ck), handle_hit_y1(ill_ck)))
                set_centri[1] = 1;
            break;
        case 3:
            rbutt[2] = 1;
            if (in(x, centre_hit_x0(3, ill_cj), centre_hit_x1(3, ill_cj)) &&
                in(y, handle_hit_y0(ill_ck), handle_hit_y1(ill_ck)))
                set_centri[2] = 1;
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
        const int u = res_map_col(x);
        const int v = res_map_row(y);  // maps count rows from the lowest line
        if (RES_DISP == RES_BULL) {
            std::snprintf(chaine, CHAINE_SIZE, "Fixation : %d", static_cast<int>(BULL[v * RES_SIDE + u] + 0.5));
            std::strcat(chaine, " %");
        } else if (RES_DISP == RES_SECTORS || RES_DISP == RES_SCORES) {
            const int m = mesh_sect[v * RES_SIDE + u];
            if (m >= 1 && m <= 17) {
                std::snprintf(chaine, CHAINE_SIZE, SECTOR_FORMAT[m], SCORE[m], static_cast<int>(SECTEUR[m] + 0.5));
                std::strcat(chaine, " % )");
            }
        } else if (RES_DISP == RES_LATERAL && res_rot == 1) {
            res3D_ang = res3D_prev - (y - buttposj) / 5;  // no wrap: DISPLAY_RES takes any multiple
            DISPLAY_RES();
        }
    }
    plat_set_dlg_item_text(WINDOW, ID_HOVER, chaine);
}

void drag_left(int n, int x, int y) {
    const int dx = x - buttposi, dy = y - buttposj;
    if (set_centre[n - 1]) {
        if (n == 1) {
            ell_ci = view_coord_of_row(y);
            ell_cj = x - VIEW_X0[0];
        } else if (n == 2) {
            ell_ci = x - VIEW_X0[1];
            ell_ck = view_coord_of_row(y);
        } else {
            ell_cj = x - VIEW_X0[2];
            ell_ck = view_coord_of_row(y);
        }
    } else if (n == 1 && set_plan[0]) {
        plan_i = view_coord_of_row(y);
    } else if (n == 2 && set_plan[1]) {
        plan_i = x - VIEW_X0[1];
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
            ill_ci = view_coord_of_row(y);
            ill_cj = x - VIEW_X0[0];
        } else if (n == 2) {
            ill_ci = x - VIEW_X0[1];
            ill_ck = view_coord_of_row(y);
        } else {
            ill_cj = x - VIEW_X0[2];
            ill_ck = view_coord_of_row(y);
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

    if (in_strip_rows(y)) {
        if (slide[0] && in(x, VIEW_X0[0], VIEW_HIT_X1[0])) {
            Nhla = x - VIEW_X0[0];
            DISPLAY();
        } else if (slide[1] && in(x, VIEW_X0[1], VIEW_HIT_X1[1])) {
            Nvla = x - VIEW_X0[1];
            DISPLAY();
        } else if (slide[2] && in(x, VIEW_X0[2], VIEW_HIT_X1[2])) {
            Nsa = x - VIEW_X0[2];
            DISPLAY();
        }
    }

    if (load_ok == 1 && in_view_rows(y)) {
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
    const int x = static_cast<std::int16_t>(LO_WORD_SIGNED(lp) - r.left - FRAME_LEFT);
    const int y = static_cast<std::int16_t>(HI_WORD_SIGNED(lp) - r.top - FRAME_TOP);
    if (turn == 0) return;

    if (in_view_rows(y)) {
        const int n = view_at(x);
        if (n != 0) {
            const int id = slice_step_id(n, turn > 0);  // 11/12, 13/14, 15/16
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

int OPEN_STUDY(const char* path) {
    if (WINDOW == nullptr || chaine == nullptr) return 0;
    if (LOAD_DCM_PATH(path) != 1) return 0;
    study_opened();
    UPDATE_STALE_LINE();
    return 1;
}

void POINTER_LEFT() {
    if (WINDOW != nullptr && chaine != nullptr) plat_set_dlg_item_text(WINDOW, ID_HOVER, "");
}

void PLACE_POPUPS(int left, int top) {
    HWND_ letters[4] = {d3_A, d3_S, d3_I, d3_L};
    for (int n = 0; n < 4; n++)
        plat_set_window_pos(letters[n], left + LETTER_DX[n], top + LETTER_DY[n], LETTER_SIZE, LETTER_SIZE);
    for (int n = 1; n <= 17; n++)
        plat_set_window_pos(winsect[n], left + SECT_LABEL_DX + sectposi[n], top + SECT_LABEL_DY + sectposj[n],
                            SECT_LABEL_W, SECT_LABEL_H);
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
        plat_check_dlg_button(WINDOW, ID_SHADOW, set_ombre == 1 ? 1 : 0);
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
    // Whatever the message changed, the line under the results says whether they still hold.
    UPDATE_STALE_LINE();
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

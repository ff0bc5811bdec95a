// Start-up: the program-wide state (state.cpp), then the main window, its
// pop-ups and the first drawing. The message loop belongs to the back end.
#include "main.h"

#include <cstring>
#include <initializer_list>

#include "Display.h"
#include "Main_Wnd_Proc.h"
#include "layout.h"
#include "remembered.h"
#include "volume_pages.h"

int STARTUP() {
    INIT_STATE();
    VOLUME_PAGES_START();  // while the window appears; the first load waits for it

    // The main window: not visible on creation; its own initialisation message
    // comes before WINDOW is stored and so changes nothing.
    WINDOW = plat_create_window(TPL_WIN, nullptr, MainWndProc);
    plat_set_icon(WINDOW);
    plat_show_window(WINDOW, 1);
    plat_set_window_pos(WINDOW, WIN_LEFT, WIN_TOP, WIN_WIDTH, WIN_HEIGHT);
    plat_update_window(WINDOW);

    STATIChla = plat_get_dlg_item(WINDOW, ID_VIEW_HLA);
    STATICvla = plat_get_dlg_item(WINDOW, ID_VIEW_VLA);
    STATICsa = plat_get_dlg_item(WINDOW, ID_VIEW_SA);
    STATICshla = plat_get_dlg_item(WINDOW, ID_STRIP_HLA);
    STATICsvla = plat_get_dlg_item(WINDOW, ID_STRIP_VLA);
    STATICssa = plat_get_dlg_item(WINDOW, ID_STRIP_SA);
    STATICres = plat_get_dlg_item(WINDOW, ID_RES_PICTURE);
    STATICpal = plat_get_dlg_item(WINDOW, ID_PALETTE_BAR);

    plat_send_message(WINDOW, VM_INITDIALOG, 0, 0);  // ticks "Ombre"

    for (int n = 0; n < 3; n++) plat_set_dlg_item_text(WINDOW, VIEW_TITLE_ID[n], VIEW_TITLE[n]);
    std::strcpy(chaine, PATIENT_START_TEXT);
    plat_set_dlg_item_text(WINDOW, ID_PATIENT, chaine);

    // Letter pop-ups, then the sector labels, all placed beside the window at
    // its start place and hidden until a result button shows them.
    HWND_* letters[4] = {&d3_A, &d3_S, &d3_I, &d3_L};
    for (int n = 0; n < 4; n++) {
        *letters[n] = plat_create_window(TPL_D3WIN, WINDOW, NullProc);
        plat_set_dlg_item_text(*letters[n], ID_LETTER, LETTER_TEXT[n]);
        plat_set_window_pos(*letters[n], WIN_LEFT + LETTER_DX[n], WIN_TOP + LETTER_DY[n], LETTER_SIZE, LETTER_SIZE);
    }
    for (HWND_ w : {d3_A, d3_S, d3_I, d3_L}) plat_show_window(w, 0);
    for (int n = 1; n <= 17; n++) {
        winsect[n] = plat_create_window(TPL_SECTWIN, WINDOW, NullProc);
        plat_set_window_pos(winsect[n], WIN_LEFT + SECT_LABEL_DX + sectposi[n], WIN_TOP + SECT_LABEL_DY + sectposj[n],
                            SECT_LABEL_W, SECT_LABEL_H);
        plat_update_window(winsect[n]);
        plat_show_window(winsect[n], 0);
    }

    RESTORE_SETTINGS();  // nothing kept: the start values above stand
    plat_set_focus(WINDOW);
    DISPLAY();
    DISPLAY_RES();
    CREATE_PALBMP();
    return 0;
}

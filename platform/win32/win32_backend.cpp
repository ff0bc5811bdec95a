// Win32 back end of the window services (src/platform.h), and the program's
// entry point WinMain.
//
// Windows are dialogs made from the templates of the resource script that
// make_rc writes from src/layout.h ("WIN", "D3WIN", "SECTWIN"); a window handle
// is the program's handle, a device bitmap its bitmap handle. Messages reach the
// program's handlers as Windows sends them: the program's message numbers and
// packing are the Windows ones.
//
// Commands of the program's table (src/commands.h), built into the menu bar at run time
// with their shortcuts, each enabled as the table says (win32_menu.h decides which):
//  [X] Fichier: Ouvrir (Ctrl+O), Enregistrer le modèle, Charger un modèle, Quitter (Ctrl+Q)
//  [X] Modèle: Placement automatique (Ctrl+M)
//  [X] Examen: Définir comme effort, Définir comme repos, Comparer effort / repos (plat_show_pair,
//      win32_pair.cpp: the pictures and texts the program made), Fonction (synchronisé)
//      (plat_show_function, win32_function.cpp: the cine on a window timer, play / pause, speed)
//  [X] Aide: Aide (F1), À propos de Vesmora
//  [ ] Ouvrir depuis le PACS: missing (no DCMTK in this build)
//  [ ] Archive (PACS): missing (no DCMTK in this build)
//  [ ] Exporter le rapport PDF: missing (the report is drawn with Qt)
//  [ ] Enregistrer les images (PNG): missing (the report is drawn with Qt)
//  [ ] Exporter en DICOM: missing (no DCMTK, no report)
//  [ ] Envoyer les résultats au PACS: missing (no DCMTK, no report)
//  [ ] Exporter le rapport effort / repos: missing (the report is drawn with Qt)
// Also:
//  [X] "vesmora.exe FILE" opens the study once the window is up, through OPEN_STUDY;
//  [X] a dropped study (IS_STUDY_FILE) opens the same way.
//
// Where it takes its own way:
//  - Frame. The program places its window and converts wheel points with a frame
//    of FRAME_LEFT x FRAME_TOP. The window is placed so that its client area stands
//    where that frame puts it, with the layout's client size (the outer size asked
//    for is not used), and its rectangle is reported as the client area grown by
//    that frame, whatever frame and menu bar the system draws (win32_geometry.h).
//  - Controls stand at the client rectangles of src/layout.h in pixels, whatever
//    the dialog units of the template's font come to on this system. A pop-up's
//    label fills its pop-up.
//  - The shell gets paths with '\' separators.
//  - The message loop translates the menu's shortcuts before dispatching; it
//    still gives the window no dialog keyboard handling (Tab and the arrows do
//    not move between controls).
//  - Texts go to the system as they are, through the "A" calls: the program's
//    Windows-1252 texts show as such where the system's ANSI code page is 1252.
//  - The manifest asks for the version-6 controls (the system's look) and no
//    DPI awareness: above 100 % the system scales the whole window, pictures included.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../give_pages.h"
#include "Main_Wnd_Proc.h"
#include "Pair_Roles.h"
#include "commands.h"
#include "layout.h"
#include "main.h"
#include "model_file.h"
#include "win32_geometry.h"
#include "win32_menu.h"

static_assert(sizeof(BitmapDesc) == sizeof(BITMAPINFOHEADER), "the program's description is a BITMAPINFOHEADER");
static_assert(offsetof(BitmapDesc, biSizeImage) == offsetof(BITMAPINFOHEADER, biSizeImage), "same fields");
static_assert(VM_MOUSEWHEEL == WM_MOUSEWHEEL && VM_COMMAND == WM_COMMAND && VM_INITDIALOG == WM_INITDIALOG &&
                  VM_MOVE == WM_MOVE && VM_CLOSE == WM_CLOSE && VM_DESTROY == WM_DESTROY &&
                  VM_LBUTTONDOWN == WM_LBUTTONDOWN && VM_RBUTTONDBLCLK == WM_RBUTTONDBLCLK && VM_APP == WM_APP,
              "the program's message numbers are the Windows ones");

namespace {

// Posted to the main window: open the study named on the command line.
constexpr UINT MSG_OPEN_ARGUMENT = WM_APP + 0x3F00;

struct Backend {
    HINSTANCE instance = nullptr;
    HWND main = nullptr;
    HACCEL accelerators = nullptr;
    std::string argument;  // the study named on the command line
};

Backend& be() {
    static Backend b;
    return b;
}

HWND win(HWND_ h) { return reinterpret_cast<HWND>(h); }
HWND_ plat(HWND h) { return reinterpret_cast<HWND_>(h); }

win32::Frame measured_frame(HWND h) {
    RECT outer, client;
    GetWindowRect(h, &outer);
    GetClientRect(h, &client);
    POINT origin{0, 0};
    ClientToScreen(h, &origin);
    return win32::frame_of(PlatRect{outer.left, outer.top, outer.right, outer.bottom}, origin.x, origin.y,
                           client.right, client.bottom);
}

// The main window's controls at the layout's client rectangles. A dialog's
// controls stand in the order of its template, the unaddressed labels included.
void place_controls(HWND h) {
    HWND ctl = GetWindow(h, GW_CHILD);
    for (int i = 0; i < template_of(TPL_WIN).count && ctl != nullptr; i++, ctl = GetWindow(ctl, GW_HWNDNEXT)) {
        const PlatRect r = client_rect_of(WIN_CONTROLS[i]);
        SetWindowPos(ctl, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void add_menu(HWND h) {
    HMENU menus[MENU_COUNT] = {};
    std::vector<ACCEL> keys;
    for (int n = 0; n < COMMAND_COUNT; n++) {
        const Command& c = COMMANDS[n];
        if (!win32::offers(c)) continue;
        if (menus[c.menu] == nullptr) menus[c.menu] = CreatePopupMenu();
        if (c.separator_before && GetMenuItemCount(menus[c.menu]) > 0) AppendMenuA(menus[c.menu], MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menus[c.menu], MF_STRING, static_cast<UINT_PTR>(c.id), win32::menu_text(c).c_str());
        const auto id = static_cast<WORD>(c.id);
        if (c.function_key > 0)
            keys.push_back(ACCEL{FVIRTKEY, static_cast<WORD>(VK_F1 + c.function_key - 1), id});
        else if (c.key != 0)
            keys.push_back(ACCEL{static_cast<BYTE>(FVIRTKEY | (c.ctrl ? FCONTROL : 0)), static_cast<WORD>(c.key), id});
    }
    HMENU bar = CreateMenu();
    for (int m = 0; m < MENU_COUNT; m++)
        if (menus[m] != nullptr) AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menus[m]), MENU_LABEL[m]);
    SetMenu(h, bar);
    be().accelerators = CreateAcceleratorTableA(keys.data(), static_cast<int>(keys.size()));
}

// The items of a menu about to open, as the program's table allows them now.
void enable_items(HMENU menu) {
    for (int n = 0; n < COMMAND_COUNT; n++)
        if (win32::offers(COMMANDS[n])) {
            const UINT id = static_cast<UINT>(COMMANDS[n].id);
            const std::string label = COMMAND_LABEL_NOW(COMMANDS[n].id);  // " (suggéré)" on a role
            if (label != COMMANDS[n].label || id == ID_ROLE_STRESS || id == ID_ROLE_REST)
                ModifyMenuA(menu, id, MF_BYCOMMAND | MF_STRING, id, label.c_str());
            EnableMenuItem(menu, id, MF_BYCOMMAND | (COMMANDS[n].available() == 1 ? MF_ENABLED : MF_GRAYED));
        }
}

// The command hook that asks a path: the system's dialogs ("" when cancelled).
std::string ask_path(AskKind kind, const char* title, const char* filter, const std::string& suggested) {
    static char chosen[32768];
    chosen[0] = 0;
    if (kind == ASK_FOLDER) return plat_browse_folder(title, chosen) == 1 ? chosen : "";
    // "Name (*.ext)" gives the filter name, zero, "*.ext", zero, zero.
    std::string name = filter, pattern = "*.*";
    const std::size_t open = name.rfind('('), close = name.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open)
        pattern = name.substr(open + 1, close - open - 1);
    const std::string filters = name + '\0' + pattern + '\0' + '\0';
    const bool save = kind == ASK_SAVE_FILE;
    if (save) {
        std::snprintf(chosen, sizeof chosen, "%s", suggested.c_str());
        win32::to_backslashes(chosen);
    }
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = be().main;
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = chosen;
    ofn.nMaxFile = sizeof chosen;
    ofn.lpstrDefExt = pattern.size() > 2 ? pattern.c_str() + 2 : nullptr;
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    return ok ? chosen : "";
}

// Opens a study named on the command line or dropped, as "Ouvrir" opens the dialog's answer.
void open_study(const char* path) {
    if (be().main == nullptr) return;
    char full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    OPEN_STUDY(n > 0 && n < sizeof full ? full : path);
}

void dropped(HDROP drop) {
    std::string path;
    if (DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
        const UINT n = DragQueryFileA(drop, 0, nullptr, 0);
        path.resize(n + 1);
        DragQueryFileA(drop, 0, path.data(), n + 1);
        path.resize(n);
    }
    DragFinish(drop);
    if (!path.empty() && IS_STUDY_FILE(path.c_str())) open_study(path.c_str());
}

// The dialog procedure of every window: the program's handler (stored at
// creation) gets each message as it comes; what it returns goes back to the
// standard dialog handling (0: that handling runs too).
INT_PTR CALLBACK dialog_proc(HWND h, UINT msg, WPARAM wparam, LPARAM lparam) {
    // The first initialisation message (from CreateDialogParamA) brings the handler;
    // the program sends the same message later as a refresh, with lparam 0.
    if (msg == WM_INITDIALOG && GetWindowLongPtrA(h, DWLP_USER) == 0) SetWindowLongPtrA(h, DWLP_USER, lparam);
    auto proc = reinterpret_cast<WNDPROC_>(GetWindowLongPtrA(h, DWLP_USER));
    if (proc == nullptr) return FALSE;
    if (h == be().main) {
        switch (msg) {
        case WM_INITMENUPOPUP:
            enable_items(reinterpret_cast<HMENU>(wparam));
            break;
        case WM_DROPFILES:
            dropped(reinterpret_cast<HDROP>(wparam));
            return TRUE;
        case MSG_OPEN_ARGUMENT:
            open_study(be().argument.c_str());
            return TRUE;
        case WM_MOUSEMOVE: {  // asks for WM_MOUSELEAVE once the pointer goes; the move itself goes on
            TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, h, 0};
            TrackMouseEvent(&track);
            break;
        }
        case WM_MOUSELEAVE:
            POINTER_LEFT();
            return TRUE;
        default:
            break;
        }
    }
    // WM_INITDIALOG carries the handler itself in lparam; the program is given 0.
    return proc(plat(h), msg, wparam, msg == WM_INITDIALOG ? 0 : lparam);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Windows and controls
// ---------------------------------------------------------------------------------------------
HWND_ plat_create_window(PlatTemplate tpl, HWND_ owner, WNDPROC_ proc) {
    HWND h = CreateDialogParamA(be().instance, TEMPLATE_NAME[tpl], win(owner), dialog_proc,
                                reinterpret_cast<LPARAM>(proc));
    if (h == nullptr) return nullptr;
    if (tpl == TPL_WIN && be().main == nullptr) {
        be().main = h;
        add_menu(h);
        DragAcceptFiles(h, TRUE);
    }
    if (tpl == TPL_WIN) place_controls(h);
    return plat(h);
}

HWND_ plat_get_dlg_item(HWND_ window, int id) { return plat(GetDlgItem(win(window), id)); }

namespace {

// A sector label gets the largest Arial, from the template's 8 points (11 pixels) down, in which its text
// fits its box on one line (a sector label "[17]  4" in 37 x 15 would wrap and be clipped
// in the dialog font). The fonts are made once and kept for the program's life.
void fit_popup_label(HWND label, const char* text) {
    static HFONT fonts[12] = {};
    RECT box;
    if (label == nullptr || !GetClientRect(label, &box)) return;
    HDC dc = GetDC(label);
    if (dc == nullptr) return;
    HFONT chosen = nullptr;
    for (int px = 11; px >= 6; px--) {
        if (fonts[px] == nullptr)
            fonts[px] = CreateFontA(-px, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
        if (fonts[px] == nullptr) continue;
        chosen = fonts[px];
        HGDIOBJ old = SelectObject(dc, fonts[px]);
        SIZE size{};
        const bool measured = GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size) != 0;
        TEXTMETRICA tm{};
        GetTextMetricsA(dc, &tm);
        SelectObject(dc, old);
        if (measured && size.cx <= box.right && tm.tmHeight <= box.bottom + 2) break;
    }
    ReleaseDC(label, dc);
    if (chosen != nullptr) SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), FALSE);
}

}  // namespace

void plat_set_dlg_item_text(HWND_ window, int id, const char* text) {
    HWND hw = win(window);
    if (hw != nullptr && hw != be().main && id == ID_SECT_LABEL && text != nullptr) fit_popup_label(GetDlgItem(hw, id), text);
    SetDlgItemTextA(hw, id, text);
}

void plat_set_window_text(HWND_ window, const char* text) { SetWindowTextA(win(window), text); }

void plat_check_dlg_button(HWND_ window, int id, int checked) {
    CheckDlgButton(win(window), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

int plat_is_dlg_button_checked(HWND_ window, int id) {
    return IsDlgButtonChecked(win(window), id) == BST_CHECKED ? 1 : 0;
}

void plat_show_window(HWND_ window, int visible) {
    if (window == nullptr) return;
    // The pop-ups never take the activation from the main window.
    const bool main = win(window) == be().main;
    ShowWindow(win(window), !visible ? SW_HIDE : main ? SW_SHOW : SW_SHOWNOACTIVATE);
}

void plat_set_window_pos(HWND_ window, int x, int y, int w, int h) {
    if (window == nullptr) return;
    HWND hw = win(window);
    if (hw != be().main) {
        SetWindowPos(hw, HWND_NOTOPMOST, x, y, w, h, SWP_NOACTIVATE);
        // The pop-up's one label fills it.
        RECT client;
        GetClientRect(hw, &client);
        if (HWND label = GetWindow(hw, GW_CHILD))
            SetWindowPos(label, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    // A place on no monitor (a kept place, a screen unplugged since) becomes the primary one's corner.
    const POINT corner{x + 40, y + 10};
    if (MonitorFromPoint(corner, MONITOR_DEFAULTTONULL) == nullptr) x = y = 0;
    // Twice: the first pass may start from a window too narrow for its menu bar
    // on one line, which the second measures again.
    for (int pass = 0; pass < 2; pass++) {
        const PlatRect r = win32::outer_rect_for(x, y, measured_frame(hw));
        SetWindowPos(hw, HWND_NOTOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
    }
}

void plat_get_window_rect(HWND_ window, PlatRect* rect) {
    if (rect == nullptr) return;
    HWND hw = win(window);
    if (hw != nullptr && hw == be().main) {
        POINT origin{0, 0};
        ClientToScreen(hw, &origin);
        *rect = win32::reported_rect(origin.x, origin.y);
        return;
    }
    RECT r{0, 0, 0, 0};
    if (hw != nullptr) GetWindowRect(hw, &r);
    *rect = PlatRect{r.left, r.top, r.right, r.bottom};
}

void plat_update_window(HWND_ window) { UpdateWindow(win(window)); }

void plat_set_icon(HWND_ window) {
    HICON big = LoadIconA(be().instance, MAKEINTRESOURCEA(PROGRAM_ICON));
    auto small = static_cast<HICON>(LoadImageA(be().instance, MAKEINTRESOURCEA(PROGRAM_ICON), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageA(win(window), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageA(win(window), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small ? small : big));
}

void plat_set_focus(HWND_ window) { SetFocus(win(window)); }

// The wait cursor holds while no message is handled (the measure runs on this thread); the
// cursor before it is put back when the last call ends.
void plat_busy(int on) {
    static int depth = 0;
    static HCURSOR before = nullptr;
    if (on) {
        if (depth++ == 0) before = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    } else if (depth > 0 && --depth == 0) {
        SetCursor(before);
    }
}

std::intptr_t plat_send_message(HWND_ window, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    return SendMessageA(win(window), msg, wparam, lparam);
}

void plat_post_quit_message(int code) { PostQuitMessage(code); }

void plat_post_message(HWND_ window, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    PostMessageA(win(window), msg, wparam, lparam);
}

// ---------------------------------------------------------------------------------------------
// Pictures
// ---------------------------------------------------------------------------------------------
HBMP_ plat_create_bitmap(HWND_ window, const BitmapDesc* desc, const unsigned char* pixels) {
    HDC dc = GetDC(win(window));
    auto header = reinterpret_cast<const BITMAPINFOHEADER*>(desc);
    HBITMAP b = CreateDIBitmap(dc, header, CBM_INIT, pixels, reinterpret_cast<const BITMAPINFO*>(desc), DIB_RGB_COLORS);
    ReleaseDC(win(window), dc);
    return reinterpret_cast<HBMP_>(b);
}

void plat_delete_bitmap(HBMP_ bmp) {
    if (bmp != nullptr) DeleteObject(reinterpret_cast<HBITMAP>(bmp));
}

void plat_set_image(HWND_ control, HBMP_ bmp) {
    // The program deletes the bitmap it gave last. A static control of the version-6
    // controls keeps a copy of a bitmap with nonzero alpha instead of the bitmap
    // itself and hands the copy back here: that copy is deleted here.
    static const char* const GIVEN = "vesmora.image";
    HWND c = win(control);
    auto old = reinterpret_cast<HBITMAP>(SendMessageA(c, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bmp)));
    if (old != nullptr && old != static_cast<HBITMAP>(GetPropA(c, GIVEN))) DeleteObject(old);
    SetPropA(c, GIVEN, reinterpret_cast<HANDLE>(bmp));
}

// ---------------------------------------------------------------------------------------------
// Modal boxes and shell services
// ---------------------------------------------------------------------------------------------
int plat_message_box(HWND_ owner, const char* text, const char* title, PlatIcon icon) {
    return MessageBoxA(win(owner), text, title, MB_OK | (icon == ICON_WARNING ? MB_ICONWARNING : MB_ICONINFORMATION));
}

int plat_confirm_box(HWND_ owner, const char* text, const char* title) {
    // "Non" is the default button: the safe answer.
    return MessageBoxA(win(owner), text, title, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES ? 1 : 0;
}

// This build reads no DICOMDIR (it has no DICOM library), so no series list reaches a chooser:
// should one, the box says where CDs are read.
int plat_choose_item(HWND_ owner, const char* title, const char* prompt, const char* const* items, int count) {
    (void)prompt, (void)items, (void)count;
    MessageBoxA(win(owner),
                "Le choix d'une s\xE9rie sur un CD (DICOMDIR) demande la version Linux de Vesmora.",
                title, MB_OK | MB_ICONWARNING);
    return -1;
}

int plat_open_file_dialog(HWND_ owner, const char* title, const char* filter_name, const char* filter_pattern,
                          char* path, int path_size) {
    // The filter: name, zero, pattern, zero, zero.
    std::string filter = std::string(filter_name) + '\0' + filter_pattern + '\0' + '\0';
    // A buffer that takes any path, so that a long one is refused rather than cut.
    static char chosen[32768];
    chosen[0] = 0;
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = win(owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = chosen;
    ofn.nMaxFile = sizeof chosen;
    ofn.lpstrTitle = title;
    char kept[MAX_PATH];  // the folder the program kept from the last "Ouvrir", if any
    if (plat_load_setting("dossier_ouvrir", kept, sizeof kept) == 1) {
        win32::to_backslashes(kept);
        ofn.lpstrInitialDir = kept;
    }
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!GetOpenFileNameA(&ofn)) {
        if (path_size > 0) path[0] = 0;
        return 0;
    }
    return win32::hand_over_path(chosen, path, path_size);
}

int plat_browse_folder(const char* title, char* path) {
    char name[MAX_PATH] = {};
    BROWSEINFOA bi{};
    bi.hwndOwner = GetActiveWindow();
    bi.pszDisplayName = name;
    bi.lpszTitle = title;
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    LPITEMIDLIST item = SHBrowseForFolderA(&bi);
    if (item == nullptr) return 0;
    const BOOL ok = SHGetPathFromIDListA(item, path);  // MAX_PATH = 260 bytes
    CoTaskMemFree(item);
    return ok ? 1 : 0;
}

void plat_shell_open(HWND_ parent, const char* path) {
    char shell_path[MAX_PATH * 4];
    std::snprintf(shell_path, sizeof shell_path, "%s", path);
    win32::to_backslashes(shell_path);
    ShellExecuteA(win(parent), "open", shell_path, nullptr, nullptr, SW_SHOWNORMAL);
}

int plat_module_file_name(char* buf, int size) {
    if (size <= 0) return 0;
    const DWORD n = GetModuleFileNameA(nullptr, buf, static_cast<DWORD>(size));
    if (n >= static_cast<DWORD>(size)) buf[size - 1] = 0;  // cut: XP and later do not end it
    return static_cast<int>(std::strlen(buf));
}

// ---------------------------------------------------------------------------------------------
// Remembered settings: text values under HKEY_CURRENT_USER\Software\Vesmora.
// ---------------------------------------------------------------------------------------------
int plat_load_setting(const char* name, char* value, int size) {
    if (size <= 0) return 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Vesmora", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
    DWORD type = 0, bytes = static_cast<DWORD>(size - 1);  // room for a zero the store may lack
    const LONG read = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ) return 0;
    value[bytes] = 0;
    return 1;
}

void plat_save_setting(const char* name, const char* value) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vesmora", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    const char* text = value ? value : "";
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
}

// ---------------------------------------------------------------------------------------------
// Entry point: start-up, the study named on the command line, the message loop.
// ---------------------------------------------------------------------------------------------
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    be().instance = instance;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the folder picker's new style needs it
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};  // the manifest's look; the trackbar
    InitCommonControlsEx(&controls);

    command_hooks.ask_path = ask_path;
    command_hooks.write_model = write_model_file;
    command_hooks.read_model = read_model_file_for_study;
    STARTUP();
    if (__argc > 1 && be().main != nullptr) {
        be().argument = __argv[1];
        PostMessageA(be().main, MSG_OPEN_ARGUMENT, 0, 0);  // once the window is up
    }

    // No dialog keyboard handling: Tab and the arrows do not move between controls.
    MSG m;
    int got;
    while ((got = GetMessageA(&m, nullptr, 0, 0)) > 0) {
        message = PlatMsg{plat(m.hwnd), m.message, m.wParam, m.lParam};
        if (be().accelerators != nullptr && be().main != nullptr &&
            TranslateAcceleratorA(be().main, be().accelerators, &m))
            continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return got == 0 ? static_cast<int>(m.wParam) : 0;
}

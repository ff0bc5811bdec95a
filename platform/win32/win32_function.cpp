// The function window of the Windows program (plat_show_function): a plain window that paints the
// program's cine (the three views of one gate, then the next at each tick of a window timer), the
// gate's caption, the volume curve and the texts, all as the program made them; a "Pause" /
// "Lecture" button and a trackbar for the speed in images per second. One window, kept and
// refilled; closing it hides it and stops the timer. Painted through a memory bitmap, so the
// cine does not flicker.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "platform.h"

namespace {

constexpr int SIDE = 256, GAP = 16, CAPTION_H = 20, CONTROLS_H = 30, CURVE_W = 400, TEXT_W = 470, TEXT_H = 300;
constexpr int SPEED_MIN = 1, SPEED_MAX = 30;  // the range platform.h gives
constexpr int ID_PLAY = 1, ID_SPEED = 2, TIMER_CINE = 1;
// Wide enough for the text's lines (the 58 characters of the fixed font the program breaks them
// to, `text_columns`) beside the curve.
constexpr int CLIENT_W = GAP + CURVE_W + GAP + TEXT_W + GAP;
static_assert(CLIENT_W >= 3 * SIDE + 4 * GAP, "the three views fit");
constexpr int CONTROLS_Y = GAP + CAPTION_H + SIDE + GAP;
constexpr int BELOW_Y = CONTROLS_Y + CONTROLS_H + GAP;

struct FunctionWindow {
    HWND hwnd = nullptr, play = nullptr, speed = nullptr;
    std::string title, captions[3], text;
    std::vector<std::string> gate_captions;
    std::vector<unsigned char> frames, curve;
    int curve_w = 0, curve_h = 0, gates = 0, shown = 0, flagged = 0, images_per_second = 8;
    bool playing = false;
};

FunctionWindow& fw() {
    static FunctionWindow w;
    return w;
}

BITMAPINFO info_of(int w, int h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;  // lowest line first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    return bi;
}

void set_playing(bool on) {
    FunctionWindow& w = fw();
    w.playing = on && w.gates > 1;
    KillTimer(w.hwnd, TIMER_CINE);
    if (w.playing) SetTimer(w.hwnd, TIMER_CINE, 1000 / w.images_per_second, nullptr);
    SetWindowTextA(w.play, w.playing ? "Pause" : "Lecture");
}

void paint(HWND h) {
    const FunctionWindow& w = fw();
    PAINTSTRUCT ps;
    HDC screen = BeginPaint(h, &ps);
    RECT client;
    GetClientRect(h, &client);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old_bitmap = SelectObject(dc, canvas);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));

    const BITMAPINFO view_info = info_of(SIDE, SIDE);
    for (int k = 0; k < 3; k++) {
        const int x = GAP + k * (SIDE + GAP);
        RECT cap{x, GAP, x + SIDE, GAP + CAPTION_H};
        DrawTextA(dc, w.captions[k].c_str(), -1, &cap, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (w.shown < w.gates)
            StretchDIBits(dc, x, GAP + CAPTION_H, SIDE, SIDE, 0, 0, SIDE, SIDE,
                          w.frames.data() + (static_cast<std::size_t>(w.shown) * 3 + k) * SIDE * SIDE * 3, &view_info,
                          DIB_RGB_COLORS, SRCCOPY);
    }
    // The gate's caption right of the button, the trackbar and its value.
    char speed[40];
    wsprintfA(speed, "%d images/s", w.images_per_second);
    RECT speed_text{GAP + 90 + 8 + 60 + 160 + 4, CONTROLS_Y, GAP + 90 + 8 + 60 + 160 + 84, CONTROLS_Y + CONTROLS_H};
    DrawTextA(dc, speed, -1, &speed_text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    RECT label{GAP + 90 + 8, CONTROLS_Y, GAP + 90 + 8 + 60, CONTROLS_Y + CONTROLS_H};
    DrawTextA(dc, "Vitesse :", -1, &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (w.shown < static_cast<int>(w.gate_captions.size())) {
        RECT gate{speed_text.right + GAP, CONTROLS_Y, CLIENT_W - GAP, CONTROLS_Y + CONTROLS_H};
        DrawTextA(dc, w.gate_captions[w.shown].c_str(), -1, &gate, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (!w.curve.empty()) {
        const BITMAPINFO curve_info = info_of(w.curve_w, w.curve_h);
        StretchDIBits(dc, GAP, BELOW_Y, w.curve_w, w.curve_h, 0, 0, w.curve_w, w.curve_h, w.curve.data(), &curve_info,
                      DIB_RGB_COLORS, SRCCOPY);
    }
    SelectObject(dc, GetStockObject(ANSI_FIXED_FONT));
    SetTextColor(dc, w.flagged ? RGB(176, 0, 0) : GetSysColor(COLOR_WINDOWTEXT));
    RECT text{CLIENT_W - GAP - TEXT_W, BELOW_Y, CLIENT_W - GAP, BELOW_Y + TEXT_H};
    DrawTextA(dc, w.text.c_str(), -1, &text, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK | DT_EXPANDTABS);

    BitBlt(screen, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, old_font);
    SelectObject(dc, old_bitmap);
    DeleteObject(canvas);
    DeleteDC(dc);
    EndPaint(h, &ps);
}

LRESULT CALLBACK function_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    FunctionWindow& w = fw();
    switch (msg) {
    case WM_PAINT:
        paint(h);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
    case WM_TIMER:
        if (wp == TIMER_CINE && w.gates > 0) {
            w.shown = (w.shown + 1) % w.gates;
            InvalidateRect(h, nullptr, FALSE);
        }
        return 0;
    case WM_COMMAND:
        if (LOWORD(wp) == ID_PLAY) set_playing(!w.playing);
        return 0;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lp) == w.speed) {
            w.images_per_second = static_cast<int>(SendMessageA(w.speed, TBM_GETPOS, 0, 0));
            if (w.playing) set_playing(true);
            InvalidateRect(h, nullptr, FALSE);
        }
        return 0;
    case WM_CLOSE:
        set_playing(false);
        ShowWindow(h, SW_HIDE);
        return 0;
    case WM_DESTROY:
        w.hwnd = w.play = w.speed = nullptr;
        return 0;
    default:
        return DefWindowProcA(h, msg, wp, lp);
    }
}

bool make_window(HWND owner) {
    FunctionWindow& w = fw();
    static bool registered = false;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = function_proc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = "VesmoraFunction";
        registered = RegisterClassA(&wc) != 0;
    }
    RECT r{0, 0, CLIENT_W, BELOW_Y + TEXT_H + GAP};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    w.hwnd = CreateWindowA("VesmoraFunction", "", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                           r.right - r.left, r.bottom - r.top, owner, nullptr, instance, nullptr);
    if (w.hwnd == nullptr) return false;
    w.play = CreateWindowA("BUTTON", "Pause", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, GAP, CONTROLS_Y + 2, 90, 26, w.hwnd,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_PLAY)), instance, nullptr);
    w.speed = CreateWindowA(TRACKBAR_CLASSA, "", WS_CHILD | WS_VISIBLE | TBS_HORZ | TBS_AUTOTICKS,
                            GAP + 90 + 8 + 60, CONTROLS_Y + 2, 160, 26, w.hwnd,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_SPEED)), instance, nullptr);
    SendMessageA(w.play, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    SendMessageA(w.speed, TBM_SETRANGE, TRUE, MAKELPARAM(SPEED_MIN, SPEED_MAX));
    SendMessageA(w.speed, TBM_SETTICFREQ, 5, 0);
    return true;
}

}  // namespace

void plat_show_function(HWND_ owner, const PlatFunctionView* v) {
    FunctionWindow& w = fw();
    if (v == nullptr) {  // another study: the window goes with the one it showed
        if (w.hwnd != nullptr) SendMessageA(w.hwnd, WM_CLOSE, 0, 0);
        return;
    }
    w.title = v->title ? v->title : "";
    w.text = v->text ? v->text : "";
    for (int k = 0; k < 3; k++) w.captions[k] = v->captions[k] ? v->captions[k] : "";
    w.gates = v->frames != nullptr && v->gates > 0 ? v->gates : 0;
    w.frames.assign(v->frames, v->frames + static_cast<std::size_t>(w.gates) * 3 * SIDE * SIDE * 3);
    w.gate_captions.clear();
    for (int g = 0; g < w.gates; g++)
        w.gate_captions.emplace_back(v->gate_captions && v->gate_captions[g] ? v->gate_captions[g] : "");
    w.curve_w = v->curve ? v->curve_width : 0;
    w.curve_h = v->curve ? v->curve_height : 0;
    w.curve.assign(v->curve, v->curve + static_cast<std::size_t>(w.curve_w) * w.curve_h * 3);
    w.flagged = v->flagged;
    w.images_per_second = v->speed < SPEED_MIN ? SPEED_MIN : v->speed > SPEED_MAX ? SPEED_MAX : v->speed;
    w.shown = 0;
    if (w.hwnd == nullptr && !make_window(reinterpret_cast<HWND>(owner))) {
        MessageBoxA(reinterpret_cast<HWND>(owner), w.text.c_str(), w.title.c_str(),
                    MB_OK | (w.flagged ? MB_ICONWARNING : MB_ICONINFORMATION));
        return;
    }
    SendMessageA(w.speed, TBM_SETPOS, TRUE, w.images_per_second);
    SetWindowTextA(w.hwnd, w.title.c_str());
    // Without gates to run through (a gated study too large to keep them), no cine to play.
    EnableWindow(w.play, w.gates > 1);
    EnableWindow(w.speed, w.gates > 1);
    set_playing(true);
    InvalidateRect(w.hwnd, nullptr, FALSE);
    ShowWindow(w.hwnd, SW_SHOW);
    SetForegroundWindow(w.hwnd);
}

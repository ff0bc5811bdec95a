// The stress/rest comparison window of the Windows program (plat_show_pair): a plain window
// that paints the program's three pictures with their captions and, under them, its texts in
// the system's fixed-width font. One window, kept and refilled; closing it only hides it.
#include <windows.h>

#include <string>
#include <vector>

#include "platform.h"

namespace {

constexpr int SIDE = 300, GAP = 16, CAPTION_H = 36, TEXT_H = 620;

struct PairWindow {
    HWND hwnd = nullptr;
    std::string title, captions[3], text;
    std::vector<unsigned char> pictures[3];
};

PairWindow& pw() {
    static PairWindow w;
    return w;
}

void paint(HWND h) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 400;
    bi.bmiHeader.biHeight = 400;  // lowest line first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    SetBkMode(dc, TRANSPARENT);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetStretchBltMode(dc, HALFTONE);
    for (int k = 0; k < 3; k++) {
        const int x = GAP + k * (SIDE + GAP);
        RECT cap{x, GAP, x + SIDE, GAP + CAPTION_H};
        DrawTextA(dc, pw().captions[k].c_str(), -1, &cap, DT_CENTER | DT_WORDBREAK);
        if (pw().pictures[k].size() == 400u * 400u * 3u)
            StretchDIBits(dc, x, GAP + CAPTION_H, SIDE, SIDE, 0, 0, 400, 400, pw().pictures[k].data(), &bi,
                          DIB_RGB_COLORS, SRCCOPY);
    }
    SelectObject(dc, GetStockObject(ANSI_FIXED_FONT));
    RECT text{GAP, 2 * GAP + CAPTION_H + SIDE, 3 * SIDE + 3 * GAP, 2 * GAP + CAPTION_H + SIDE + TEXT_H};
    DrawTextA(dc, pw().text.c_str(), -1, &text, DT_LEFT | DT_NOPREFIX | DT_EXPANDTABS);
    EndPaint(h, &ps);
}

LRESULT CALLBACK pair_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        paint(h);
        return 0;
    case WM_CLOSE:
        ShowWindow(h, SW_HIDE);
        return 0;
    case WM_DESTROY:
        pw().hwnd = nullptr;
        return 0;
    default:
        return DefWindowProcA(h, msg, wp, lp);
    }
}

}  // namespace

void plat_show_pair(HWND_ owner, const PlatPairView* v) {
    PairWindow& w = pw();
    w.title = v->title ? v->title : "";
    w.text = v->text ? v->text : "";
    for (int k = 0; k < 3; k++) {
        w.captions[k] = v->captions[k] ? v->captions[k] : "";
        w.pictures[k].assign(v->pictures[k] ? v->pictures[k] : nullptr,
                             v->pictures[k] ? v->pictures[k] + 400 * 400 * 3 : nullptr);
    }
    if (w.hwnd == nullptr) {
        static bool registered = false;
        HINSTANCE instance = GetModuleHandleA(nullptr);
        if (!registered) {
            WNDCLASSA wc{};
            wc.lpfnWndProc = pair_proc;
            wc.hInstance = instance;
            wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
            wc.lpszClassName = "VesmoraPair";
            registered = RegisterClassA(&wc) != 0;
        }
        RECT r{0, 0, 3 * SIDE + 4 * GAP, 3 * GAP + CAPTION_H + SIDE + TEXT_H};
        AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
        w.hwnd = CreateWindowA("VesmoraPair", w.title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               r.right - r.left, r.bottom - r.top, reinterpret_cast<HWND>(owner), nullptr, instance,
                               nullptr);
        if (w.hwnd == nullptr) {
            MessageBoxA(reinterpret_cast<HWND>(owner), w.text.c_str(), w.title.c_str(), MB_OK | MB_ICONINFORMATION);
            return;
        }
    }
    SetWindowTextA(w.hwnd, w.title.c_str());
    InvalidateRect(w.hwnd, nullptr, TRUE);
    ShowWindow(w.hwnd, SW_SHOW);
    SetForegroundWindow(w.hwnd);
}

// Headless back end of the window services (what it provides: headless.h).
#include "headless.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include <unistd.h>

#include "../give_pages.h"
#include "latin1.h"
#include "layout.h"

namespace headless {

State& state() {
    static State s;
    return s;
}

namespace {

// Messages posted from any thread, waiting for run_posted(). Apart from the
// program's state, the one thing here that another thread may touch.
struct PostQueue {
    std::mutex lock;
    std::deque<PlatMsg> messages;
};

PostQueue& posted() {
    static PostQueue q;
    return q;
}

std::string message_line(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    char line[96];
    std::snprintf(line, sizeof line, "%u %llu %lld", msg, static_cast<unsigned long long>(wparam),
                  static_cast<long long>(lparam));
    return line;
}

}  // namespace

void reset() {
    State& s = state();
    std::string path = s.module_path;
    bool echo = s.echo_boxes;
    s = State{};
    s.module_path = path;
    s.echo_boxes = echo;
    std::lock_guard<std::mutex> hold(posted().lock);
    posted().messages.clear();
}

int run_posted() {
    int ran = 0;
    for (;;) {
        PlatMsg m;
        {
            std::lock_guard<std::mutex> hold(posted().lock);
            if (posted().messages.empty()) return ran;
            m = posted().messages.front();
            posted().messages.pop_front();
        }
        // The handler runs without the lock: it may post again.
        state().posted_run.push_back(message_line(m.msg, m.wparam, m.lparam));
        if (m.hwnd != nullptr && m.hwnd->proc != nullptr) m.hwnd->proc(m.hwnd, m.msg, m.wparam, m.lparam);
        ran++;
    }
}

std::string utf8(const std::string& latin1) { return program_text_to_utf8(latin1); }

void set_module_path(const std::string& path) { state().module_path = path; }
void queue_open_answer(const std::string& path) { state().open_answers.emplace_back(path); }
void queue_open_cancel() { state().open_answers.emplace_back(std::nullopt); }
void queue_folder_answer(const std::string& path) { state().folder_answers.emplace_back(path); }
void queue_folder_cancel() { state().folder_answers.emplace_back(std::nullopt); }

PlatWindow_* control(HWND_ window, int id) {
    if (window == nullptr || window->parent != nullptr) return nullptr;
    auto it = window->controls.find(id);
    return it == window->controls.end() ? nullptr : it->second.get();
}

std::string text_of(HWND_ window, int id) {
    PlatWindow_* c = control(window, id);
    return c ? c->text : std::string();
}

const PlatBitmap_* image_of(HWND_ ctrl) { return ctrl ? ctrl->image : nullptr; }

void toggle_check(HWND_ window, int id) {
    HWND_ c = plat_get_dlg_item(window, id);
    if (c) c->checked = c->checked ? 0 : 1;
}

}  // namespace headless

using headless::state;

HWND_ plat_create_window(PlatTemplate tpl, HWND_ owner, WNDPROC_ proc) {
    const WindowTemplate& t = template_of(tpl);
    auto w = std::make_unique<PlatWindow_>();
    w->tpl = tpl;
    w->owner = owner;
    w->proc = proc;
    w->caption = t.caption;
    // Every control of the template, with its initial text (a sector label reads
    // "100 %" from creation on); a control's rectangle is its client rectangle.
    for (int n = 0; n < t.count; n++) {
        const CtlTemplate& c = t.controls[n];
        if (c.id == ID_NONE) continue;  // nobody can address it
        auto ctl = std::make_unique<PlatWindow_>();
        ctl->tpl = tpl;
        ctl->parent = w.get();
        ctl->id = c.id;
        ctl->visible = true;
        ctl->text = c.text;
        ctl->rect = t.popup ? PlatRect{du_x(c.x), du_y(c.y), du_x(c.x + c.w), du_y(c.y + c.h)} : client_rect_of(c);
        w->controls[c.id] = std::move(ctl);
    }
    HWND_ h = w.get();
    state().windows.push_back(std::move(w));
    if (proc) proc(h, VM_INITDIALOG, 0, 0);
    return h;
}

HWND_ plat_get_dlg_item(HWND_ window, int id) { return headless::control(window, id); }

void plat_set_dlg_item_text(HWND_ window, int id, const char* text) {
    HWND_ c = plat_get_dlg_item(window, id);
    if (c) c->text = text ? text : "";
}

void plat_set_window_text(HWND_ window, const char* text) {
    if (window) window->caption = text ? text : "";
}

void plat_check_dlg_button(HWND_ window, int id, int checked) {
    HWND_ c = plat_get_dlg_item(window, id);
    if (c) c->checked = checked ? 1 : 0;
}

int plat_is_dlg_button_checked(HWND_ window, int id) {
    HWND_ c = plat_get_dlg_item(window, id);
    return c ? c->checked : 0;
}

void plat_show_window(HWND_ window, int visible) {
    if (window) window->visible = visible != 0;
}

void plat_set_window_pos(HWND_ window, int x, int y, int w, int h) {
    if (window) window->rect = PlatRect{x, y, x + w, y + h};
}

void plat_get_window_rect(HWND_ window, PlatRect* rect) {
    if (rect) *rect = window ? window->rect : PlatRect{0, 0, 0, 0};
}

void plat_update_window(HWND_ window) {
    if (window) window->paints++;
}

void plat_set_icon(HWND_ window) {
    if (window) window->icon = true;
}

void plat_set_focus(HWND_ window) { state().focus = window; }

void plat_busy(int on) {
    headless::State& s = headless::state();
    if (on) s.busy_shown += s.busy++ == 0;
    else if (s.busy > 0) s.busy--;
}

std::intptr_t plat_send_message(HWND_ window, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    state().sent.push_back(headless::message_line(msg, wparam, lparam));
    if (window == nullptr || window->proc == nullptr) return 0;
    return window->proc(window, msg, wparam, lparam);
}

void plat_post_message(HWND_ window, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    std::lock_guard<std::mutex> hold(headless::posted().lock);
    headless::posted().messages.push_back(PlatMsg{window, msg, wparam, lparam});
}

void plat_post_quit_message(int code) {
    state().quit_posted = true;
    state().quit_code = code;
}

HBMP_ plat_create_bitmap(HWND_ window, const BitmapDesc* desc, const unsigned char* pixels) {
    (void)window;
    auto b = std::make_unique<PlatBitmap_>();
    b->width = desc->biWidth;
    b->height = desc->biHeight;
    const std::size_t n = static_cast<std::size_t>(desc->biWidth) * static_cast<std::size_t>(desc->biHeight) * 3;
    b->pixels.assign(pixels, pixels + n);
    HBMP_ h = b.get();
    state().bitmaps.push_back(std::move(b));
    state().live_bitmaps++;
    return h;
}

void plat_delete_bitmap(HBMP_ bmp) {
    if (bmp == nullptr || !bmp->alive) return;
    bmp->alive = false;
    state().live_bitmaps--;
    state().deleted_bitmaps++;
}

void plat_set_image(HWND_ control, HBMP_ bmp) {
    if (control) control->image = bmp;
}

int plat_message_box(HWND_ owner, const char* text, const char* title, PlatIcon icon) {
    state().boxes.push_back(headless::Box{owner, title ? title : "", text ? text : "", icon});
    if (state().echo_boxes)
        std::fprintf(stderr, "box %s %s | %s\n", icon == ICON_WARNING ? "warning" : "information",
                     headless::utf8(title ? title : "").c_str(), headless::utf8(text ? text : "").c_str());
    return 1;
}

int plat_confirm_box(HWND_ owner, const char* text, const char* title) {
    plat_message_box(owner, text, title, ICON_WARNING);  // recorded as every box is
    auto& q = state().confirm_answers;
    if (q.empty()) return 0;
    const int answer = q.front();
    q.pop_front();
    return answer == 1 ? 1 : 0;
}

int plat_choose_item(HWND_ owner, const char* title, const char* prompt, const char* const* items, int count) {
    (void)owner, (void)title, (void)prompt;
    std::vector<std::string> lines;
    for (int n = 0; n < count; n++) lines.emplace_back(items[n] ? items[n] : "");
    state().choose_requests.push_back(std::move(lines));
    if (count <= 0) return -1;
    auto& q = state().choose_answers;
    if (q.empty()) return 0;
    const int answer = q.front();
    q.pop_front();
    return answer >= 0 && answer < count ? answer : -1;  // an index out of the list is no choice
}

void plat_show_pair(HWND_ owner, const PlatPairView* v) {
    headless::PairShown shown{owner, v->title ? v->title : "", v->text ? v->text : "", {}, {}};
    for (int k = 0; k < 3; k++) {
        shown.captions[k] = v->captions[k] ? v->captions[k] : "";
        if (v->pictures[k]) shown.pictures[k].assign(v->pictures[k], v->pictures[k] + 400 * 400 * 3);
    }
    state().pairs_shown.push_back(std::move(shown));
}

void plat_show_function(HWND_ owner, const PlatFunctionView* v) {
    if (v == nullptr) {
        state().functions_closed++;
        return;
    }
    headless::FunctionShown shown;
    shown.owner = owner;
    shown.title = v->title ? v->title : "";
    shown.text = v->text ? v->text : "";
    for (int k = 0; k < 3; k++) shown.captions[k] = v->captions[k] ? v->captions[k] : "";
    shown.gates = v->gates, shown.speed = v->speed, shown.flagged = v->flagged;
    if (v->frames && v->gates > 0) shown.frames.assign(v->frames, v->frames + std::size_t(v->gates) * 3 * 256 * 256 * 3);
    for (int g = 0; g < v->gates; g++)
        shown.gate_captions.emplace_back(v->gate_captions && v->gate_captions[g] ? v->gate_captions[g] : "");
    shown.curve_width = v->curve_width, shown.curve_height = v->curve_height;
    if (v->curve) shown.curve.assign(v->curve, v->curve + std::size_t(v->curve_width) * v->curve_height * 3);
    state().functions_shown.push_back(std::move(shown));
}

int plat_open_file_dialog(HWND_ owner, const char* title, const char* filter_name, const char* filter_pattern,
                          char* path, int path_size) {
    state().open_requests.push_back(headless::OpenRequest{owner, title, filter_name, filter_pattern, path_size});
    auto& q = state().open_answers;
    if (q.empty()) return 0;
    std::optional<std::string> answer = q.front();
    q.pop_front();
    if (!answer || path_size <= 0) return 0;
    if (answer->size() > static_cast<std::size_t>(path_size) - 1) {
        path[0] = 0;  // a path is never cut
        return -1;
    }
    std::snprintf(path, static_cast<std::size_t>(path_size), "%s", answer->c_str());
    if (state().on_open_answer) state().on_open_answer(*answer);
    return 1;
}

int plat_browse_folder(const char* title, char* path) {
    state().folder_requests.emplace_back(title ? title : "");
    auto& q = state().folder_answers;
    if (q.empty()) return 0;
    std::optional<std::string> answer = q.front();
    q.pop_front();
    if (!answer) return 0;
    std::snprintf(path, 260, "%s", answer->c_str());
    return 1;
}

void plat_shell_open(HWND_ parent, const char* path) {
    (void)parent;
    state().shell_opens.emplace_back(path ? path : "");
}

int plat_module_file_name(char* buf, int size) {
    if (size <= 0) return 0;
    std::string path = state().module_path;
    if (path.empty()) {
        char real[4096];
        ssize_t n = readlink("/proc/self/exe", real, sizeof real - 1);
        path.assign(real, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    std::snprintf(buf, static_cast<std::size_t>(size), "%s", path.c_str());
    return static_cast<int>(std::strlen(buf));
}

int plat_load_setting(const char* name, char* value, int size) {
    const auto& kept = headless::state().settings;
    const auto it = kept.find(name ? name : "");
    if (it == kept.end() || size <= 0 || it->second.size() + 1 > static_cast<std::size_t>(size)) return 0;
    std::memcpy(value, it->second.c_str(), it->second.size() + 1);
    return 1;
}

void plat_save_setting(const char* name, const char* value) {
    headless::state().settings[name ? name : ""] = value ? value : "";
}

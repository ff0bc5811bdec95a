// Qt 6 Widgets back end of the window services (src/platform.h).
//
// Provides:
//  [X] Windows from the three templates of src/layout.h ("WIN", "D3WIN", "SECTWIN"):
//      every control at its client rectangle, made from the template and nothing else.
//  [X] Main window: Latin-1 caption, fixed size (no resizing, no minimise or maximise
//      button), a menu bar above the client area built from the program's command table
//      (src/commands.h): every command of it, each item enabled as the table says and
//      sending its id to the main window; a dropped study (IS_STUDY_FILE) opens through
//      OPEN_STUDY. The dialogs that ask a path, the archive's dialogs and the sending
//      with its progress window are the program's command hooks (file_exports.h).
//  [X] Pictures: each hand-over becomes one QImage shown 1:1 (scaled without smoothing
//      at a device pixel ratio above 1); pictures and labels let the mouse through.
//  [X] Mouse: presses, releases, double clicks and moves (tracking on, no button
//      needed) in client pixels; wheel turns with the pointer in screen pixels.
//  [X] The "Ombre" check box toggles itself, then its command is sent.
//  [X] Window moved: the main window's handler gets VM_MOVE.
//  [X] Pop-ups: frameless tool windows with a thin border, owned by the main window
//      (in front of it, out of the task bar), never taking the focus; a click on one
//      reaches its handler.
//  [X] The comparison window and the function window (its cine on a QTimer, a play / pause
//      button and a speed spin box in images per second), non-modal, owned by the main window.
//  [X] Modal message boxes, the open-file dialog, the folder picker, the desktop's
//      viewer for a document, the program's own path, posted messages from any thread.
//
// Where it differs from the other back ends:
//  - Frame arithmetic. The program turns a screen point into a client point with a
//    frame of FRAME_LEFT x FRAME_TOP. Whatever the window manager draws (and with the
//    menu bar between caption and client area), the main window's rectangle is
//    reported as the client area's true screen position grown by that frame, and
//    plat_set_window_pos(x, y) puts the client area at (x + FRAME_LEFT, y + FRAME_TOP).
//    The size asked for is ignored: the client area is always CLIENT_WIDTH x CLIENT_HEIGHT.
//  - Pointer outside the client area. The program never takes the mouse capture, so
//    presses, releases and moves outside the client area are not delivered, even while
//    a button is held (Qt's implicit grab would deliver them).
//  - Double clicks: the second press of a double click arrives as VM_LBUTTONDBLCLK
//    (VM_RBUTTONDBLCLK), as for a window class that asks for double clicks.
//  - Keyboard: no dialog navigation; Tab and the arrow keys do not move between controls.
//  - Pop-up ownership: a pop-up is a Qt::Tool child window of the main window.
//  - Path encoding. Paths are local 8-bit bytes (UTF-8 on Linux), handed over
//    unchanged; a path that does not fit the caller's buffer is refused (-1), never
//    cut. Program texts are Latin-1; a well-formed UTF-8 sequence in them (a file
//    name in the caption or a box) is shown as UTF-8.
//  - Font: the templates name Windows fonts; the window uses the desktop's sans-serif
//    face at a pixel size that fits the dialog rectangles (MAIN_FONT_PX).
#include "qt_backend.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QFileInfo>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QAbstractButton>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../give_pages.h"
#include "Main_Wnd_Proc.h"
#include "Pair_Roles.h"
#include "commands.h"
#include "file_exports.h"
#include "guide.h"
#include "latin1.h"
#include "layout.h"

namespace {

// Pixel size of the main window's text: the 10-unit-high buttons are 25 pixels high,
// the 55-unit "Centrer volume" is 124 pixels wide.
constexpr int MAIN_FONT_PX = 12;

// Point sizes of the pop-up templates at 96 dots per inch.
int popup_font_px(int points) { return (points * 96 + 36) / 72; }

}  // namespace

// A window, pop-up or control.
struct PlatWindow_ {
    PlatTemplate tpl = TPL_WIN;
    WNDPROC_ proc = nullptr;
    PlatWindow_* parent = nullptr;  // controls: their window
    int id = 0;                     // controls: their id
    CtlKind kind = CTL_LABEL;       // controls: their kind
    QWidget* widget = nullptr;      // owned by Qt's parent chain (windows: by the back end)
    std::string text;               // last text set, as the program gave it
    std::vector<std::unique_ptr<PlatWindow_>> controls;
};

// Bitmaps are pooled: a deleted one keeps its image, and when the picture that showed
// it has let go of it too, the next bitmap of that size is drawn into the same pixels.
// A drag that redraws every picture on each move then reserves no memory for them.
struct PlatBitmap_ {
    QImage image;  // shared with the picture that shows it
    bool live = false;
};

namespace {

// --- back-end state ----------------------------------------------------------------------------
struct Backend {
    std::vector<std::unique_ptr<PlatWindow_>> windows;  // top-level windows and pop-ups
    std::vector<std::unique_ptr<PlatBitmap_>> bitmaps;  // every bitmap made, live or free for reuse
    long bitmaps_made = 0;
    PlatWindow_* main = nullptr;
    bool loop_running = false;  // run_event_loop is in the application's loop
    bool quit_posted = false;
    int quit_code = 0;
    QString last_folder;
    std::function<void(const QString&)> shell_open;
    std::function<void(HWND_, unsigned, std::uintptr_t, std::intptr_t)> observer;
    std::function<void()> frame_hook;
    std::vector<std::pair<QAction*, const Command*>> actions;  // the menu items and their rows
    QWidget* client = nullptr;  // the main window's client area (inside a scroll area on a small screen)
    bool native_settings = false;  // the program's remembered settings in QSettings, else in `settings`
    std::map<QString, QString> settings;
};

Backend& be() {
    static Backend b;
    return b;
}

bool alive(HWND_ w) {
    for (const auto& top : be().windows) {
        if (top.get() == w) return true;
        for (const auto& c : top->controls)
            if (c.get() == w) return true;
    }
    return false;
}

QPoint floor_point(const QPointF& p) {
    return QPoint(static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())));
}

std::intptr_t point_param(QPoint p) { return static_cast<std::intptr_t>(MAKE_PARAM(p.x(), p.y())); }

unsigned button_message(Qt::MouseButton b, unsigned left, unsigned right) {
    return b == Qt::LeftButton ? left : b == Qt::RightButton ? right : 0;
}

// --- widgets ------------------------------------------------------------------------------------------
// A picture control: shows the last image handed over, 1:1 in logical pixels.
class PictureWidget : public QWidget {
public:
    explicit PictureWidget(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted: no background first
    }
    void set_image(const QImage& image) {
        image_ = image;
        update();
    }
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (image_.isNull())
            p.fillRect(rect(), Qt::black);
        else  // no SmoothPixmapTransform: at a ratio of 2 each pixel is a 2 x 2 block
            p.drawImage(QRect(QPoint(0, 0), image_.size()), image_);
    }

private:
    QImage image_;
};

// The main window's client area: every pointer message of the program comes from here.
class ClientArea : public QWidget {
public:
    ClientArea(PlatWindow_* window, QWidget* parent) : QWidget(parent), window_(window) {
        setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
        setMouseTracking(true);  // the hover texts need moves without a button
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override { deliver(e, button_message(e->button(), VM_LBUTTONDOWN, VM_RBUTTONDOWN)); }
    void mouseReleaseEvent(QMouseEvent* e) override { deliver(e, button_message(e->button(), VM_LBUTTONUP, VM_RBUTTONUP)); }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        deliver(e, button_message(e->button(), VM_LBUTTONDBLCLK, VM_RBUTTONDBLCLK));
    }
    void mouseMoveEvent(QMouseEvent* e) override { deliver(e, VM_MOUSEMOVE); }
    void leaveEvent(QEvent* e) override {
        QWidget::leaveEvent(e);
        POINTER_LEFT();  // no pixel pointed at: the hover text goes
    }
    void wheelEvent(QWheelEvent* e) override {
        const int turn = e->angleDelta().y();
        if (turn == 0) return;  // a sideways turn
        e->accept();
        plat_send_message(window_, VM_MOUSEWHEEL, MAKE_PARAM(0, turn), point_param(floor_point(e->globalPosition())));
    }

private:
    void deliver(QMouseEvent* e, unsigned msg) {
        if (msg == 0) return;
        e->accept();
        // The client pixel under the pointer, also between device pixels: from the
        // screen position, which Qt has not rounded as it did the widget position.
        const QPoint p = floor_point(e->globalPosition() - QPointF(mapToGlobal(QPoint(0, 0))));
        if (!rect().contains(p)) return;  // no capture: nothing from outside the client area
        plat_send_message(window_, msg, 0, point_param(p));
    }
    PlatWindow_* window_;
};

class MainWindow : public QMainWindow {
public:
    explicit MainWindow(PlatWindow_* window) : window_(window) { setAcceptDrops(true); }

protected:
    bool event(QEvent* e) override {
        const bool handled = QMainWindow::event(e);
        // Painting of the window and its controls happens in this event; then it is flushed.
        if (e->type() == QEvent::UpdateRequest && be().frame_hook) be().frame_hook();
        return handled;
    }
    // No dialog keyboard handling: Tab and the arrow keys do not move between the controls.
    bool focusNextPrevChild(bool) override { return false; }
    void closeEvent(QCloseEvent* e) override {
        e->ignore();  // the program ends itself: its close request posts the quit message
        if (QUIT_CONFIRMED()) plat_send_message(window_, VM_CLOSE, 0, 0);
    }
    void moveEvent(QMoveEvent* e) override {
        QMainWindow::moveEvent(e);
        plat_send_message(window_, VM_MOVE, 0, 0);
    }
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (!dropped_study(e->mimeData()).isEmpty()) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        const QString path = dropped_study(e->mimeData());
        if (path.isEmpty()) return;
        e->acceptProposedAction();
        // After the drop has finished: the open may show modal boxes.
        QTimer::singleShot(0, this, [path] { vesmora_qt::open_study(path); });
    }

private:
    static QString dropped_study(const QMimeData* m) {
        if (m == nullptr || !m->hasUrls() || m->urls().size() != 1) return QString();
        const QUrl url = m->urls().first();
        if (!url.isLocalFile() || !IS_STUDY_FILE(QFile::encodeName(url.toLocalFile()).constData())) return QString();
        return url.toLocalFile();
    }
    PlatWindow_* window_;
};

// A letter or sector label pop-up.
class Popup : public QFrame {
public:
    Popup(PlatWindow_* window, QWidget* owner)
        : QFrame(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), window_(window) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFocusPolicy(Qt::NoFocus);
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
        setAutoFillBackground(true);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override { deliver(e, button_message(e->button(), VM_LBUTTONDOWN, VM_RBUTTONDOWN)); }
    void mouseReleaseEvent(QMouseEvent* e) override { deliver(e, button_message(e->button(), VM_LBUTTONUP, VM_RBUTTONUP)); }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        deliver(e, button_message(e->button(), VM_LBUTTONDBLCLK, VM_RBUTTONDBLCLK));
    }
    void resizeEvent(QResizeEvent* e) override {
        QFrame::resizeEvent(e);
        for (QLabel* l : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) l->setGeometry(contentsRect());
    }

private:
    void deliver(QMouseEvent* e, unsigned msg) {
        if (msg == 0) return;
        e->accept();
        plat_send_message(window_, msg, 0, point_param(floor_point(e->position())));
    }
    PlatWindow_* window_;
};

// A pop-up's label: its text on one line, in the pop-up's font or, when that does not fit
// the box (a sector label "[17]  4" in 37 x 15), in the largest smaller size that does,
// so that no label wraps or is clipped.
class FitLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect box = contentsRect();
        QFont f = font();
        const int largest = f.pixelSize() > 0 ? f.pixelSize() : QFontMetrics(f).height();
        for (int px = largest; px >= 6; px--) {
            f.setPixelSize(px);
            const QFontMetrics fm(f);
            if (fm.horizontalAdvance(text()) <= box.width() && fm.height() <= box.height() + 2) break;
        }
        p.setFont(f);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(box, static_cast<int>(alignment()) | Qt::TextSingleLine, text());
    }
};

// --- building windows from the templates ------------------------------------------------------------------
QLabel* make_label(QWidget* parent, Qt::Alignment align, bool fit = false) {
    auto* l = fit ? new FitLabel(parent) : new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(align);
    l->setWordWrap(!fit);
    l->setAttribute(Qt::WA_TransparentForMouseEvents);  // static text lets the mouse through
    return l;
}

// The menu items as the program's command table allows them now.
QString menu_label(const char* label);  // below, with the menu bar

void refresh_actions() {
    for (const auto& [action, command] : be().actions) {
        action->setEnabled(command->available() == 1);
        action->setText(menu_label(COMMAND_LABEL_NOW(command->id).c_str()));  // " (suggéré)" on a role
    }
}

void send_command(PlatWindow_* window, int id) {
    plat_send_message(window, VM_COMMAND, static_cast<std::uintptr_t>(id), 0);
    // A study, a model and results come only through commands (the buttons, the menu) and
    // OPEN_STUDY (a drop, the command line, the archive), which refresh the items.
    refresh_actions();
}

QWidget* make_control(PlatWindow_* window, const CtlTemplate& c, QWidget* parent) {
    const QString text = vesmora_qt::text_from_program(c.text);
    switch (c.kind) {
    case CTL_PICTURE:
        return new PictureWidget(parent);
    case CTL_LABEL:
        return make_label(parent, Qt::AlignLeft | Qt::AlignTop);
    case CTL_LABEL_RIGHT:
        return make_label(parent, Qt::AlignRight | Qt::AlignTop);
    case CTL_LABEL_CENTRED:
        return make_label(parent, Qt::AlignCenter, dynamic_cast<Popup*>(parent) != nullptr);
    case CTL_BUTTON: {
        auto* b = new QPushButton(text, parent);
        b->setAutoDefault(false);
        QObject::connect(b, &QPushButton::clicked, b, [window, id = c.id] { send_command(window, id); });
        return b;
    }
    case CTL_CHECKBOX: {
        auto* b = new QCheckBox(text, parent);
        // QCheckBox has toggled itself when `clicked` comes: the program reads the new state.
        QObject::connect(b, &QCheckBox::clicked, b, [window, id = c.id] { send_command(window, id); });
        return b;
    }
    }
    return nullptr;
}

void add_controls(PlatWindow_* window, QWidget* parent, bool popup) {
    const WindowTemplate& t = template_of(window->tpl);
    for (int n = 0; n < t.count; n++) {
        const CtlTemplate& c = t.controls[n];
        QWidget* w = make_control(window, c, parent);
        if (auto* l = qobject_cast<QLabel*>(w)) l->setText(vesmora_qt::text_from_program(c.text));
        if (popup) {
            w->setGeometry(static_cast<QFrame*>(parent)->contentsRect());  // the label fills the pop-up the shell sizes
        } else {
            const PlatRect r = client_rect_of(c);
            w->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
        }
        auto ctl = std::make_unique<PlatWindow_>();
        ctl->tpl = window->tpl;
        ctl->parent = window;
        ctl->id = c.id;
        ctl->kind = c.kind;
        ctl->widget = w;
        ctl->text = c.text;
        window->controls.push_back(std::move(ctl));
    }
}

// A label of the table as the menu shows it: "..." as the one ellipsis character.
QString menu_label(const char* label) {
    return vesmora_qt::text_from_program(label).replace(QStringLiteral("..."), QStringLiteral("\u2026"));
}

void add_menu_bar(MainWindow* mw, PlatWindow_* window) {
    QMenu* menus[MENU_COUNT] = {};
    be().actions.clear();
    for (int n = 0; n < COMMAND_COUNT; n++) {
        const Command& c = COMMANDS[n];
        QMenu*& menu = menus[c.menu];
        if (menu == nullptr) {
            menu = mw->menuBar()->addMenu(vesmora_qt::text_from_program(MENU_LABEL[c.menu]));
            // Before a menu opens too, whatever changed the state.
            QObject::connect(menu, &QMenu::aboutToShow, mw, [] { refresh_actions(); });
        }
        if (c.separator_before) menu->addSeparator();
        QAction* a = menu->addAction(menu_label(c.label), mw, [window, id = c.id] { send_command(window, id); });
        a->setShortcut(QKeySequence(QString::fromStdString(shortcut_text(c))));
        a->setData(c.id);
        be().actions.emplace_back(a, &c);
    }
    vesmora_qt::install_command_hooks();
    refresh_actions();
}

int menu_height(QMainWindow* mw) { return mw->menuBar()->sizeHint().height(); }

// Room the window manager takes above a window for its title bar, and around it for its frame.
constexpr int TITLE_ROOM = 40, FRAME_ROOM = 8;

// On a screen smaller than the window (1366 x 768 with a title bar), the client area goes into
// a scroll area as large as the screen allows: the same pixels at the same client positions, so
// every click lands where it did; the pop-ups follow the client area as it scrolls.
void fit_small_screen(QMainWindow* mw, QWidget* client, PlatWindow_* window) {
    const QScreen* screen = mw->screen() ? mw->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect room = screen->availableGeometry();
    const int menu = menu_height(mw);
    if (CLIENT_WIDTH + FRAME_ROOM <= room.width() && CLIENT_HEIGHT + menu + TITLE_ROOM <= room.height()) return;
    auto* scroll = new QScrollArea(mw);
    scroll->setObjectName(QStringLiteral("client_scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(false);
    mw->takeCentralWidget();    // not deleted, as setCentralWidget would
    scroll->setWidget(client);  // keeps its fixed size
    mw->setCentralWidget(scroll);
    const int bar = scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int w = std::min(CLIENT_WIDTH + bar, room.width() - FRAME_ROOM);
    const int h = std::min(CLIENT_HEIGHT + menu + bar, room.height() - TITLE_ROOM);
    mw->setFixedSize(w, h);
    auto follow = [window] { plat_send_message(window, VM_MOVE, 0, 0); };
    QObject::connect(scroll->horizontalScrollBar(), &QScrollBar::valueChanged, mw, follow);
    QObject::connect(scroll->verticalScrollBar(), &QScrollBar::valueChanged, mw, follow);
}

PlatWindow_* control_of(HWND_ window, int id) {
    if (window == nullptr) return nullptr;
    for (const auto& c : window->controls)
        if (c->id == id && id != ID_NONE) return c.get();
    return nullptr;
}

}  // namespace

// =====================================================================================================
// Back-end services for the executable, the tests and the tools
// =====================================================================================================
namespace vesmora_qt {

int run_event_loop() {
    if (!be().quit_posted) {
        be().loop_running = true;
        QApplication::exec();
        be().loop_running = false;
    }
    return be().quit_code;
}

QMainWindow* main_window() { return be().main ? static_cast<QMainWindow*>(be().main->widget) : nullptr; }

QWidget* client_area() { return main_window() ? be().client : nullptr; }

QWidget* control(HWND_ window, int id) {
    PlatWindow_* c = control_of(window, id);
    return c ? c->widget : nullptr;
}

QWidget* widget_of(HWND_ window) { return window ? window->widget : nullptr; }

void open_study(const QString& path) {
    if (be().main == nullptr) return;
    OPEN_STUDY(QFile::encodeName(QFileInfo(path).absoluteFilePath()).constData());
    refresh_actions();
}

QString text_from_program(const char* bytes) {
    return bytes == nullptr ? QString() : QString::fromStdString(program_text_to_utf8(bytes));
}

void set_shell_open_handler(std::function<void(const QString&)> handler) { be().shell_open = std::move(handler); }

void set_message_observer(std::function<void(HWND_, unsigned, std::uintptr_t, std::intptr_t)> observer) {
    be().observer = std::move(observer);
}

void set_frame_hook(std::function<void()> hook) { be().frame_hook = std::move(hook); }

void use_native_settings() { be().native_settings = true; }

long bitmaps_made() { return be().bitmaps_made; }

void reset() {
    Backend& b = be();
    b.bitmaps.clear();
    // Pop-ups are children of the main window: delete them first, then the windows.
    for (auto it = b.windows.rbegin(); it != b.windows.rend(); ++it) {
        delete (*it)->widget;
        (*it)->widget = nullptr;
    }
    b.windows.clear();
    b.main = nullptr;
    b.actions.clear();
    b.client = nullptr;
    b.settings.clear();  // a new start in the same process remembers nothing (the native store stays)
    b.quit_posted = false;
    b.quit_code = 0;
}

}  // namespace vesmora_qt

// =====================================================================================================
// The window services
// =====================================================================================================
HWND_ plat_create_window(PlatTemplate tpl, HWND_ owner, WNDPROC_ proc) {
    auto w = std::make_unique<PlatWindow_>();
    PlatWindow_* h = w.get();
    h->tpl = tpl;
    h->proc = proc;
    const WindowTemplate& t = template_of(tpl);
    if (!t.popup) {
        auto* mw = new MainWindow(h);
        mw->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint);
        QFont font = mw->font();
        font.setPixelSize(MAIN_FONT_PX);
        mw->setFont(font);
        auto* client = new ClientArea(h, mw);
        be().client = client;
        mw->setCentralWidget(client);
        add_menu_bar(mw, h);
        add_controls(h, client, false);
        mw->setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT + menu_height(mw));
        fit_small_screen(mw, client, h);
        mw->setWindowTitle(vesmora_qt::text_from_program(t.caption));
        h->text = t.caption;
        h->widget = mw;
        if (be().main == nullptr) be().main = h;
    } else {
        QWidget* parent = owner ? owner->widget : nullptr;
        auto* pop = new Popup(h, parent);
        QFont font = pop->font();
        font.setPixelSize(popup_font_px(t.font_points));
        pop->setFont(font);
        pop->resize(SECT_LABEL_W, SECT_LABEL_H);
        add_controls(h, pop, true);
        h->widget = pop;
    }
    be().windows.push_back(std::move(w));
    if (proc) proc(h, VM_INITDIALOG, 0, 0);
    return h;
}

HWND_ plat_get_dlg_item(HWND_ window, int id) { return control_of(window, id); }

void plat_set_dlg_item_text(HWND_ window, int id, const char* text) {
    PlatWindow_* c = control_of(window, id);
    if (c == nullptr) return;
    if (text == nullptr) text = "";
    if (c->text == text) return;  // the hover text is set on every move: no work when unchanged
    c->text = text;
    const QString s = vesmora_qt::text_from_program(text);
    if (auto* l = qobject_cast<QLabel*>(c->widget))
        l->setText(s);
    else if (auto* b = qobject_cast<QAbstractButton*>(c->widget))
        b->setText(s);
}

void plat_set_window_text(HWND_ window, const char* text) {
    if (window == nullptr || window->widget == nullptr) return;
    window->text = text ? text : "";
    window->widget->setWindowTitle(vesmora_qt::text_from_program(window->text.c_str()));
}

void plat_check_dlg_button(HWND_ window, int id, int checked) {
    PlatWindow_* c = control_of(window, id);
    if (auto* b = c ? qobject_cast<QAbstractButton*>(c->widget) : nullptr) b->setChecked(checked != 0);
}

int plat_is_dlg_button_checked(HWND_ window, int id) {
    PlatWindow_* c = control_of(window, id);
    auto* b = c ? qobject_cast<QAbstractButton*>(c->widget) : nullptr;
    return b && b->isChecked() ? 1 : 0;
}

void plat_show_window(HWND_ window, int visible) {
    if (window && window->widget) window->widget->setVisible(visible != 0);
}

void plat_set_window_pos(HWND_ window, int x, int y, int w, int h) {
    if (window == nullptr || window->widget == nullptr) return;
    if (window == be().main) {
        auto* mw = static_cast<QMainWindow*>(window->widget);
        // A place on no screen (a kept place, a screen unplugged since) becomes the nearest screen's corner.
        QPoint at(x + FRAME_LEFT, y + FRAME_TOP);
        if (QGuiApplication::screenAt(at + QPoint(40, 10)) == nullptr) {
            const QScreen* s = QGuiApplication::primaryScreen();
            if (s != nullptr) at = s->availableGeometry().topLeft() + QPoint(FRAME_LEFT, FRAME_TOP);
        }
        // The client area at (x + 3, y + 22), below the menu bar; the size is the layout's.
        mw->setGeometry(at.x(), at.y() - menu_height(mw), mw->width(), mw->height());
    } else if (window->parent == nullptr) {
        window->widget->setGeometry(x, y, w, h);
    }
}

void plat_get_window_rect(HWND_ window, PlatRect* rect) {
    if (rect == nullptr) return;
    *rect = PlatRect{0, 0, 0, 0};
    if (window == nullptr || window->widget == nullptr) return;
    if (window == be().main) {
        const QPoint c = vesmora_qt::client_area()->mapToGlobal(QPoint(0, 0));
        const int left = c.x() - FRAME_LEFT, top = c.y() - FRAME_TOP;
        *rect = PlatRect{left, top, left + WIN_WIDTH, top + WIN_HEIGHT};
    } else {
        const QWidget* w = window->widget;
        const QPoint p = w->mapToGlobal(QPoint(0, 0));
        *rect = PlatRect{p.x(), p.y(), p.x() + w->width(), p.y() + w->height()};
    }
}

void plat_update_window(HWND_ window) {
    if (window && window->widget && window->widget->isVisible()) window->widget->repaint();
}

void plat_set_icon(HWND_ window) {
    if (window && window->widget && !QApplication::windowIcon().isNull())
        window->widget->setWindowIcon(QApplication::windowIcon());
}

void plat_busy(int on) {
    if (on) QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
}

void plat_set_focus(HWND_ window) {
    if (window == nullptr || window->widget == nullptr) return;
    if (window == be().main) {
        window->widget->activateWindow();
        vesmora_qt::client_area()->setFocus();
    } else {
        window->widget->setFocus();
    }
}

std::intptr_t plat_send_message(HWND_ window, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    if (be().observer) be().observer(window, msg, wparam, lparam);
    if (window == nullptr || window->proc == nullptr) return 0;
    return window->proc(window, msg, wparam, lparam);
}

void plat_post_quit_message(int code) {
    be().quit_posted = true;
    be().quit_code = code;
    // Ends the loop once this message is handled (a quit before the loop ends it at once;
    // telling Qt then would end the next modal dialog instead).
    if (be().loop_running) QCoreApplication::exit(code);
}

void plat_post_message(HWND_ window, unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    // Queued to the application object's thread (the window thread): safe from any thread.
    QMetaObject::invokeMethod(
        qApp,
        [window, msg, wparam, lparam] {
            if (alive(window)) plat_send_message(window, msg, wparam, lparam);
        },
        Qt::QueuedConnection);
}

// --- pictures -----------------------------------------------------------------------------------
HBMP_ plat_create_bitmap(HWND_ window, const BitmapDesc* desc, const unsigned char* pixels) {
    (void)window;
    if (desc == nullptr || pixels == nullptr || desc->biBitCount != 24 || desc->biWidth <= 0 || desc->biHeight == 0)
        return nullptr;
    const int w = desc->biWidth, h = std::abs(desc->biHeight);
    const bool bottom_up = desc->biHeight > 0;
    const std::size_t stride = (static_cast<std::size_t>(w) * 3 + 3) & ~static_cast<std::size_t>(3);
    // A free bitmap whose image has the size wanted and is shown nowhere any more, else a
    // new one (a picture needs two: the one it shows while the next is drawn).
    PlatBitmap_* bmp = nullptr;
    for (const auto& b : be().bitmaps)
        if (!b->live && b->image.width() == w && b->image.height() == h && b->image.isDetached()) {
            bmp = b.get();
            break;
        }
    if (bmp == nullptr) {
        bmp = be().bitmaps.emplace_back(std::make_unique<PlatBitmap_>()).get();
        bmp->image = QImage(w, h, QImage::Format_RGB32);
    }
    bmp->live = true;
    be().bitmaps_made++;
    // Blue, green, red bytes to 0xffRRGGBB words, lowest line last.
    for (int row = 0; row < h; row++) {
        const unsigned char* src = pixels + static_cast<std::size_t>(row) * stride;
        auto* dst = reinterpret_cast<QRgb*>(bmp->image.scanLine(bottom_up ? h - 1 - row : row));
        for (int x = 0; x < w; x++, src += 3) dst[x] = 0xFF000000u | (src[2] << 16) | (src[1] << 8) | src[0];
    }
    return bmp;
}

void plat_delete_bitmap(HBMP_ bmp) {
    if (bmp == nullptr) return;
    for (const auto& b : be().bitmaps)
        if (b.get() == bmp) b->live = false;  // the picture showing it keeps its own reference
}

void plat_set_image(HWND_ control, HBMP_ bmp) {
    if (control == nullptr) return;
    if (auto* p = dynamic_cast<PictureWidget*>(control->widget)) p->set_image(bmp ? bmp->image : QImage());
}

// --- modal boxes and shell services ----------------------------------------------------------------------------
int plat_message_box(HWND_ owner, const char* text, const char* title, PlatIcon icon) {
    QMessageBox box(icon == ICON_WARNING ? QMessageBox::Warning : QMessageBox::Information,
                    vesmora_qt::text_from_program(title), vesmora_qt::text_from_program(text), QMessageBox::Ok,
                    owner ? owner->widget : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return 1;
}

void plat_show_pair(HWND_ owner, const PlatPairView* view) { vesmora_qt::show_pair(owner, view); }
void plat_show_function(HWND_ owner, const PlatFunctionView* view) { vesmora_qt::show_function(owner, view); }

int plat_confirm_box(HWND_ owner, const char* text, const char* title) {
    QMessageBox box(QMessageBox::Warning, vesmora_qt::text_from_program(title), vesmora_qt::text_from_program(text),
                    QMessageBox::Yes | QMessageBox::No, owner ? owner->widget : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Oui"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Non"));
    box.setDefaultButton(QMessageBox::No);  // the safe answer
    return box.exec() == QMessageBox::Yes ? 1 : 0;
}

namespace {

// The patterns of an open-file filter, ';' between them as the program gives them; "*." takes the
// names without extension, which a name filter cannot say: a proxy over the listing does.
class PatternFilter : public QSortFilterProxyModel {
public:
    explicit PatternFilter(const QStringList& patterns, QObject* parent) : QSortFilterProxyModel(parent) {
        for (const QString& p : patterns)
            if (p != QStringLiteral("*."))
                globs_.push_back(QRegularExpression(QRegularExpression::wildcardToRegularExpression(p),
                                                    QRegularExpression::CaseInsensitiveOption));
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
        if (files == nullptr) return true;
        const QModelIndex index = files->index(row, 0, parent);
        if (files->isDir(index)) return true;
        const QString name = files->fileName(index);
        if (!name.contains(QLatin1Char('.'))) return true;
        for (const QRegularExpression& glob : globs_)
            if (glob.match(name).hasMatch()) return true;
        return false;
    }

private:
    std::vector<QRegularExpression> globs_;
};

}  // namespace

int plat_open_file_dialog(HWND_ owner, const char* title, const char* filter_name, const char* filter_pattern,
                          char* path, int path_size) {
    if (path_size > 0) path[0] = 0;
    // This run's last folder, else the one the program kept from an earlier run.
    QString start = be().last_folder;
    char kept[260];
    if (start.isEmpty() && plat_load_setting("dossier_ouvrir", kept, sizeof kept) == 1) start = QFile::decodeName(kept);
    QFileDialog dialog(owner ? owner->widget : nullptr, vesmora_qt::text_from_program(title), start);
    dialog.setFileMode(QFileDialog::ExistingFile);  // the file and its folder must exist
    const QStringList patterns = vesmora_qt::text_from_program(filter_pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (patterns.contains(QStringLiteral("*."))) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setProxyModel(new PatternFilter(patterns, &dialog));
    }
    QStringList shown = patterns;
    shown.replaceInStrings(QRegularExpression(QStringLiteral("^\\*\\.$")), QStringLiteral("*"));
    dialog.setNameFilter(vesmora_qt::text_from_program(filter_name) + QStringLiteral(" (") + shown.join(QLatin1Char(' ')) +
                         QStringLiteral(")"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
    const QString file = dialog.selectedFiles().first();
    be().last_folder = QFileInfo(file).absolutePath();
    const QByteArray chosen = QFile::encodeName(file);
    if (chosen.isEmpty()) return 0;
    if (chosen.size() + 1 > path_size) return -1;  // never cut
    std::memcpy(path, chosen.constData(), static_cast<std::size_t>(chosen.size()) + 1);
    return 1;
}

int plat_browse_folder(const char* title, char* path) {
    const QString folder = QFileDialog::getExistingDirectory(QApplication::activeWindow(),
                                                             vesmora_qt::text_from_program(title));
    if (folder.isEmpty()) return 0;
    const QByteArray bytes = QFile::encodeName(folder);
    if (bytes.size() + 1 > 260) return 0;  // a folder that does not fit is no answer: it is never cut
    std::memcpy(path, bytes.constData(), static_cast<std::size_t>(bytes.size()) + 1);
    return 1;
}

void plat_shell_open(HWND_ parent, const char* path) {
    (void)parent;
    const QString file = QFile::decodeName(path ? path : "");
    if (be().shell_open) {
        be().shell_open(file);
        return;
    }
    vesmora_qt::show_guide(file);  // missing: nothing shown
}

int plat_module_file_name(char* buf, int size) {
    if (size <= 0) return 0;
    const QByteArray bytes = QFile::encodeName(QCoreApplication::applicationFilePath());
    if (bytes.size() + 1 > size) {  // never cut: an empty path gives no folder
        buf[0] = 0;
        return 0;
    }
    std::memcpy(buf, bytes.constData(), static_cast<std::size_t>(bytes.size()) + 1);
    return static_cast<int>(bytes.size());
}

// --- remembered settings --------------------------------------------------------------------------
int plat_load_setting(const char* name, char* value, int size) {
    const QString key = QString::fromLatin1(name ? name : "");
    QString text;
    if (be().native_settings) {
        const QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vesmora"),
                              QStringLiteral("Vesmora"));
        if (!store.contains(key)) return 0;
        text = store.value(key).toString();
    } else {
        const auto it = be().settings.find(key);
        if (it == be().settings.end()) return 0;
        text = it->second;
    }
    const QByteArray bytes = QFile::encodeName(text);  // folders in the system's own bytes
    if (size <= 0 || bytes.size() + 1 > size) return 0;
    std::memcpy(value, bytes.constData(), static_cast<std::size_t>(bytes.size()) + 1);
    return 1;
}

void plat_save_setting(const char* name, const char* value) {
    const QString key = QString::fromLatin1(name ? name : ""), text = QFile::decodeName(value ? value : "");
    if (!be().native_settings) {
        be().settings[key] = text;
        return;
    }
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vesmora"), QStringLiteral("Vesmora"));
    store.setValue(key, text);
}

// The function window of the desktop program (plat_show_function): the program's cine, curve
// and text shown as they are. The cine runs on a QTimer at the speed of the spin box (images per
// second); the button plays or pauses it. One window, kept and refilled.
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <vector>

#include "platform.h"
#include "picture_image.h"
#include "qt_backend.h"

namespace {

constexpr int SIDE = 256;
constexpr int SPEED_MIN = 1, SPEED_MAX = 30;  // the range platform.h gives

struct FunctionWindow {
    QPointer<QDialog> dialog;
    QLabel* captions[3] = {};
    QLabel* views[3] = {};
    QLabel* gate = nullptr;
    QPushButton* play = nullptr;
    QSpinBox* speed = nullptr;
    QLabel* curve = nullptr;
    QLabel* text = nullptr;
    QScrollArea* scroll = nullptr;  // holds `text`
    QTimer* timer = nullptr;
    std::vector<QPixmap> frames;  // gates x 3
    QStringList gate_captions;
    int shown = 0;

    void show_gate(int g) {
        const int gates = gate_captions.size();
        if (gates == 0) return;
        shown = (g % gates + gates) % gates;
        for (int v = 0; v < 3; v++) views[v]->setPixmap(frames[static_cast<std::size_t>(shown) * 3 + v]);
        gate->setText(gate_captions[shown]);
    }
    void set_playing(bool on) {
        if (on && gate_captions.size() > 1)
            timer->start(1000 / speed->value());
        else
            timer->stop();
        play->setText(timer->isActive() ? QStringLiteral("Pause") : QStringLiteral("Lecture"));
    }
};

FunctionWindow& function_window() {
    static FunctionWindow w;
    return w;
}

void build(FunctionWindow& w) {
    w.dialog = new QDialog(vesmora_qt::main_window());
    w.dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* grid = new QGridLayout(w.dialog);
    for (int k = 0; k < 3; k++) {
        w.captions[k] = new QLabel(w.dialog);
        w.captions[k]->setAlignment(Qt::AlignCenter);
        w.views[k] = new QLabel(w.dialog);
        w.views[k]->setObjectName(QStringLiteral("cine_view%1").arg(k));
        w.views[k]->setFixedSize(SIDE, SIDE);
        grid->addWidget(w.captions[k], 0, k);
        grid->addWidget(w.views[k], 1, k, Qt::AlignCenter);
    }
    auto* controls = new QHBoxLayout;
    w.play = new QPushButton(w.dialog);
    w.play->setObjectName(QStringLiteral("cine_play"));
    w.speed = new QSpinBox(w.dialog);
    w.speed->setObjectName(QStringLiteral("cine_speed"));
    w.speed->setRange(SPEED_MIN, SPEED_MAX);
    w.speed->setSuffix(QStringLiteral(" images/s"));
    w.gate = new QLabel(w.dialog);
    w.gate->setObjectName(QStringLiteral("cine_gate"));
    controls->addWidget(w.play);
    controls->addWidget(new QLabel(QStringLiteral("Vitesse :"), w.dialog));
    controls->addWidget(w.speed);
    controls->addSpacing(16);
    controls->addWidget(w.gate, 1);
    grid->addLayout(controls, 2, 0, 1, 3);
    w.curve = new QLabel(w.dialog);
    w.curve->setObjectName(QStringLiteral("function_curve"));
    w.text = new QLabel(w.dialog);
    w.text->setObjectName(QStringLiteral("function_text"));
    w.text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    w.text->setTextFormat(Qt::PlainText);
    w.text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    w.text->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    // On a screen too short for the warnings, the numbers and the note, the text scrolls
    // rather than losing its last lines under the window's edge.
    auto* scroll = w.scroll = new QScrollArea(w.dialog);
    scroll->setWidget(w.text);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* below = new QHBoxLayout;
    below->addWidget(w.curve, 0, Qt::AlignTop);
    below->addWidget(scroll, 1);
    grid->addLayout(below, 3, 0, 1, 3);

    w.timer = new QTimer(w.dialog);
    QObject::connect(w.timer, &QTimer::timeout, w.dialog, [] { function_window().show_gate(function_window().shown + 1); });
    QObject::connect(w.play, &QPushButton::clicked, w.dialog,
                     [] { function_window().set_playing(!function_window().timer->isActive()); });
    QObject::connect(w.speed, &QSpinBox::valueChanged, w.dialog, [](int v) {
        FunctionWindow& f = function_window();
        if (f.timer->isActive()) f.timer->start(1000 / v);
    });
}

}  // namespace

void vesmora_qt::show_function(HWND_ owner, const PlatFunctionView* v) {
    (void)owner;  // the main window owns it: one function window at a time
    FunctionWindow& w = function_window();
    if (v == nullptr) {  // another study: the window goes with the one it showed
        if (!w.dialog.isNull()) w.dialog->close();
        return;
    }
    const bool fresh = w.dialog.isNull();
    if (fresh) build(w);
    w.dialog->setWindowTitle(text_from_program(v->title ? v->title : ""));
    for (int k = 0; k < 3; k++) w.captions[k]->setText(text_from_program(v->captions[k] ? v->captions[k] : ""));
    w.frames.clear();
    w.gate_captions.clear();
    for (int g = 0; g < v->gates; g++) {
        for (int k = 0; k < 3; k++)
            w.frames.push_back(QPixmap::fromImage(
                picture_image(v->frames + (static_cast<std::size_t>(g) * 3 + k) * SIDE * SIDE * 3, SIDE, SIDE)));
        w.gate_captions << text_from_program(v->gate_captions && v->gate_captions[g] ? v->gate_captions[g] : "");
    }
    w.curve->setPixmap(v->curve ? QPixmap::fromImage(picture_image(v->curve, v->curve_width, v->curve_height)) : QPixmap());
    w.text->setText(text_from_program(v->text ? v->text : ""));
    // The program breaks the lines to `text_columns` characters of the fixed font.
    w.text->setMinimumWidth(QFontMetrics(w.text->font()).horizontalAdvance(QString(v->text_columns, QLatin1Char('0'))));
    w.scroll->setMinimumWidth(w.text->minimumWidth() + w.scroll->verticalScrollBar()->sizeHint().width());
    w.text->setStyleSheet(v->flagged ? QStringLiteral("color: #b00000;") : QString());
    w.speed->setValue(v->speed < SPEED_MIN ? SPEED_MIN : v->speed > SPEED_MAX ? SPEED_MAX : v->speed);
    // Without gates to run through (a gated study too large to keep them), no cine to play.
    w.play->setEnabled(v->gates > 1);
    w.speed->setEnabled(v->gates > 1);
    w.show_gate(0);
    w.set_playing(v->gates > 1);
    // The whole window when the screen has room for it (a first show keeps to two thirds of the
    // screen's height, which can hide the text's last lines), else as much as it has.
    if (fresh) {
        QSize size = w.dialog->sizeHint();
        if (const QScreen* screen = vesmora_qt::main_window()->screen())
            size = size.boundedTo(screen->availableGeometry().size() - QSize(0, 40));
        w.dialog->resize(size);
    }
    w.dialog->show();
    w.dialog->raise();
    w.dialog->activateWindow();
}

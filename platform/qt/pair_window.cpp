// The stress/rest comparison window of the desktop program (plat_show_pair): the three
// pictures and the texts the program made, shown as they are. One window, kept and refilled.
#include <QDialog>
#include <QFont>
#include <QFontDatabase>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QScrollArea>

#include "platform.h"
#include "picture_image.h"
#include "qt_backend.h"

namespace {

struct PairWindow {
    QPointer<QDialog> dialog;
    QLabel* pictures[3] = {};
    QLabel* captions[3] = {};
    QLabel* text = nullptr;
};

PairWindow& pair_window() {
    static PairWindow w;
    return w;
}

}  // namespace

void vesmora_qt::show_pair(HWND_ owner, const PlatPairView* v) {
    PairWindow& w = pair_window();
    if (w.dialog.isNull()) {
        (void)owner;  // the main window owns it: one comparison window at a time
        w.dialog = new QDialog(vesmora_qt::main_window());
        w.dialog->setAttribute(Qt::WA_DeleteOnClose);
        auto* grid = new QGridLayout(w.dialog);
        for (int k = 0; k < 3; k++) {
            w.captions[k] = new QLabel(w.dialog);
            w.captions[k]->setWordWrap(true);
            w.captions[k]->setAlignment(Qt::AlignCenter);
            w.pictures[k] = new QLabel(w.dialog);
            w.pictures[k]->setFixedSize(300, 300);
            w.pictures[k]->setScaledContents(true);
            grid->addWidget(w.captions[k], 0, k);
            grid->addWidget(w.pictures[k], 1, k, Qt::AlignCenter);
        }
        w.text = new QLabel(w.dialog);
        w.text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        w.text->setTextFormat(Qt::PlainText);
        w.text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* scroll = new QScrollArea(w.dialog);
        scroll->setWidget(w.text);
        scroll->setWidgetResizable(true);
        scroll->setMinimumHeight(360);
        grid->addWidget(scroll, 2, 0, 1, 3);
    }
    w.dialog->setWindowTitle(vesmora_qt::text_from_program(v->title ? v->title : ""));
    for (int k = 0; k < 3; k++) {
        w.captions[k]->setText(vesmora_qt::text_from_program(v->captions[k] ? v->captions[k] : ""));
        w.pictures[k]->setPixmap(v->pictures[k] ? QPixmap::fromImage(picture_image(v->pictures[k], 400, 400)) : QPixmap());
    }
    w.text->setText(vesmora_qt::text_from_program(v->text ? v->text : ""));
    w.dialog->show();
    w.dialog->raise();
    w.dialog->activateWindow();
}

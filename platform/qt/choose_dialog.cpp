// The chooser of the window services: a modal list, one line chosen ("Ouvrir") or none ("Annuler").
// A double click on a line chooses it.
#include <algorithm>

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "qt_backend.h"

int plat_choose_item(HWND_ owner, const char* title, const char* prompt, const char* const* items, int count) {
    if (count <= 0) return -1;
    QWidget* parent = owner ? vesmora_qt::widget_of(owner) : nullptr;
    QDialog dialog(parent);
    dialog.setWindowTitle(vesmora_qt::text_from_program(title ? title : ""));
    dialog.setModal(true);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(vesmora_qt::text_from_program(prompt ? prompt : ""), &dialog);
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);
    auto* list = new QListWidget(&dialog);
    for (int n = 0; n < count; n++) list->addItem(vesmora_qt::text_from_program(items[n] ? items[n] : ""));
    list->setCurrentRow(0);
    // Wide enough for its longest line (patient, date, description, images, gated), within the screen.
    list->setMinimumWidth(std::clamp(list->sizeHintForColumn(0) + 2 * list->frameWidth() + 8, 560, 1100));
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Ouvrir"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    if (dialog.exec() != QDialog::Accepted) return -1;
    const int row = list->currentRow();
    return row >= 0 && row < count ? row : -1;
}

// The archive's dialogs of the desktop program. Every network call (pacs.h) runs in a worker thread;
// the dialog learns its end through the thread's finished signal and, for a retrieval, reads its
// progress from shared counters ten times a second, so the window keeps drawing throughout.
#include "pacs_dialogs.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QDate>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "latin1.h"
#include "pacs.h"
#include "qt_backend.h"

namespace vesmora_qt {

namespace {

QString from_latin1(const std::string& s) { return QString::fromStdString(program_text_to_utf8(s)); }
std::string to_latin1(const QString& s) { return utf8_to_latin1(s.toStdString()); }

// Runs job in a worker thread, then done on the GUI thread while context lives. The job holds
// its own copies, so a dialog closed meanwhile leaves nothing dangling.
template <class Job, class Done>
void in_worker(QObject* context, Job job, Done done) {
    QThread* thread = QThread::create(std::move(job));
    QObject::connect(thread, &QThread::finished, context, std::move(done));
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

// The folders of the retrieved series: they stay until the program ends (the caption names the file).
std::vector<std::unique_ptr<QTemporaryDir>>& retrieved_folders() {
    static std::vector<std::unique_ptr<QTemporaryDir>> folders;
    return folders;
}

class SettingsDialog : public QDialog {
public:
    explicit SettingsDialog(QWidget* parent) : QDialog(parent) {
        setWindowTitle(QStringLiteral("Archive (PACS)"));
        pacs::Settings s;
        std::string error;
        const bool saved = pacs::load_settings(s, error);
        auto* form = new QFormLayout;
        aet_ = new QLineEdit(QString::fromStdString(s.aet));
        peer_aet_ = new QLineEdit(QString::fromStdString(s.peer_aet));
        host_ = new QLineEdit(QString::fromStdString(s.host));
        for (QLineEdit* e : {aet_, peer_aet_}) e->setMaxLength(16);
        aet_->setObjectName(QStringLiteral("aet"));
        peer_aet_->setObjectName(QStringLiteral("peer_aet"));
        host_->setObjectName(QStringLiteral("host"));
        port_ = spin(1, 65535, s.port, QString());
        connect_ = spin(1, pacs::MAX_CONNECT_TIMEOUT, s.connect_timeout, QStringLiteral(" s"));
        dimse_ = spin(1, pacs::MAX_DIMSE_TIMEOUT, s.dimse_timeout, QStringLiteral(" s"));
        transfer_ = spin(1, pacs::MAX_TRANSFER_TIMEOUT, s.transfer_timeout, QStringLiteral(" s"));
        form->addRow(QStringLiteral("Notre titre AE :"), aet_);
        form->addRow(QStringLiteral("Titre AE de l'archive :"), peer_aet_);
        form->addRow(QStringLiteral("H\u00F4te :"), host_);
        form->addRow(QStringLiteral("Port :"), port_);
        form->addRow(QStringLiteral("D\u00E9lai de connexion :"), connect_);
        form->addRow(QStringLiteral("D\u00E9lai par message :"), dimse_);
        form->addRow(QStringLiteral("D\u00E9lai d'un transfert :"), transfer_);
        // TLS: the authority that signs the archive's certificate, and ours when the archive asks for one.
        tls_ = new QCheckBox(QStringLiteral("Connexion chiffr\u00E9" "e (TLS)"));
        tls_->setObjectName(QStringLiteral("tls"));
        tls_->setChecked(s.tls);
        form->addRow(QString(), tls_);
        ca_ = pem_row(form, QStringLiteral("Autorit\u00E9 (CA) :"), QStringLiteral("tls_ca"), s.ca);
        cert_ = pem_row(form, QStringLiteral("Notre certificat :"), QStringLiteral("tls_cert"), s.cert);
        key_ = pem_row(form, QStringLiteral("Notre cl\u00E9 priv\u00E9" "e :"), QStringLiteral("tls_key"), s.key);
        status_ = new QLabel(saved ? QString() : QStringLiteral("Aucune archive configur\u00E9" "e."));
        status_->setObjectName(QStringLiteral("status"));
        status_->setWordWrap(true);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
        buttons->button(QDialogButtonBox::Save)->setText(QStringLiteral("Enregistrer"));
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
        test_ = buttons->addButton(QStringLiteral("Tester"), QDialogButtonBox::ActionRole);
        connect(test_, &QPushButton::clicked, this, [this] { test(); });
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(form);
        layout->addWidget(status_);
        layout->addWidget(buttons);
        setMinimumWidth(420);
    }

    void accept() override {
        std::string error;
        if (!pacs::save_settings(current(), error)) {
            status_->setText(from_latin1(error));
            return;
        }
        QDialog::accept();
    }

private:
    static QSpinBox* spin(int low, int high, int value, const QString& suffix) {
        auto* b = new QSpinBox;
        b->setRange(low, high);
        b->setValue(value);
        b->setSuffix(suffix);
        return b;
    }
    // A PEM file's path with its "…" button; enabled with the TLS box.
    QLineEdit* pem_row(QFormLayout* form, const QString& label, const QString& name, const std::string& path) {
        auto* edit = new QLineEdit(QString::fromStdString(path));
        edit->setObjectName(name);
        auto* browse = new QPushButton(QStringLiteral("\u2026"));
        auto* row = new QHBoxLayout;
        row->addWidget(edit);
        row->addWidget(browse);
        form->addRow(label, row);
        connect(browse, &QPushButton::clicked, this, [this, edit, label] {
            const QString f = QFileDialog::getOpenFileName(this, label, edit->text(),
                                                           QStringLiteral("Certificats PEM (*.pem *.crt *.key);;Tous (*)"));
            if (!f.isEmpty()) edit->setText(f);
        });
        for (QWidget* w : {static_cast<QWidget*>(edit), static_cast<QWidget*>(browse)}) {
            w->setEnabled(tls_->isChecked());
            connect(tls_, &QCheckBox::toggled, w, &QWidget::setEnabled);
        }
        return edit;
    }
    pacs::Settings current() const {
        pacs::Settings s;
        s.tls = tls_->isChecked();
        s.ca = ca_->text().trimmed().toStdString();  // paths stay in the system's bytes
        s.cert = cert_->text().trimmed().toStdString();
        s.key = key_->text().trimmed().toStdString();
        s.aet = to_latin1(aet_->text().trimmed());
        s.peer_aet = to_latin1(peer_aet_->text().trimmed());
        s.host = to_latin1(host_->text().trimmed());
        s.port = port_->value();
        s.connect_timeout = connect_->value();
        s.dimse_timeout = dimse_->value();
        s.transfer_timeout = transfer_->value();
        return s;
    }
    // C-ECHO with the values on screen, saved or not.
    void test() {
        const pacs::Settings s = current();
        const std::string why = pacs::check_settings(s);
        if (!why.empty()) {
            status_->setText(from_latin1("R\xE9glages invalides : " + why));
            return;
        }
        test_->setEnabled(false);
        status_->setText(QStringLiteral("Test en cours\u2026"));
        auto result = std::make_shared<std::pair<bool, std::string>>();
        in_worker(
            this, [s, result] { result->first = pacs::echo(s, result->second); },
            [this, result] {
                test_->setEnabled(true);
                status_->setText(result->first ? QStringLiteral("L'archive r\u00E9pond (C-ECHO).")
                                               : from_latin1(result->second));
            });
    }

    QLineEdit *aet_, *peer_aet_, *host_;
    QSpinBox *port_, *connect_, *dimse_, *transfer_;
    QCheckBox* tls_;
    QLineEdit *ca_, *cert_, *key_;
    QLabel* status_;
    QPushButton* test_;
};

// What a retrieval shares with its worker.
struct Retrieval {
    std::atomic<bool> cancel{false};
    std::atomic<int> done{0}, total{0};
    std::atomic<unsigned long> bytes{0};
    bool ok = false;
    std::vector<std::string> files;
    std::string error;
};

class OpenDialog : public QDialog {
public:
    QString chosen;  // the retrieved file to open, once accepted

    explicit OpenDialog(QWidget* parent) : QDialog(parent) {
        setWindowTitle(QStringLiteral("Ouvrir depuis le PACS"));
        patient_ = new QLineEdit;
        patient_->setObjectName(QStringLiteral("patient"));
        patient_->setPlaceholderText(QStringLiteral("d\u00E9but du nom, * et ? permis"));
        all_dates_ = new QCheckBox(QStringLiteral("Toutes les dates"));
        all_dates_->setChecked(true);
        from_ = date_edit(QDate::currentDate().addMonths(-1));
        to_ = date_edit(QDate::currentDate());
        auto enable_dates = [this] {
            from_->setEnabled(!all_dates_->isChecked());
            to_->setEnabled(!all_dates_->isChecked());
        };
        connect(all_dates_, &QCheckBox::toggled, this, enable_dates);
        enable_dates();
        search_ = new QPushButton(QStringLiteral("Rechercher"));
        search_->setDefault(true);
        connect(search_, &QPushButton::clicked, this, [this] { search(); });
        connect(patient_, &QLineEdit::returnPressed, this, [this] { search(); });

        auto* criteria = new QHBoxLayout;
        criteria->addWidget(new QLabel(QStringLiteral("Patient :")));
        criteria->addWidget(patient_, 1);
        criteria->addWidget(all_dates_);
        criteria->addWidget(new QLabel(QStringLiteral("Du")));
        criteria->addWidget(from_);
        criteria->addWidget(new QLabel(QStringLiteral("au")));
        criteria->addWidget(to_);
        criteria->addWidget(search_);

        table_ = new QTableWidget(0, 5);
        table_->setObjectName(QStringLiteral("series"));
        table_->setHorizontalHeaderLabels({QStringLiteral("Patient"), QStringLiteral("Date"),
                                           QStringLiteral("Description"), QStringLiteral("Coupes"),
                                           QStringLiteral("Synchronis\u00E9e")});
        table_->setSelectionBehavior(QAbstractItemView::SelectRows);
        table_->setSelectionMode(QAbstractItemView::SingleSelection);
        table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
        table_->verticalHeader()->hide();
        connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { retrieve(); });

        status_ = new QLabel;
        status_->setObjectName(QStringLiteral("status"));
        status_->setWordWrap(true);
        auto* buttons = new QDialogButtonBox;
        open_ = buttons->addButton(QStringLiteral("Ouvrir"), QDialogButtonBox::AcceptRole);
        open_->setEnabled(false);
        buttons->addButton(QStringLiteral("Fermer"), QDialogButtonBox::RejectRole);
        connect(open_, &QPushButton::clicked, this, [this] { retrieve(); });
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(table_, &QTableWidget::itemSelectionChanged, this,
                [this] { open_->setEnabled(!busy_ && !table_->selectedItems().isEmpty()); });

        auto* layout = new QVBoxLayout(this);
        layout->addLayout(criteria);
        layout->addWidget(table_, 1);
        layout->addWidget(status_);
        layout->addWidget(buttons);
        resize(760, 420);
    }

    void reject() override {
        if (!busy_) QDialog::reject();  // a running search or retrieval ends first (its time-outs bound it)
    }

private:
    static QDateEdit* date_edit(const QDate& d) {
        auto* e = new QDateEdit(d);
        e->setCalendarPopup(true);
        e->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        return e;
    }
    void set_busy(bool busy) {
        busy_ = busy;
        search_->setEnabled(!busy);
        open_->setEnabled(!busy && !table_->selectedItems().isEmpty());
    }
    bool settings(pacs::Settings& s) {
        std::string error;
        if (pacs::load_settings(s, error)) return true;
        status_->setText(from_latin1(error) + QStringLiteral(" (\u00AB Fichier \u00BB \u2192 \u00AB Archive (PACS)\u2026 \u00BB)"));
        return false;
    }

    void search() {
        pacs::Settings s;
        if (busy_ || !settings(s)) return;
        pacs::Query q;
        q.patient = to_latin1(patient_->text().trimmed());
        if (!all_dates_->isChecked()) {
            q.date_from = from_->date().toString(QStringLiteral("yyyyMMdd")).toStdString();
            q.date_to = to_->date().toString(QStringLiteral("yyyyMMdd")).toStdString();
        }
        set_busy(true);
        status_->setText(QStringLiteral("Recherche en cours\u2026"));
        struct Found {
            bool ok = false;
            std::vector<pacs::SeriesRow> rows;
            std::string error;
        };
        auto found = std::make_shared<Found>();
        in_worker(
            this, [s, q, found] { found->ok = pacs::find(s, q, found->rows, found->error); },
            [this, found] {
                set_busy(false);
                if (!found->ok) {
                    status_->setText(from_latin1(found->error));
                    return;
                }
                rows_ = found->rows;
                table_->setRowCount(0);
                for (const pacs::SeriesRow& r : rows_) {
                    const int n = table_->rowCount();
                    table_->insertRow(n);
                    table_->setItem(n, 0, new QTableWidgetItem(from_latin1(r.patient)));
                    table_->setItem(n, 1, new QTableWidgetItem(from_latin1(r.date)));
                    table_->setItem(n, 2, new QTableWidgetItem(from_latin1(r.description)));
                    auto* frames = new QTableWidgetItem(QString::number(r.frames));
                    frames->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                    table_->setItem(n, 3, frames);
                    table_->setItem(n, 4, new QTableWidgetItem(from_latin1(pacs::gated_text(r))));
                }
                table_->resizeColumnToContents(0);
                status_->setText(QStringLiteral("%1 s\u00E9rie(s) NM").arg(rows_.size()));
            });
    }

    // The chosen series into a temporary folder, with a cancellable progress dialog; then the
    // dialog closes and the file opens as "Ouvrir" opens it.
    void retrieve() {
        const QList<QTableWidgetItem*> selected = table_->selectedItems();
        pacs::Settings s;
        if (busy_ || selected.isEmpty() || !settings(s)) return;
        const pacs::SeriesRow row = rows_[size_t(selected.first()->row())];
        auto folder = std::make_shared<std::unique_ptr<QTemporaryDir>>(
            std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vesmora-pacs-XXXXXX")));
        if (!(*folder)->isValid()) {
            status_->setText(QStringLiteral("Impossible de cr\u00E9er un dossier temporaire."));
            return;
        }
        const std::string dir = QFile::encodeName((*folder)->path() + QStringLiteral("/serie")).toStdString();
        set_busy(true);
        status_->clear();
        auto* progress = new QProgressDialog(QStringLiteral("R\u00E9cup\u00E9ration de la s\u00E9rie\u2026"),
                                             QStringLiteral("Annuler"), 0, 0, this);
        progress->setWindowTitle(QStringLiteral("Ouvrir depuis le PACS"));
        progress->setWindowModality(Qt::WindowModal);
        progress->setAutoClose(false);
        progress->setAutoReset(false);
        progress->setMinimumDuration(0);
        auto state = std::make_shared<Retrieval>();
        connect(progress, &QProgressDialog::canceled, this, [state, progress] {
            state->cancel = true;
            progress->setLabelText(QStringLiteral("Annulation\u2026"));
            progress->show();  // canceled() hides it: it stays until the worker has stopped
        });
        auto* timer = new QTimer(progress);
        connect(timer, &QTimer::timeout, progress, [state, progress] {
            if (state->cancel) return;
            const int total = state->total, done = state->done;
            if (total > 0) {
                progress->setMaximum(total);
                progress->setValue(done);
            }
            progress->setLabelText(QStringLiteral("R\u00E9cup\u00E9ration de la s\u00E9rie\u2026 %1 / %2 instance(s), %3 Ko")
                                       .arg(done)
                                       .arg(total > 0 ? QString::number(total) : QStringLiteral("?"))
                                       .arg(state->bytes / 1024));
        });
        timer->start(100);
        progress->show();
        in_worker(
            this,
            [s, uid = row.series_uid, dir, state] {
                state->ok = pacs::get_series(s, uid, dir, state->files, state->error,
                                             [state](int done, int total, unsigned long bytes) {
                                                 state->done = done;
                                                 state->total = total;
                                                 state->bytes = bytes;
                                                 return !state->cancel;
                                             });
            },
            [this, state, progress, folder] {
                progress->deleteLater();
                set_busy(false);
                if (state->ok && !state->files.empty()) {
                    retrieved_folders().push_back(std::move(*folder));
                    chosen = QFile::decodeName(QByteArray::fromStdString(state->files.front()));
                    accept();
                    return;
                }
                if (state->cancel) {
                    status_->setText(QStringLiteral("R\u00E9cup\u00E9ration annul\u00E9" "e."));
                    return;
                }
                QMessageBox::warning(this, QStringLiteral("Ouvrir depuis le PACS"), from_latin1(state->error));
            });
    }

    QLineEdit* patient_;
    QCheckBox* all_dates_;
    QDateEdit *from_, *to_;
    QPushButton *search_, *open_;
    QTableWidget* table_;
    QLabel* status_;
    std::vector<pacs::SeriesRow> rows_;
    bool busy_ = false;
};

}  // namespace

void show_pacs_settings(QWidget* parent) {
    SettingsDialog d(parent);
    d.exec();
}

bool pacs_configured() {
    pacs::Settings s;
    std::string error;
    return pacs::load_settings(s, error);
}

void show_open_from_pacs(QWidget* parent) {
    OpenDialog d(parent);
    if (d.exec() == QDialog::Accepted && !d.chosen.isEmpty()) open_study(d.chosen);
}

}  // namespace vesmora_qt

// make-guide: turns the French user guide (docs/aide.md) into Aide.pdf, with
// screenshots of the real window taken now by the program itself.
//
//   make-guide GUIDE.md SAMPLE.dcm OUT.pdf [--shots DIR]
//
// The program starts as the desktop executable starts it (the Qt back end, on
// whatever platform QT_QPA_PLATFORM names; the build uses "offscreen"), opens
// SAMPLE as "Ouvrir" would, and is driven through the program's own messages:
// "Centrer volume", the drags of the example analysis, "Résultats" and the
// result buttons. After each step the main window is grabbed with the pop-ups
// that stand over it. Qt's Markdown reader lays out the guide, its images are
// these screenshots (by file name), and QPdfWriter writes an A4 PDF. The
// screenshots are also written to DIR (default: beside OUT.pdf).
//
// A box shown by the program (a refused sample, a missing PALETS) would wait for
// a click that never comes: the tool prints its text and fails instead.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QMainWindow>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

#include "layout.h"
#include "main.h"
#include "qt_backend.h"
#include "write_whole.h"

namespace {

[[noreturn]] void fail(const QString& why) {
    std::fprintf(stderr, "make-guide: %s\n", why.toLocal8Bit().constData());
    std::exit(1);
}

// Every 200 ms: a modal box means the program is waiting for a person.
void watch_for_boxes(QApplication& app) {
    auto* timer = new QTimer(&app);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            QString text = w->windowTitle();
            if (auto* box = qobject_cast<QMessageBox*>(w)) text += QStringLiteral(" | ") + box->text();
            fail(QStringLiteral("the program shows a box: ") + text);
        }
    });
    timer->start(200);
}

void send(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) { plat_send_message(WINDOW, msg, wparam, lparam); }
void command(int id) { send(VM_COMMAND, static_cast<std::uintptr_t>(id), 0); }
std::intptr_t at(int x, int y) { return static_cast<std::intptr_t>(MAKE_PARAM(x, y)); }

// A drag in client pixels, as the mouse makes it: press, moves, release.
void drag(bool right, int x0, int y0, int x1, int y1) {
    send(right ? VM_RBUTTONDOWN : VM_LBUTTONDOWN, 0, at(x0, y0));
    send(VM_MOUSEMOVE, 0, at((x0 + x1) / 2, (y0 + y1) / 2));
    send(VM_MOUSEMOVE, 0, at(x1, y1));
    send(right ? VM_RBUTTONUP : VM_LBUTTONUP, 0, at(x1, y1));
}

// The main window as the user sees it (menu bar and client area), with every
// visible pop-up painted at its place over it; `client` crops to a rectangle of
// the client area (empty: the whole window).
QImage grab_window(const QRect& client = QRect()) {
    QApplication::processEvents();
    QMainWindow* mw = vesmora_qt::main_window();
    QImage shot = mw->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QPainter p(&shot);
    const QPoint origin = mw->geometry().topLeft();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == mw || !w->isVisible() || w->windowType() == Qt::Desktop) continue;
        p.drawPixmap(w->geometry().topLeft() - origin, w->grab());
    }
    p.end();
    if (client.isEmpty()) return shot;
    const QPoint c = vesmora_qt::client_area()->mapTo(mw, QPoint(0, 0));
    return shot.copy(client.translated(c));
}

std::map<QString, QImage> take_screenshots(const QString& sample) {
    STARTUP();
    QApplication::processEvents();
    vesmora_qt::open_study(sample);
    if (load_ok != 1) fail(QStringLiteral("the sample study was not opened: ") + sample);

    // The model of the example analysis (examples/analysis.replay): placed at the
    // slices shown after the load, then shaped with both buttons.
    command(ID_PALETTE_NEXT);  // palette 2, Hot Iron
    command(ID_PALETTE_NEXT);
    command(ID_PLACE_MODEL);
    drag(false, 750, 120, 700, 170);  // short axis: transverse semi-axes 50 -> 25
    drag(false, 60, 100, 60, 120);    // horizontal long axis: long semi-axis 80 -> 70
    drag(true, 750, 120, 744, 126);   // inner: transverse 20 -> 17
    drag(true, 60, 150, 60, 86);      // inner: long 30 -> 62
    command(ID_RESULTS);
    if (res_ok != 1) fail(QStringLiteral("no results"));

    std::map<QString, QImage> shots;
    const QRect lower(0, 330, CLIENT_WIDTH, CLIENT_HEIGHT - 330);  // buttons, texts and the results picture
    send(VM_MOUSEMOVE, 0, at(RES_X0 + 200, RES_Y0 + 120));        // hover: "Fixation : ..."
    shots[QStringLiteral("fenetre-analyse.png")] = grab_window();
    command(ID_SHOW_SECTORS);
    send(VM_MOUSEMOVE, 0, at(RES_X0 + 200, RES_Y0 + 62));  // over sector 1
    shots[QStringLiteral("resultats-secteurs.png")] = grab_window(lower);
    command(ID_SHOW_LATERAL);
    send(VM_MOUSEMOVE, 0, at(RES_X1 + 10, RES_Y0 + 10));  // off the picture: no hover text
    shots[QStringLiteral("resultats-lateral.png")] = grab_window(lower);
    return shots;
}

// Tables: a thin rule under each row, text at the top of its cell, header shaded and bold.
void style_tables(QTextFrame* frame) {
    for (QTextFrame* child : frame->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(child)) {
            QTextTableFormat f = table->format();
            f.setBorder(0);
            f.setBorderCollapse(true);
            f.setCellPadding(3);
            f.setCellSpacing(0);
            f.setWidth(QTextLength(QTextLength::PercentageLength, 100));
            f.setHeaderRowCount(1);
            table->setFormat(f);
            for (int r = 0; r < table->rows(); r++)
                for (int c = 0; c < table->columns(); c++) {
                    QTextTableCell cell = table->cellAt(r, c);
                    QTextTableCellFormat top = cell.format().toTableCellFormat();
                    top.setVerticalAlignment(QTextCharFormat::AlignTop);
                    top.setBottomBorder(0.5);
                    top.setBottomBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                    top.setBottomBorderBrush(QColor(190, 190, 190));
                    cell.setFormat(top);
                }
            for (int c = 0; c < table->columns(); c++) {
                QTextTableCell cell = table->cellAt(0, c);
                QTextCharFormat bold;
                bold.setFontWeight(QFont::Bold);
                QTextCursor cur = cell.firstCursorPosition();
                cur.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
                cur.mergeCharFormat(bold);
                QTextTableCellFormat shade = cell.format().toTableCellFormat();
                shade.setBackground(QColor(232, 232, 232));
                cell.setFormat(shade);
            }
        }
        style_tables(child);
    }
}

// Images at most the text's width (in layout units), keeping their
// proportions; every image the guide names must be one of the screenshots.
void fit_images(QTextDocument& doc, const std::map<QString, QImage>& shots, qreal text_width) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextFragment frag = it.fragment();
            if (!frag.charFormat().isImageFormat()) continue;
            QTextImageFormat img = frag.charFormat().toImageFormat();
            auto found = shots.find(img.name());
            if (found == shots.end()) fail(QStringLiteral("the guide names an image the tool did not take: ") + img.name());
            const QSize s = found->second.size();
            const qreal w = s.width() < text_width ? s.width() : text_width;
            img.setWidth(w);
            img.setHeight(w * s.height() / s.width());
            QTextCursor cur(&doc);
            cur.setPosition(frag.position());
            cur.setPosition(frag.position() + frag.length(), QTextCursor::KeepAnchor);
            cur.setCharFormat(img);
        }
    }
}

// French typography: the blank inside guillemets and before ":", ";", "?" and
// "!" does not break, so "»" never starts a line.
QString french_spacing(QString text) {
    const QChar nbsp(0x00A0);
    text.replace(QStringLiteral("\u00AB "), QString(QChar(0x00AB)) + nbsp);
    text.replace(QStringLiteral(" \u00BB"), QString(nbsp) + QChar(0x00BB));
    for (const char* mark : {" :", " ;", " ?", " !"})
        text.replace(QString::fromLatin1(mark), QString(nbsp) + QChar::fromLatin1(mark[1]));
    return text;
}

// Lays the whole document out again now: after a change of format the layout
// is otherwise redone lazily, and positions read or pages drawn would be stale.
void relayout(QTextDocument& doc) {
    doc.markContentsDirty(0, doc.characterCount());
    doc.documentLayout()->documentSize();
}

// A heading never ends a page: one with less than four lines of room under it
// starts the next page (set one at a time, each after the layout has moved).
void keep_headings_with_text(QTextDocument& doc, qreal body_h) {
    const qreal room = 4 * QFontMetricsF(doc.defaultFont()).lineSpacing();
    relayout(doc);
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b.blockFormat().headingLevel() == 0) continue;
        const QRectF r = doc.documentLayout()->blockBoundingRect(b);
        const qreal page_end = (std::floor(r.top() / body_h) + 1) * body_h;
        if (page_end - r.bottom() < room) {
            QTextBlockFormat f = b.blockFormat();
            f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(b).setBlockFormat(f);
            relayout(doc);
        }
    }
}

// A4 at 96 layout units per inch (the units of the text layout), 20 mm margins
// and a footer line with the page number.
constexpr qreal UNITS_PER_MM = 96.0 / 25.4;
constexpr qreal PAGE_W = 210.0 * UNITS_PER_MM, PAGE_H = 297.0 * UNITS_PER_MM, MARGIN = 20.0 * UNITS_PER_MM;
constexpr qreal FOOTER = 8.0 * UNITS_PER_MM;

// The guide into the PDF file `out`; false when the painter could not finish it.
bool write_pdf(const QString& markdown_path, const std::map<QString, QImage>& shots, const QString& out) {
    QFile md(markdown_path);
    if (!md.open(QIODevice::ReadOnly)) fail(QStringLiteral("cannot read ") + markdown_path);
    QTextDocument doc;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(9.5);
    doc.setDefaultFont(font);
    doc.setMarkdown(french_spacing(QString::fromUtf8(md.readAll())), QTextDocument::MarkdownDialectGitHub);
    // After the Markdown: reading it clears the document's resources.
    for (const auto& [name, image] : shots) doc.addResource(QTextDocument::ImageResource, QUrl(name), image);
    style_tables(doc.rootFrame());
    const qreal text_w = PAGE_W - 2 * MARGIN, body_h = PAGE_H - 2 * MARGIN - FOOTER;
    fit_images(doc, shots, text_w);
    doc.setDocumentMargin(0);
    doc.setPageSize(QSizeF(text_w, body_h));  // the layout breaks pages itself
    keep_headings_with_text(doc, body_h);

    QPdfWriter pdf(out);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(300);
    pdf.setTitle(QStringLiteral("Vesmora \u2014 Guide de l'utilisateur"));
    pdf.setCreator(QStringLiteral("Vesmora make-guide"));
    QPainter p(&pdf);
    const qreal scale = pdf.resolution() / 96.0;
    const int pages = doc.pageCount();
    QFont small = font;
    small.setPointSizeF(8);
    for (int page = 0; page < pages; page++) {
        if (page > 0) pdf.newPage();
        p.save();
        p.scale(scale, scale);
        p.translate(MARGIN, MARGIN - page * body_h);
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.clip = QRectF(0, page * body_h, text_w, body_h);
        p.setClipRect(ctx.clip);
        doc.documentLayout()->draw(&p, ctx);
        p.restore();
        // The footer in device pixels: the font's points are the writer's own.
        p.setFont(small);
        p.setPen(QColor(90, 90, 90));
        const QRectF footer(MARGIN * scale, (PAGE_H - MARGIN - FOOTER / 2) * scale, text_w * scale, FOOTER * scale);
        p.drawText(footer, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Vesmora \u2014 Guide de l'utilisateur"));
        p.drawText(footer, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1 / %2").arg(page + 1).arg(pages));
    }
    return p.end();
}

// Every file of the guide is written whole (write beside, then rename): an interrupted build
// never leaves half a PDF for the package to take.
void write_whole_or_fail(const QString& path, const std::function<bool(const QString& temporary)>& write) {
    std::string error;
    const bool ok = write_whole(
        QFile::encodeName(path).toStdString(),
        [&write](const std::string& temporary, std::string&) { return write(QFile::decodeName(temporary.c_str())); },
        error);
    if (!ok) fail(QString::fromStdString(program_text_to_utf8(error)));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    QString shots_dir;
    const int s = static_cast<int>(args.indexOf(QStringLiteral("--shots")));
    if (s >= 0 && s + 1 < args.size()) {
        shots_dir = args[s + 1];
        args.remove(s, 2);
    }
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: make-guide GUIDE.md SAMPLE.dcm OUT.pdf [--shots DIR]\n");
        return 2;
    }
    if (shots_dir.isEmpty()) shots_dir = QFileInfo(args[2]).absolutePath();
    watch_for_boxes(app);

    const std::map<QString, QImage> shots = take_screenshots(args[1]);
    QDir().mkpath(shots_dir);
    for (const auto& [name, image] : shots)
        write_whole_or_fail(QDir(shots_dir).filePath(name),
                            [&image](const QString& temporary) { return image.save(temporary, "PNG"); });
    write_whole_or_fail(args[2], [&](const QString& temporary) { return write_pdf(args[0], shots, temporary); });
    return 0;
}

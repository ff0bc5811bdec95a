// The report page, the PNG pictures and the checksum of the file analysed.
//
//   1. pictures      the program's own drawing, into buffers of the report's own
//   2. report page   one A4 page in French, drawn by QPainter in tenths of a millimetre
//   3. outputs       PNG files, the PDF, the RGB page (each file written whole, then renamed)
#include "report.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <tuple>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#ifdef VESMORA_HAVE_OPENSSL_SHA
#include <openssl/evp.h>
#endif

#include "Clinical_Summary.h"
#include "Display.h"
#include "Gated_Function.h"
#include "Model_Place.h"
#include "Results.h"
#include "Stress_Rest.h"
#include "main.h"
#include "picture_image.h"
#include "sectors.h"
#include "version.h"
#include "write_whole.h"


namespace {

// =============================================================================================
// 1. Pictures
// =============================================================================================

// A result picture (a RES_ code) as the program draws it, in the palette and mark
// colour given, into a buffer of its own: the window's pictures are not touched.
QImage result_picture(int which, int pal, int overlay) {
    std::vector<unsigned char> buf(RES_BYTES);
    DRAW_RES(buf.data(), which, pal, overlay);
    return picture_image(buf.data(), 400, 400);
}

// The three views as the window shows them now (its palette), drawn into buffers of their own.
void draw_views(QImage& hla, QImage& vla, QImage& sa) {
    std::vector<unsigned char> bufs[3];
    for (auto& b : bufs) b.assign(VIEW_BYTES, 0);
    DRAW_VIEWS(bufs[0].data(), bufs[1].data(), bufs[2].data(), palet);
    hla = picture_image(bufs[0].data(), 256, 256);
    vla = picture_image(bufs[1].data(), 256, 256);
    sa = picture_image(bufs[2].data(), 256, 256);
}

// Colour of palette step v (0..100) of the report's palette.
QColor report_colour(int v) {
    const PaletteColour c = palette_rgb(REPORT_PALETTE, v);
    return QColor(c.r, c.g, c.b);
}

// =============================================================================================
// 2. Report page
// =============================================================================================
// The page in tenths of a millimetre: A4 is 2100 x 2970.
constexpr int PAGE_W = 2100, PAGE_H = 2970;
constexpr int MARGIN = 140;
constexpr int RGB_W = 1240, RGB_H = 1754;  // A4 at 150 dots per inch

const QColor INK(30, 30, 30), GREY(110, 110, 110), RULE(180, 180, 180), ACCENT(25, 70, 120);

// A program text (Windows-1252) for Qt, through the one conversion of the code base.
QString text_of(const char* s) { return QString::fromStdString(latin1_to_utf8(s ? s : "")); }
QString latin1(const char* s) { return text_of(s).trimmed(); }
QString or_dash(const QString& s) { return s.isEmpty() ? QStringLiteral("\u2014") : s; }
QString decimal(double v, int digits) { return QString::number(v, 'f', digits).replace('.', ','); }

// Light row colours of the scores 0..4 (and of the bands normal .. severe): green to red.
QColor score_tint(int score) {
    static const QColor tint[5] = {QColor(226, 242, 227), QColor(255, 246, 196), QColor(255, 224, 178),
                                   QColor(255, 196, 180), QColor(240, 150, 150)};
    return tint[score < 0 ? 0 : score > 4 ? 4 : score];
}

QFont font(int size, bool bold = false, bool mono = false) {
    QFont f(mono ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
    f.setStyleHint(mono ? QFont::Monospace : QFont::SansSerif);
    f.setPixelSize(size);  // logical units: tenths of a millimetre
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferNoShaping);  // no "ff" ligature: the PDF's text reads and searches as written
    return f;
}

void text(QPainter& p, const QRectF& r, const QString& s, const QFont& f, int flags = Qt::AlignLeft | Qt::AlignVCenter,
          const QColor& c = INK) {
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, flags, s);
}

void section_title(QPainter& p, double x, double y, double w, const QString& s) {
    text(p, QRectF(x, y, w, 50), s, font(34, true), Qt::AlignLeft | Qt::AlignVCenter, ACCENT);
    p.setPen(QPen(ACCENT, 3));
    p.drawLine(QPointF(x, y + 54), QPointF(x + w, y + 54));
}

void patient_block(QPainter& p, double y) {
    const double x = MARGIN, w = PAGE_W - 2 * MARGIN;
    p.setPen(QPen(RULE, 2));
    p.setBrush(QColor(246, 248, 251));
    p.drawRoundedRect(QRectF(x, y, w, 190), 12, 12);
    const QString sex = latin1(PAT_SEX);
    const QString sex_shown = sex == QLatin1String("M")   ? QStringLiteral("M (masculin)")
                              : sex == QLatin1String("F") ? QStringLiteral("F (f\u00E9minin)")
                                                          : sex;
    QString age = latin1(PAT_AGE);
    bool digits = !age.isEmpty();
    for (QChar c : age) digits = digits && c.isDigit();
    if (digits) age += QStringLiteral(" ans");
    // An age the file does not give is worked out from the birth and exam dates: said so.
    if (PAT_AGE_COMPUTED == 1 && !age.isEmpty()) age += QStringLiteral(" (calcul\u00E9)");
    const QFont label = font(30);
    // A value is never cut: it takes the largest size at which it fits its box, on two
    // lines if need be, and breaks anywhere as a last resort.
    auto fitted = [&](const QRectF& r, const QString& v) {
        const QString shown = or_dash(v);
        for (int size : {30, 26, 23, 20, 17}) {
            const QFont f = font(size, true);
            const QRectF need = QFontMetricsF(f).boundingRect(r, Qt::TextWordWrap | Qt::AlignVCenter, shown);
            if (need.height() <= r.height() && need.width() <= r.width()) {
                text(p, r, shown, f, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap);
                return;
            }
        }
        text(p, r, shown, font(17, true), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWrapAnywhere);
    };
    auto field = [&](double fx, double fy, double fw, const QString& name, const QString& v) {
        text(p, QRectF(fx, fy, 190, 50), name, label, Qt::AlignLeft | Qt::AlignVCenter, GREY);
        fitted(QRectF(fx + 190, fy, fw - 190, 50), v);
    };
    // The name on its own line across the block (up to two lines), then two rows of three.
    text(p, QRectF(x + 30, y + 6, 190, 70), QStringLiteral("Patient"), label, Qt::AlignLeft | Qt::AlignVCenter, GREY);
    fitted(QRectF(x + 220, y + 6, w - 250, 70), latin1(PAT_NAME));
    const double c1 = x + 30, c2 = x + 640, c3 = x + 1250, cw = 600;
    field(c1, y + 78, cw, QStringLiteral("Sexe"), sex_shown);
    field(c2, y + 78, cw, QStringLiteral("\u00C2ge"), age);
    field(c3, y + 78, w - 1250, QStringLiteral("Examen du"), latin1(ACQ_DATE));
    field(c1, y + 130, cw, QStringLiteral("N\u00E9(e) le"), latin1(PAT_DATE));
    field(c2, y + 130, w - 640, QStringLiteral("Identifiant"), latin1(PAT_ID));
}

// A result picture with its caption and the wall each side faces (anterior up, septum left,
// inferior down, lateral right, as the polar map is drawn); the segment numbers are written
// over the score map where the program's label windows stand. The picture's square stands
// at (x + LABEL_W, y + 95); the whole takes side + 2 LABEL_W across and side + 135 down.
constexpr double LABEL_W = 80;

void picture(QPainter& p, const QImage& img, double x, double y, double side, const QString& caption, bool numbers) {
    const double full = side + 2 * LABEL_W;
    text(p, QRectF(x, y, full, 50), caption, font(30, true), Qt::AlignHCenter | Qt::AlignVCenter);
    const QRectF r(x + LABEL_W, y + 95, side, side);
    const QFont orient = font(24, true);
    text(p, QRectF(r.left(), r.top() - 40, side, 36), QStringLiteral("ANT"), orient, Qt::AlignCenter, GREY);
    text(p, QRectF(r.left(), r.bottom() + 4, side, 36), QStringLiteral("INF"), orient, Qt::AlignCenter, GREY);
    text(p, QRectF(x, r.center().y() - 18, LABEL_W - 8, 36), QStringLiteral("SEPT"), orient,
         Qt::AlignRight | Qt::AlignVCenter, GREY);
    text(p, QRectF(r.right() + 8, r.center().y() - 18, LABEL_W - 8, 36), QStringLiteral("LAT"), orient,
         Qt::AlignLeft | Qt::AlignVCenter, GREY);
    p.drawImage(r, img);
    p.setPen(QPen(RULE, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
    if (!numbers) return;
    const double scale = side / 400.0;
    const QFont f = font(24, true);
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        // The label windows are centred on these offsets from the picture's centre.
        const QPointF c(r.left() + (200.0 + sectposi[n]) * scale, r.top() + (200.0 + sectposj[n]) * scale);
        const QRectF box(c.x() - 22, c.y() - 17, 44, 34);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 215));
        p.drawRoundedRect(box, 8, 8);
        text(p, box, QString::number(n), f, Qt::AlignCenter);
    }
}

// The uptake scale of the page's palette, 0 to 100 %.
void palette_bar(QPainter& p, double x, double y, double w) {
    const double h = 60;
    for (int v = 0; v <= 100; v++) {
        p.setPen(Qt::NoPen);
        p.setBrush(report_colour(v));
        p.drawRect(QRectF(x + w * v / 101.0, y, w / 101.0 + 0.6, h));
    }
    p.setPen(QPen(RULE, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(x, y, w, h));
    const QFont f = font(22);
    for (int v = 0; v <= 100; v += 20) {  // the end labels stay within the bar's width
        const double tx = x + w * v / 100.0;
        const QRectF r = v == 0 ? QRectF(tx, y + h + 4, 120, 34) : v == 100 ? QRectF(tx - 120, y + h + 4, 120, 34)
                                                                            : QRectF(tx - 60, y + h + 4, 120, 34);
        const int align = v == 0 ? Qt::AlignLeft : v == 100 ? Qt::AlignRight : Qt::AlignHCenter;
        text(p, r, QString::number(v) + QStringLiteral(" %"), f, align | Qt::AlignVCenter, GREY);
    }
}

void score_legend(QPainter& p, double x, double y, double w) {
    const double cell = w / 5.0;
    const QFont f = font(22);
    for (int s = 0; s <= 4; s++) {
        const QRectF sw(x + s * cell + 6, y, cell - 12, 40);
        p.setPen(QPen(RULE, 1));
        p.setBrush(report_colour(score_step(s)));
        p.drawRect(sw);
        text(p, QRectF(sw.left(), y + 44, sw.width(), 34), QStringLiteral("score ") + QString::number(s), f,
             Qt::AlignCenter, GREY);
    }
}

// The five score classes, from the evaluation's own bounds: "0 : ≥ 70 %", "1 : 50 à 70 %" ...
// (no-break spaces before the semicolons, so that a wrapped line never begins with one).
QString score_classes() {
    QStringList parts;
    parts << QStringLiteral("0 : \u2265 %1 %").arg(SCORE_LOWER_BOUND[0]);
    for (int s = 1; s < 4; s++)
        parts << QStringLiteral("%1 : %2 \u00E0 %3 %").arg(s).arg(SCORE_LOWER_BOUND[s]).arg(SCORE_LOWER_BOUND[s - 1]);
    parts << QStringLiteral("4 : < %1 %").arg(SCORE_LOWER_BOUND[3]);
    return parts.join(QStringLiteral("\u00A0; "));
}

// The table and, under it, what its figures mean; returns where the notes end.
double segment_table(QPainter& p, double x, double y) {
    const double cols[5] = {80, 470, 170, 200, 150};  // N°, segment, territory, %, score
    const QString heads[5] = {QStringLiteral("N\u00B0"), QStringLiteral("Segment"), QStringLiteral("Territoire"),
                              QStringLiteral("Fixation*"), QStringLiteral("Score")};
    const double row_h = 44;
    double w = 0;
    for (double c : cols) w += c;
    p.setPen(Qt::NoPen);
    p.setBrush(ACCENT);
    p.drawRect(QRectF(x, y, w, row_h));
    double cx = x;
    for (int c = 0; c < 5; c++) {
        text(p, QRectF(cx + 12, y, cols[c] - 24, row_h), heads[c], font(26, true),
             (c >= 3 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, Qt::white);
        cx += cols[c];
    }
    const QFont f = font(26), fb = font(26, true);
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        const double ry = y + n * row_h;
        p.setPen(Qt::NoPen);
        p.setBrush(score_tint(SCORE[n]));
        p.drawRect(QRectF(x, ry, w, row_h));
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(QPointF(x, ry), QPointF(x + w, ry));
        const QString cells[5] = {QString::number(n), text_of(SECTORS[n].name_fr),
                                  text_of(TERRITORY_NAME_FR[SECTORS[n].territory]),
                                  decimal(SECTEUR[n], 1) + QStringLiteral(" %"), QString::number(SCORE[n])};
        cx = x;
        for (int c = 0; c < 5; c++) {
            text(p, QRectF(cx + 12, ry, cols[c] - 24, row_h), cells[c], c == 4 ? fb : f,
                 (c >= 3 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
            cx += cols[c];
        }
        // The score map's colour of this score, beside the figure.
        p.setPen(QPen(GREY, 1));
        p.setBrush(report_colour(score_step(SCORE[n])));
        p.drawRect(QRectF(x + w - cols[4] + 14, ry + 10, 40, row_h - 20));
    }
    p.setPen(QPen(RULE, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(x, y, w, row_h * (SECTOR_COUNT + 1)));
    y += row_h * (SECTOR_COUNT + 1) + 8;
    text(p, QRectF(x, y, w, 70),
         QStringLiteral("* Fixation relative : en % du segment le mieux fix\u00E9 de cette \u00E9tude (100 %), "
                        "non en valeur absolue.\nSeuils des scores : ") +
             score_classes() + QStringLiteral("."),
         font(21), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, GREY);
    return y + 70;
}

void summary_block(QPainter& p, const ClinicalSummary& s, double x, double y, double w) {
    section_title(p, x, y, w, QStringLiteral("Synth\u00E8se"));
    y += 80;
    const QRectF band(x, y, w, 250);
    p.setPen(QPen(RULE, 2));
    static const int band_tint[4] = {0, 1, 2, 4};  // normal green .. severe red
    p.setBrush(score_tint(band_tint[s.severity]));
    p.drawRoundedRect(band, 14, 14);
    text(p, QRectF(x, y + 15, w, 45), text_of(SUMMED_SCORE_NAME[STUDY_KIND_OF(SERIES_DESC)]), font(28),
         Qt::AlignCenter, GREY);
    text(p, QRectF(x, y + 60, w, 100), QString::number(s.summed_score) + QStringLiteral(" / ") +
                                           QString::number(MAX_SUMMED_SCORE),
         font(80, true), Qt::AlignCenter);
    text(p, QRectF(x, y + 165, w, 60), text_of(SEVERITY_NAME[s.severity]) + QStringLiteral("*"),
         font(36, true), Qt::AlignCenter);
    y += 280;
    text(p, QRectF(x, y, w, 50), QStringLiteral("Myocarde anormal : ") + decimal(s.percent_abnormal, 1) +
                                     QStringLiteral(" %"),
         font(30, true));
    y += 70;
    // The three territories.
    const double c0 = 150, c1 = 140, c2 = w - c0 - c1;
    const QFont h = font(24, true), f = font(26), fb = font(26, true);
    text(p, QRectF(x, y, c0, 44), QStringLiteral("Territoire"), h, Qt::AlignLeft | Qt::AlignVCenter, GREY);
    text(p, QRectF(x + c0, y, c1, 44), QStringLiteral("Score"), h, Qt::AlignRight | Qt::AlignVCenter, GREY);
    text(p, QRectF(x + c0 + c1, y, c2, 44), QStringLiteral("Fixation moy."), h, Qt::AlignRight | Qt::AlignVCenter,
         GREY);
    p.setPen(QPen(RULE, 2));
    p.drawLine(QPointF(x, y + 46), QPointF(x + w, y + 46));
    y += 52;
    QString legend;
    for (int t = TERR_LAD; t <= TERR_LCX; t++) {
        const TerritorySummary& ts = s.territory[t];
        text(p, QRectF(x, y, c0, 44), text_of(TERRITORY_NAME_FR[t]), fb);
        text(p, QRectF(x + c0, y, c1, 44), QString::number(ts.summed_score), fb, Qt::AlignRight | Qt::AlignVCenter);
        text(p, QRectF(x + c0 + c1, y, c2, 44), decimal(ts.mean_percent, 1) + QStringLiteral(" %"), f,
             Qt::AlignRight | Qt::AlignVCenter);
        QStringList segs;
        for (int k = 0; k < ts.count; k++) segs << QString::number(ts.segments[k]);
        text(p, QRectF(x, y + 40, w, 32), QStringLiteral("segments ") + segs.join(QStringLiteral(", ")), font(22),
             Qt::AlignLeft | Qt::AlignVCenter, GREY);
        legend += text_of(TERRITORY_NAME_FR[t]) + QStringLiteral(" : ") +
                  text_of(TERRITORY_FULL_NAME_FR[t]) + QLatin1Char('\n');
        y += 82;
    }
    text(p, QRectF(x, y, w, 100), legend.trimmed(), font(22), Qt::AlignLeft | Qt::AlignTop, GREY);
    y += 110;
    QStringList bands;
    for (int b = SEV_NORMAL; b <= SEV_SEVERE; b++)
        bands << text_of(SEVERITY_NAME[b]) + QStringLiteral(" ") +
                     (b < SEV_SEVERE ? QStringLiteral("%1 \u00E0 %2").arg(SEVERITY_LOWER_BOUND[b]).arg(SEVERITY_LOWER_BOUND[b + 1] - 1)
                                     : QStringLiteral("\u2265\u00A0%1").arg(SEVERITY_LOWER_BOUND[b]));
    text(p, QRectF(x, y, w, 140),
         QStringLiteral("* Bandes de s\u00E9v\u00E9rit\u00E9 indicatives (score somm\u00E9) : ") +
             bands.join(QStringLiteral("\u00A0; ")) + QStringLiteral("."),
         font(21), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, GREY);
}

// The volume curve over the gates in r: gate on x, mL on y, end diastole and end systole marked.
void volume_curve(QPainter& p, const GatedFunction& f, const QRectF& r, const QColor& line) {
    const int n = static_cast<int>(f.volume_ml.size());
    if (n < 2) return;
    const auto [lo_it, hi_it] = std::minmax_element(f.volume_ml.begin(), f.volume_ml.end());
    // The scale in whole tens of mL around the curve, 20 mL at least: a flat curve looks flat.
    double lo = std::floor(*lo_it / 10) * 10, hi = std::ceil(*hi_it / 10) * 10;
    if (hi - lo < 20) hi = lo + 20;
    const QFont small = font(20);
    const double left = r.left() + 70, bottom = r.bottom() - 60, top = r.top() + 44, right = r.right() - 20;
    const QRectF plot(left, top, right - left, bottom - top);
    auto at = [&](int gate, double ml) {  // gate from 0
        return QPointF(plot.left() + plot.width() * gate / (n - 1), plot.bottom() - plot.height() * (ml - lo) / (hi - lo));
    };
    text(p, QRectF(r.left(), r.top(), 200, 28), QStringLiteral("mL"), small, Qt::AlignLeft | Qt::AlignVCenter, GREY);
    for (double v : {lo, (lo + hi) / 2, hi}) {
        const double y = plot.bottom() - plot.height() * (v - lo) / (hi - lo);
        p.setPen(QPen(QColor(225, 225, 225), 1));
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        text(p, QRectF(r.left(), y - 14, 62, 28), decimal(v, 0), small, Qt::AlignRight | Qt::AlignVCenter, GREY);
    }
    for (int g = 0; g < n; g++) {
        if (n > 8 && g % 2 == 1) continue;  // 16 gates: every other one
        text(p, QRectF(at(g, lo).x() - 25, plot.bottom() + 4, 50, 28), QString::number(g + 1), small, Qt::AlignCenter,
             GREY);
    }
    text(p, QRectF(plot.left(), plot.bottom() + 30, plot.width(), 28), QStringLiteral("intervalle"), small,
         Qt::AlignHCenter | Qt::AlignVCenter, GREY);
    p.setPen(QPen(RULE, 2));
    p.setBrush(Qt::NoBrush);
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    QPolygonF curve;
    for (int g = 0; g < n; g++) curve << at(g, f.volume_ml[g]);
    p.setPen(QPen(line, 4));
    p.drawPolyline(curve);
    p.setBrush(line);
    for (const QPointF& c : curve) p.drawEllipse(c, 6, 6);
    // TD and TS: a ring round the point and its name above it: over the top of the curve, and
    // between the two branches that rise from its bottom (beside it, the name lay on the curve
    // where it rises slowly). Within the plot's width: over the first gate the name would sit
    // on the scale's figures.
    const QFont mark = font(22, true);
    for (const auto& [gate, name] : {std::pair{f.ed_gate, "TD"}, std::pair{f.es_gate, "TS"}}) {
        if (gate < 1 || gate > n) continue;
        const QPointF c = at(gate - 1, f.volume_ml[gate - 1]);
        p.setPen(QPen(INK, 3));
        p.setBrush(Qt::white);
        p.drawEllipse(c, 11, 11);
        QRectF where(c.x() - 40, c.y() - 44, 80, 30);
        if (where.left() < plot.left()) where.moveLeft(plot.left() + 2);
        if (where.right() > r.right()) where.moveRight(r.right());
        text(p, where, QString::fromLatin1(name), mark, Qt::AlignHCenter | Qt::AlignVCenter);
    }
}

// The function of a gated study in the box r: EDV, ESV, EF, its warnings right under them when
// flagged, the volume curve, and the method note; or why it was not measured.
void function_box(QPainter& p, const GatedFunction& f, const QRectF& r) {
    const QColor WARN(180, 20, 20);
    const bool flagged = f.measured && f.flagged();
    p.setPen(QPen(flagged || !f.measured ? WARN : RULE, flagged || !f.measured ? 4 : 2));
    p.setBrush(flagged || !f.measured ? QColor(253, 240, 238) : QColor(246, 248, 251));
    p.drawRoundedRect(r, 14, 14);
    const double x = r.left() + 25, w = r.width() - 50;
    double y = r.top() + 15;
    const QString title = QStringLiteral("Fonction VG (\u00E9tude synchronis\u00E9e)");
    int title_size = 30;
    while (title_size > 20 && QFontMetricsF(font(title_size, true)).horizontalAdvance(title) > w) title_size -= 2;
    text(p, QRectF(x, y, w, 46), title, font(title_size, true), Qt::AlignLeft | Qt::AlignVCenter, ACCENT);
    y += 60;
    // The method note takes what it needs at the bottom of the box.
    const QFont note_font = font(20);
    const QString note = text_of(FUNCTION_METHOD_NOTE);
    const double note_h = QFontMetricsF(note_font).boundingRect(QRectF(0, 0, w, 1000), Qt::TextWordWrap, note).height();
    const double note_y = r.bottom() - 15 - note_h;
    text(p, QRectF(x, note_y, w, note_h), note, note_font, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, GREY);
    auto wrapped = [&](const QString& s, const QFont& fo, const QColor& c) {  // a paragraph from y
        const double h = QFontMetricsF(fo).boundingRect(QRectF(0, 0, w, 1000), Qt::TextWordWrap, s).height();
        text(p, QRectF(x, y, w, h), s, fo, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, c);
        y += h + 8;
    };
    if (!f.measured) {
        wrapped(QStringLiteral("Fonction non mesur\u00E9e"), font(30, true), WARN);
        wrapped(text_of(f.reason.c_str()), font(24), INK);
        return;
    }
    const QColor value_colour = flagged ? WARN : INK;
    const QFont label = font(24), value = font(30, true);
    const struct {
        QString name, shown;
    } rows[2] = {{QStringLiteral("Volume t\u00E9l\u00E9diastolique (VTD)"), decimal(f.edv_ml, 0) + QStringLiteral(" mL")},
                 {QStringLiteral("Volume t\u00E9l\u00E9systolique (VTS)"), decimal(f.esv_ml, 0) + QStringLiteral(" mL")}};
    for (const auto& row : rows) {
        text(p, QRectF(x, y, w, 44), row.name, label, Qt::AlignLeft | Qt::AlignVCenter, GREY);
        text(p, QRectF(x, y, w, 44), row.shown, value, Qt::AlignRight | Qt::AlignVCenter, value_colour);
        y += 46;
    }
    text(p, QRectF(x, y, w, 80), QStringLiteral("Fraction d'\u00E9jection (FE)"), label, Qt::AlignLeft | Qt::AlignVCenter,
         GREY);
    text(p, QRectF(x, y, w, 80), decimal(f.ef_percent, 0) + QStringLiteral(" %"), font(56, true),
         Qt::AlignRight | Qt::AlignVCenter, value_colour);
    y += 88;
    if (flagged) {
        wrapped(QStringLiteral("R\u00E9sultat \u00E0 v\u00E9rifier :"), font(26, true), WARN);
        for (const std::string& flag : f.flags) wrapped(QStringLiteral("\u2022 ") + text_of(flag.c_str()), font(22), WARN);
    }
    // No-break spaces hold each figure to its name when the line wraps.
    wrapped(QStringLiteral("Volume par intervalle (%1\u00A0intervalles\u00A0; TD\u00A0:\u00A0%2, TS\u00A0:\u00A0%3)")
                .arg(f.volume_ml.size())
                .arg(f.ed_gate)
                .arg(f.es_gate),
            font(22, true), GREY);
    if (note_y - 10 - y >= 160) volume_curve(p, f, QRectF(x, y, w, note_y - 10 - y), flagged ? WARN : ACCENT);
}

// How the model was placed, in words; empty when the caller does not say.
QString placement_text(const ReportInfo& info) {
    switch (info.placement) {
    case Placement::Auto:
        return QStringLiteral("automatique (ventricule gauche recherch\u00E9 dans le volume)");
    case Placement::ModelFile:
        return QStringLiteral("fichier mod\u00E8le ") +
               QFileInfo(QFile::decodeName(QByteArray::fromStdString(info.model_file))).fileName();
    case Placement::Slices:
        return QStringLiteral("\u00AB Centrer volume \u00BB aux coupes indiqu\u00E9es");
    case Placement::Unknown:
        break;
    }
    return {};
}

// The model block from y; returns where it ends.
double model_block(QPainter& p, const ReportInfo& info, double y) {
    const double x = MARGIN, w = PAGE_W - 2 * MARGIN;
    section_title(p, x, y, w, QStringLiteral("Mod\u00E8le utilis\u00E9 (voxels du volume 256\u00B3)"));
    auto triple = [](int a, int b, int c) { return QStringLiteral("(%1, %2, %3)").arg(a).arg(b).arg(c); };
    const QFont f = font(26);
    y += 70;
    QString how = placement_text(info);
    if (!how.isEmpty() && info.adjusted) how += QStringLiteral(", puis ajust\u00E9 \u00E0 la main");
    if (!how.isEmpty()) {
        text(p, QRectF(x, y, w, 42), QStringLiteral("Placement : ") + how, font(26, true));
        y += 44;
    }
    text(p, QRectF(x, y, w, 42),
         QStringLiteral("Ellipso\u00EFde externe : centre (i, j, k) ") + triple(ell_ci, ell_cj, ell_ck) +
             QStringLiteral(", demi-axes ") + triple(ell_ri, ell_rj, ell_rk),
         f);
    text(p, QRectF(x, y + 44, w, 42),
         QStringLiteral("Ellipso\u00EFde interne : centre (i, j, k) ") + triple(ill_ci, ill_cj, ill_ck) +
             QStringLiteral(", demi-axes ") + triple(ill_ri, ill_rj, ill_rk),
         f);
    text(p, QRectF(x, y + 88, w, 42),
         QStringLiteral("Plan de base : i = %1   \u2022   apex : i = %2   \u2022   niveaux des anneaux : i = %3, %4, %5, "
                        "%6, %7")
             .arg(plan_i)
             .arg(apex_i)
             .arg(sect_i[0])
             .arg(sect_i[1])
             .arg(sect_i[2])
             .arg(sect_i[3])
             .arg(sect_i[4]),
         f);
    y += 132;
    if (info.placement != Placement::Auto && info.placement != Placement::ModelFile && MODEL_NOT_FITTED() == 1) {
        text(p, QRectF(x, y, w, 42),
             QStringLiteral("Mod\u00E8le non ajust\u00E9 : taille par d\u00E9faut de \u00AB Centrer volume \u00BB, "
                            "non adapt\u00E9e \u00E0 ce c\u0153ur. R\u00E9sultats \u00E0 ne pas interpr\u00E9ter."),
             font(26, true), Qt::AlignLeft | Qt::AlignVCenter, QColor(180, 20, 20));
        y += 44;
    }
    return y;
}

void footer(QPainter& p, const ReportInfo& info, double y) {
    const double x = MARGIN, w = PAGE_W - 2 * MARGIN;
    p.setPen(QPen(RULE, 2));
    p.drawLine(QPointF(x, y), QPointF(x + w, y));
    const QFont label = font(24), value = font(24, true), mono = font(23, false, true);
    y += 16;
    text(p, QRectF(x, y, 280, 40), QStringLiteral("Fichier analys\u00E9"), label, Qt::AlignLeft | Qt::AlignVCenter,
         GREY);
    const QString file = QFile::decodeName(QByteArray::fromStdString(info.file));
    p.setFont(value);
    text(p, QRectF(x + 280, y, w - 280, 40),
         QFontMetricsF(value).elidedText(or_dash(file), Qt::ElideMiddle, w - 280), value);
    text(p, QRectF(x, y + 42, 280, 40), QStringLiteral("SHA-256"), label, Qt::AlignLeft | Qt::AlignVCenter, GREY);
    text(p, QRectF(x + 280, y + 42, w - 280, 40), or_dash(QString::fromStdString(info.sha256)), mono);
    text(p, QRectF(x, y + 84, 280, 40), QStringLiteral("Analyse"), label, Qt::AlignLeft | Qt::AlignVCenter, GREY);
    text(p, QRectF(x + 280, y + 84, w - 280, 40),
         QStringLiteral("Vesmora " VESMORA_VERSION ", le ") + or_dash(QString::fromStdString(info.analysed_at)),
         value);
    text(p, QRectF(x, y + 140, w, 40),
         QStringLiteral("Document produit automatiquement : les r\u00E9sultats sont \u00E0 interpr\u00E9ter par un "
                        "m\u00E9decin."),
         font(22, false), Qt::AlignLeft | Qt::AlignVCenter, GREY);
}

// A white page with its title and the line under it.
void page_heading(QPainter& p, const QString& title, const QString& subtitle) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.fillRect(QRectF(0, 0, PAGE_W, PAGE_H), Qt::white);
    const double w = PAGE_W - 2 * MARGIN;
    text(p, QRectF(MARGIN, 85, w, 80), title, font(60, true), Qt::AlignLeft | Qt::AlignVCenter, ACCENT);
    text(p, QRectF(MARGIN, 168, w, 40), subtitle, font(26), Qt::AlignLeft | Qt::AlignVCenter, GREY);
}

// The whole page on any paint device whose window the caller has set to PAGE_W x PAGE_H.
void draw_page(QPainter& p, const ReportInfo& info) {
    page_heading(p, QStringLiteral("Rapport de perfusion myocardique"),
                 QStringLiteral("Tomoscintigraphie cardiaque (SPECT) \u2014 analyse en 17 segments du ventricule gauche"));
    const double w = PAGE_W - 2 * MARGIN;
    // The series and the tracer, when the file names them (each cut at half the line at worst).
    // What the import made of the file (lossy data, gates summed) follows them, each then a third of it.
    QStringList about;
    const QFont sub = font(26);
    const double part = STUDY_NOTE[0] ? w / 3 - 60 : w / 2 - 60;
    if (!latin1(SERIES_DESC).isEmpty())
        about << QFontMetricsF(sub).elidedText(QStringLiteral("S\u00E9rie : ") + latin1(SERIES_DESC), Qt::ElideRight,
                                               part);
    if (!latin1(RADIOPHARM).isEmpty())
        about << QFontMetricsF(sub).elidedText(QStringLiteral("Radiopharmaceutique : ") + latin1(RADIOPHARM),
                                               Qt::ElideRight, part);
    if (STUDY_NOTE[0]) about << QFontMetricsF(sub).elidedText(latin1(STUDY_NOTE), Qt::ElideRight, part);
    text(p, QRectF(MARGIN, 210, w, 40), about.join(QStringLiteral("   \u2022   ")), sub,
         Qt::AlignLeft | Qt::AlignVCenter, GREY);
    patient_block(p, 270);

    // The report's own palette, whatever the window shows. A gated study's function takes a
    // third column: the two pictures are drawn smaller beside it.
    const QImage bull = result_picture(RES_BULL, REPORT_PALETTE, REPORT_OVERLAY);
    const QImage scores = result_picture(RES_SCORES, REPORT_PALETTE, REPORT_OVERLAY);
    const bool gated = info.function.has_value();
    const double box_w = 560, box_gap = 40, top = 500, table_y = 1390;
    const double side = gated ? (w - box_w - 2 * box_gap) / 2 - 2 * LABEL_W : 600, column = side + 2 * LABEL_W;
    const double gap = gated ? box_gap : w - 2 * column, right = MARGIN + column + gap;
    picture(p, bull, MARGIN, top, side, QStringLiteral("\u0152il de b\u0153uf (fixation relative)"), false);
    picture(p, scores, right, top, side, QStringLiteral("Carte des scores (n\u00B0 de segment)"), true);
    const double scale_y = top + 95 + side + 50;
    const QString palette = QStringLiteral("Palette :\n") + latin1(palette_name(REPORT_PALETTE));
    if (gated) {  // bar and legend across their columns, the palette's name under the bar
        palette_bar(p, MARGIN + 20, scale_y, column - 40);
        score_legend(p, right + 20, scale_y, column - 40);
        text(p, QRectF(MARGIN, scale_y + 100, column, 40), palette.simplified(), font(22, true), Qt::AlignCenter, GREY);
        function_box(p, *info.function, QRectF(right + column + box_gap, top, box_w, table_y - 40 - top));
    } else {
        palette_bar(p, MARGIN + LABEL_W, scale_y, side);
        score_legend(p, right + LABEL_W, scale_y, side);
        text(p, QRectF(MARGIN + column, scale_y - 10, gap, 80), palette, font(22, true), Qt::AlignCenter, GREY);
    }

    section_title(p, MARGIN, table_y, 1070, QStringLiteral("Segments"));
    const double table_end = segment_table(p, MARGIN, table_y + 80);
    summary_block(p, CLINICAL_SUMMARY(SECTEUR, SCORE), MARGIN + 1070 + 110, table_y, w - 1070 - 110);
    const double model_y = std::max(table_end, 2390.0) + 20;
    footer(p, info, model_block(p, info, model_y) + 20);
}

// =============================================================================================
// 3. Outputs
// =============================================================================================
std::string path_text(const QString& path) { return QFile::encodeName(path).toStdString(); }

// "msg path" in the program's Latin-1, the path in its own bytes, the system's own reason
// after it when there is one, and what to check.
std::string file_error(const char* msg_latin1, const QString& path, const std::string& detail = {}) {
    return with_detail(msg_latin1 + path_text(path), detail) +
           ".\nV\xE9rifiez que le dossier existe et que vous pouvez y \xE9" "crire.";
}

// Writes path whole (write_whole): `fill` writes into the temporary file, opened. false with
// error from `cannot_create` when the file could not be opened or filled, `cannot_write` when
// it could not be put in place.
bool save_whole(const QString& path, const char* cannot_create, const char* cannot_write,
                const std::function<bool(QIODevice&)>& fill, std::string& error) {
    bool filled = false;
    std::string detail, unused;
    const bool ok = write_whole(
        path_text(path),
        [&](const std::string& temporary, std::string& why) {
            QFile f(QFile::decodeName(QByteArray::fromStdString(temporary)));
            filled = f.open(QIODevice::WriteOnly) && fill(f) && f.flush();
            f.close();
            filled = filled && f.error() == QFileDevice::NoError;
            if (!filled) why = detail = utf8_to_latin1(f.errorString().toStdString());
            return filled;
        },
        unused);
    if (!ok) error = file_error(filled ? cannot_write : cannot_create, path, detail);
    return ok;
}

bool save_png(const QImage& img, const QString& path, std::string& error) {
    const char* msg = "Impossible d'\xE9" "crire l'image ";
    return save_whole(path, msg, msg, [&img](QIODevice& f) { return img.save(&f, "PNG"); }, error);
}

}  // namespace

void report_ensure_gui() {
    if (QCoreApplication::instance() != nullptr) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef Q_OS_UNIX
    // Without a desktop session Qt makes this private folder itself, and says so on the
    // terminal at every run of the command-line tool.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString dir = QDir::tempPath() + QStringLiteral("/runtime-") + QString::number(getuid());
        if (QDir().mkpath(dir) &&
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir));
    }
#endif
    static int argc = 1;
    static char name[] = "vesmora";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = nullptr;
    app = new QGuiApplication(argc, argv);
    // Gone before the process ends, with what it made (the font configuration among it).
    std::atexit([] {
        delete app;
        app = nullptr;
    });
}

std::string file_sha256(const std::string& path) {
    QFile f(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!f.open(QIODevice::ReadOnly)) return {};
#ifdef VESMORA_HAVE_OPENSSL_SHA
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return {};
    std::vector<char> buf(1 << 16);
    for (;;) {
        const qint64 got = f.read(buf.data(), static_cast<qint64>(buf.size()));
        if (got < 0) return {};
        if (got == 0) break;
        if (EVP_DigestUpdate(ctx.get(), buf.data(), static_cast<std::size_t>(got)) != 1) return {};
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_DigestFinal_ex(ctx.get(), md, &len) != 1) return {};
    return QByteArray(reinterpret_cast<const char*>(md), static_cast<int>(len)).toHex().toStdString();
#else
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&f)) return {};
    return hash.result().toHex().toStdString();
#endif
}

namespace {

// A page drawn at the resolution of the Secondary Capture, as RGB rows one after the other.
std::vector<unsigned char> page_pixels(const std::function<void(QPainter&)>& draw, int& width, int& height) {
    QImage page(RGB_W, RGB_H, QImage::Format_RGB888);
    {
        QPainter p(&page);
        p.setWindow(0, 0, PAGE_W, PAGE_H);
        draw(p);
    }
    std::vector<unsigned char> rgb(static_cast<std::size_t>(RGB_W) * RGB_H * 3);
    for (int row = 0; row < RGB_H; row++)
        std::memcpy(rgb.data() + static_cast<std::size_t>(row) * RGB_W * 3, page.constScanLine(row), RGB_W * 3);
    width = RGB_W;
    height = RGB_H;
    return rgb;
}

}  // namespace

std::vector<unsigned char> report_page_rgb(const ReportInfo& info, int& width, int& height) {
    width = height = 0;
    if (res_ok != 1) return {};
    report_ensure_gui();
    return page_pixels([&info](QPainter& p) { draw_page(p, info); }, width, height);
}

bool write_report_pdf(const std::string& path, const ReportInfo& info, std::string& error) {
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    if (res_ok != 1) {
        error = "Aucun r\xE9sultat \xE0 rapporter : lancez d'abord \xAB R\xE9sultats \xBB.";
        return false;
    }
    report_ensure_gui();
    const auto fill = [&info](QIODevice& out) {
        QPdfWriter pdf(&out);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        pdf.setResolution(300);
        pdf.setTitle(QStringLiteral("Rapport de perfusion myocardique"));
        pdf.setCreator(QStringLiteral("Vesmora " VESMORA_VERSION));
        QPainter p;
        if (!p.begin(&pdf)) return false;
        p.setWindow(0, 0, PAGE_W, PAGE_H);
        draw_page(p, info);
        return p.end();
    };
    return save_whole(file, "Impossible de cr\xE9" "er le rapport ", "Impossible d'\xE9" "crire le rapport ", fill, error);
}

bool write_pictures_png(const std::string& dir, const std::string& stem, std::string& error) {
    if (load_ok != 1 || res_ok != 1) {
        error = "Aucun r\xE9sultat \xE0 enregistrer : ouvrez une \xE9tude, placez le mod\xE8le et lancez \xAB "
                "R\xE9sultats \xBB.";
        return false;
    }
    report_ensure_gui();
    const QString folder = QFile::decodeName(QByteArray::fromStdString(dir));
    if (!QDir().mkpath(folder)) {
        error = file_error("Impossible de cr\xE9" "er le dossier ", folder);
        return false;
    }
    const QString base = QDir(folder).filePath(QFile::decodeName(QByteArray::fromStdString(stem)) + '-');
    QImage hla, vla, sa;
    draw_views(hla, vla, sa);
    std::vector<unsigned char> bar_buf(PAL_BYTES);
    DRAW_PALBAR(bar_buf.data(), palet, couleur);  // the window's bar, as shown
    const QImage bar = picture_image(bar_buf.data(), 220, 56);
    if (!save_png(hla, base + "hla.png", error) || !save_png(vla, base + "vla.png", error) ||
        !save_png(sa, base + "sa.png", error) || !save_png(bar, base + "palette.png", error))
        return false;
    static const struct {
        int which;
        const char* name;
    } results[4] = {{RES_BULL, "bull"}, {RES_SECTORS, "sectors"}, {RES_SCORES, "scores"}, {RES_LATERAL, "lateral"}};
    // The pictures as shown: the window's palette and mark colour.
    for (const auto& r : results)
        if (!save_png(result_picture(r.which, palet, couleur), base + r.name + ".png", error)) return false;
    return true;
}

// =============================================================================================
// 4. The stress/rest pair
// =============================================================================================
namespace {

QString placement_of(const PairStudyInfo& s) {
    ReportInfo r;
    r.placement = s.placement;
    r.model_file = s.model_file;
    const QString how = placement_text(r);
    if (how.isEmpty()) return QStringLiteral("non pr\u00E9cis\u00E9");
    return s.adjusted ? how + QStringLiteral(", puis ajust\u00E9 \u00E0 la main") : how;
}

QString ischemia_bands() {
    QStringList parts;
    for (int b = ISCH_NONE; b <= ISCH_SEVERE; b++)
        parts << text_of(ISCHEMIA_FR[b]) + QStringLiteral(" ") +
                     (b < ISCH_SEVERE ? QStringLiteral("%1 \u00E0 %2").arg(ISCHEMIA_LOWER_BOUND[b]).arg(ISCHEMIA_LOWER_BOUND[b + 1] - 1)
                                      : QStringLiteral("\u2265\u00A0%1").arg(ISCHEMIA_LOWER_BOUND[b]));
    return parts.join(QStringLiteral("\u00A0; "));
}

QColor class_colour(int c) {
    return QColor(SEGMENT_CLASS_RGB[c][0], SEGMENT_CLASS_RGB[c][1], SEGMENT_CLASS_RGB[c][2]);
}

QImage difference_image(const StressRestComparison& c) {
    std::vector<unsigned char> buf(RES_BYTES);
    DRAW_DIFFERENCE_MAP(buf.data(), c);
    return picture_image(buf.data(), 400, 400);
}

void pair_patient_block(QPainter& p, const PairReportInfo& info, double y) {
    const double x = MARGIN, w = PAGE_W - 2 * MARGIN;
    p.setPen(QPen(RULE, 2));
    p.setBrush(QColor(246, 248, 251));
    p.drawRoundedRect(QRectF(x, y, w, 190), 12, 12);
    const QFont label = font(28), value = font(28, true);
    auto field = [&](double fx, double fy, double fw, const QString& name, const QString& v) {
        text(p, QRectF(fx, fy, 230, 50), name, label, Qt::AlignLeft | Qt::AlignVCenter, GREY);
        p.setFont(value);
        text(p, QRectF(fx + 230, fy, fw - 230, 50), QFontMetricsF(value).elidedText(or_dash(v), Qt::ElideRight, fw - 230),
             value);
    };
    field(x + 30, y + 10, w - 60, QStringLiteral("Patient"), latin1(info.patient_name.c_str()));
    field(x + 30, y + 70, 600, QStringLiteral("Identifiant"), latin1(info.patient_id.c_str()));
    field(x + 640, y + 70, 560, QStringLiteral("N\u00E9(e) le"), latin1(info.birth_date.c_str()));
    field(x + 1210, y + 70, w - 1240, QStringLiteral("Sexe, \u00E2ge"),
          latin1(info.sex.c_str()) + QStringLiteral("  ") + latin1(info.age.c_str()));
    field(x + 30, y + 130, 900, QStringLiteral("Effort du"), latin1(info.stress.exam_date.c_str()));
    field(x + 930, y + 130, w - 960, QStringLiteral("Repos du"), latin1(info.rest.exam_date.c_str()));
}

// The 17 rows: uptakes, scores, difference and class; returns where the table ends.
double pair_table(QPainter& p, const PairReportInfo& info, const StressRestComparison& c, double x, double y) {
    const double cols[9] = {60, 330, 90, 140, 140, 90, 90, 90, 330};
    const QString heads[9] = {QStringLiteral("N\u00B0"),   QStringLiteral("Segment"), QStringLiteral("Terr."),
                              QStringLiteral("Effort*"), QStringLiteral("Repos*"),  QStringLiteral("Sc. E"),
                              QStringLiteral("Sc. R"),   QStringLiteral("Diff."),   QStringLiteral("Classe")};
    const double row_h = 42;
    double w = 0;
    for (double col : cols) w += col;
    p.setPen(Qt::NoPen);
    p.setBrush(ACCENT);
    p.drawRect(QRectF(x, y, w, row_h));
    const auto row = [&](double ry, const QString* cells, const QFont& f, const QColor& ink) {
        double cx = x;
        for (int k = 0; k < 9; k++) {
            text(p, QRectF(cx + 8, ry, cols[k] - 16, row_h), cells[k], k == 8 || k == 7 ? font(f.pixelSize(), true) : f,
                 (k >= 3 && k <= 7 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, ink);
            cx += cols[k];
        }
    };
    row(y, heads, font(24, true), Qt::white);
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        const double ry = y + n * row_h;
        p.setPen(Qt::NoPen);
        p.setBrush(n % 2 ? QColor(250, 250, 250) : QColor(238, 241, 245));
        p.drawRect(QRectF(x, ry, w, row_h));
        p.setBrush(class_colour(c.cls[n]));
        p.drawRect(QRectF(x + w - cols[8] + 6, ry + 9, 24, row_h - 18));
        const QString cells[9] = {QString::number(n),
                                  text_of(SECTORS[n].name_fr),
                                  text_of(TERRITORY_NAME_FR[SECTORS[n].territory]),
                                  decimal(info.stress.percent[n], 1) + QStringLiteral(" %"),
                                  decimal(info.rest.percent[n], 1) + QStringLiteral(" %"),
                                  QString::number(info.stress.score[n]),
                                  QString::number(info.rest.score[n]),
                                  (c.difference[n] > 0 ? QStringLiteral("+") : QString()) + QString::number(c.difference[n]),
                                  QStringLiteral("      ") + text_of(SEGMENT_CLASS_FR[c.cls[n]])};
        row(ry, cells, font(24), INK);
    }
    p.setPen(QPen(RULE, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(x, y, w, row_h * (SECTOR_COUNT + 1)));
    return y + row_h * (SECTOR_COUNT + 1);
}

void pair_summary(QPainter& p, const StressRestComparison& c, double x, double y, double w) {
    section_title(p, x, y, w, QStringLiteral("Synth\u00E8se"));
    y += 80;
    const QFont big = font(44, true), label = font(26);
    const struct {
        const char* name;
        int value;
    } sums[3] = {{"SSS (effort)", c.sss}, {"SRS (repos)", c.srs}, {"SDS (diff\xE9rence)", c.sds}};
    for (const auto& s : sums) {
        text(p, QRectF(x, y, w - 170, 56), text_of(s.name), label, Qt::AlignLeft | Qt::AlignVCenter, GREY);
        text(p, QRectF(x + w - 200, y, 200, 56), QString::number(s.value) + QStringLiteral(" / 68"), font(32, true),
             Qt::AlignRight | Qt::AlignVCenter);
        y += 58;
    }
    y += 10;
    static const int band_tint[4] = {0, 1, 2, 4};
    p.setPen(QPen(RULE, 2));
    p.setBrush(score_tint(band_tint[c.band]));
    p.drawRoundedRect(QRectF(x, y, w, 200), 14, 14);
    text(p, QRectF(x, y + 10, w, 40), QStringLiteral("Myocarde isch\u00E9mique"), label, Qt::AlignCenter, GREY);
    text(p, QRectF(x, y + 50, w, 80), decimal(c.percent_ischemic, 1) + QStringLiteral(" %"), big, Qt::AlignCenter);
    text(p, QRectF(x, y + 135, w, 50), text_of(ISCHEMIA_FR[c.band]) + QStringLiteral("**"), font(30, true),
         Qt::AlignCenter);
    y += 230;
    // Territories: SSS, SRS, SDS.
    const double c0 = w - 3 * 110;
    const QFont h = font(24, true), f = font(26, true);
    text(p, QRectF(x, y, c0, 42), QStringLiteral("Territoire"), h, Qt::AlignLeft | Qt::AlignVCenter, GREY);
    const QString heads[3] = {QStringLiteral("SSS"), QStringLiteral("SRS"), QStringLiteral("SDS")};
    for (int k = 0; k < 3; k++)
        text(p, QRectF(x + c0 + k * 110, y, 110, 42), heads[k], h, Qt::AlignRight | Qt::AlignVCenter, GREY);
    p.setPen(QPen(RULE, 2));
    p.drawLine(QPointF(x, y + 44), QPointF(x + w, y + 44));
    y += 50;
    for (int t = TERR_LAD; t <= TERR_LCX; t++) {
        const TerritoryPair& tp = c.territory[t];
        text(p, QRectF(x, y, c0, 44), text_of(TERRITORY_NAME_FR[t]), f);
        const int v[3] = {tp.sss, tp.srs, tp.sds};
        for (int k = 0; k < 3; k++)
            text(p, QRectF(x + c0 + k * 110, y, 110, 44), QString::number(v[k]), f, Qt::AlignRight | Qt::AlignVCenter);
        y += 48;
    }
}

void pair_footer(QPainter& p, const PairReportInfo& info, double y) {
    const double x = MARGIN, w = PAGE_W - 2 * MARGIN;
    p.setPen(QPen(RULE, 2));
    p.drawLine(QPointF(x, y), QPointF(x + w, y));
    const QFont label = font(24), value = font(24, true), mono = font(22, false, true);
    y += 14;
    const auto study = [&](const char* role, const PairStudyInfo& s) {
        text(p, QRectF(x, y, 200, 38), text_of(role), label, Qt::AlignLeft | Qt::AlignVCenter, GREY);
        const QString file = QFile::decodeName(QByteArray::fromStdString(s.file));
        p.setFont(value);
        text(p, QRectF(x + 200, y, w - 200, 38), QFontMetricsF(value).elidedText(or_dash(file), Qt::ElideMiddle, w - 200),
             value);
        text(p, QRectF(x + 200, y + 38, w - 200, 36), QStringLiteral("SHA-256 ") + or_dash(QString::fromStdString(s.sha256)),
             mono, Qt::AlignLeft | Qt::AlignVCenter, GREY);
        text(p, QRectF(x + 200, y + 74, w - 200, 36), QStringLiteral("Placement du mod\u00E8le : ") + placement_of(s),
             font(22), Qt::AlignLeft | Qt::AlignVCenter, GREY);
        y += 118;
    };
    study("Effort", info.stress);
    study("Repos", info.rest);
    text(p, QRectF(x, y, w, 38),
         QStringLiteral("Analyse : Vesmora " VESMORA_VERSION ", le ") + or_dash(QString::fromStdString(info.analysed_at)) +
             QStringLiteral(". Document produit automatiquement : les r\u00E9sultats sont \u00E0 interpr\u00E9ter par un "
                            "m\u00E9decin."),
         font(22), Qt::AlignLeft | Qt::AlignVCenter, GREY);
}

void draw_pair_page(QPainter& p, const PairReportInfo& info, const StressRestComparison& c) {
    page_heading(p, QStringLiteral("Perfusion myocardique : effort et repos"),
                 QStringLiteral("Tomoscintigraphie cardiaque (SPECT) \u2014 comparaison en 17 segments du ventricule "
                                "gauche"));
    const double w = PAGE_W - 2 * MARGIN;
    pair_patient_block(p, info, 240);

    const double side = 440, column = side + 2 * LABEL_W, gap = (w - 3 * column) / 2, top = 450;
    const auto bull = [](const PairStudyInfo& s) {
        return s.bull.size() == static_cast<std::size_t>(RES_BYTES) ? picture_image(s.bull.data(), 400, 400) : QImage();
    };
    const QImage none(400, 400, QImage::Format_RGB888);
    const QImage stress = bull(info.stress), rest = bull(info.rest);
    picture(p, stress.isNull() ? none : stress, MARGIN, top, side, QStringLiteral("Effort"), false);
    picture(p, rest.isNull() ? none : rest, MARGIN + column + gap, top, side, QStringLiteral("Repos"), false);
    const double dx = MARGIN + 2 * (column + gap);
    picture(p, difference_image(c), dx, top, side, QStringLiteral("Diff\u00E9rence (classes)"), false);
    // The segment numbers where the label windows stand (the offsets of sectors.h: no study needed).
    const QFont nf = font(22, true);
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        const SectorInfo& si = SECTORS[n];
        const int ox = si.radius > 0 ? static_cast<int>(si.radius * std::cos(si.angle)) : si.dx;
        const int oy = si.radius > 0 ? static_cast<int>(si.radius * std::sin(si.angle)) : si.dy;
        const QPointF at(dx + LABEL_W + (200.0 + ox) * side / 400.0, top + 95 + (200.0 + oy) * side / 400.0);
        const QRectF box(at.x() - 20, at.y() - 15, 40, 30);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 215));
        p.drawRoundedRect(box, 7, 7);
        text(p, box, QString::number(n), nf, Qt::AlignCenter);
    }
    const double legend_y = top + 95 + side + 50;
    palette_bar(p, MARGIN + LABEL_W, legend_y, 2 * column + gap - 2 * LABEL_W);
    const double lx = MARGIN + 2 * (column + gap) + 20;
    for (int k = 0; k < 4; k++) {
        const double ly = legend_y - 10 + k * 38;
        p.setPen(QPen(GREY, 1));
        p.setBrush(class_colour(k));
        p.drawRect(QRectF(lx, ly + 6, 40, 26));
        text(p, QRectF(lx + 54, ly, column - 74, 38), text_of(SEGMENT_CLASS_FR[k]), font(22), Qt::AlignLeft | Qt::AlignVCenter,
             GREY);
    }

    const double table_y = 1210;
    section_title(p, MARGIN, table_y, 1360, QStringLiteral("Segments"));
    const double table_end = pair_table(p, info, c, MARGIN, table_y + 76);
    pair_summary(p, c, MARGIN + 1360 + 60, table_y, w - 1360 - 60);
    double y = table_end + 10;
    text(p, QRectF(MARGIN, y, w, 150),
         QStringLiteral("* Fixation relative : chaque \u00E9tude en % de son propre segment le mieux fix\u00E9. "
                        "Diff\u00E9rence = score d'effort \u2212 score de repos ; SDS = somme des diff\u00E9rences "
                        "positives ; myocarde isch\u00E9mique = SDS / 68. Classes : normal (score d'effort 0), "
                        "r\u00E9versible (repos 0), partiellement r\u00E9versible (0 < repos < effort), fixe "
                        "(repos \u2265 effort).\n** Bandes indicatives (SDS) : ") +
             ischemia_bands() + QStringLiteral("."),
         font(21), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, GREY);
    pair_footer(p, info, std::max(y + 160, 2540.0));
}

bool pair_comparison(const PairReportInfo& info, StressRestComparison& c, std::string& error) {
    std::string why;
    if (COMPARE_STRESS_REST(info.stress.score, info.rest.score, c, why)) return true;
    error = why;
    return false;
}

}  // namespace

std::vector<unsigned char> pair_page_rgb(const PairReportInfo& info, int& width, int& height) {
    width = height = 0;
    StressRestComparison c;
    std::string why;
    if (!pair_comparison(info, c, why)) return {};
    report_ensure_gui();
    return page_pixels([&info, &c](QPainter& p) { draw_pair_page(p, info, c); }, width, height);
}

bool write_pair_pdf(const std::string& path, const PairReportInfo& info, std::string& error) {
    StressRestComparison c;
    if (!pair_comparison(info, c, error)) return false;
    report_ensure_gui();
    const auto fill = [&info, &c](QIODevice& out) {
        QPdfWriter pdf(&out);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        pdf.setResolution(300);
        pdf.setTitle(QStringLiteral("Perfusion myocardique : effort et repos"));
        pdf.setCreator(QStringLiteral("Vesmora " VESMORA_VERSION));
        QPainter p;
        if (!p.begin(&pdf)) return false;
        p.setWindow(0, 0, PAGE_W, PAGE_H);
        draw_pair_page(p, info, c);
        return p.end();
    };
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    return save_whole(file, "Impossible de cr\xE9" "er le rapport ", "Impossible d'\xE9" "crire le rapport ", fill, error);
}

bool write_difference_png(const std::string& path, const PairReportInfo& info, std::string& error) {
    StressRestComparison c;
    if (!pair_comparison(info, c, error)) return false;
    report_ensure_gui();
    return save_png(difference_image(c), QFile::decodeName(QByteArray::fromStdString(path)), error);
}

QImage picture_image(const unsigned char* bgr, int w, int h) {
    QImage img(w, h, QImage::Format_RGB888);
    for (int row = 0; row < h; row++) {
        const unsigned char* src = bgr + static_cast<std::size_t>(h - 1 - row) * w * 3;
        unsigned char* dst = img.scanLine(row);
        for (int x = 0; x < w; x++) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return img;
}

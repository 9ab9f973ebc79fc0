#include "views/ImageOverlay.h"

#include <cmath>

#include <QPainter>
#include <QPainterPath>

#include "dicom/DicomFile.h"

namespace {

const QColor kText(255, 255, 160);
const QColor kOutline(0, 0, 0);

QString Latin(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

QString DateText(const std::string& date) {
    if (date.size() == 8 && date.find_first_not_of("0123456789") == std::string::npos) {
        return Latin(date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2));
    }
    return Latin(date);
}

// A one-pixel dark outline, then the light text, with its baseline at `base`.
void DrawOutlined(QPainter& painter, QPoint base, const QString& text) {
    painter.setPen(kOutline);
    for (const QPoint d : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)})
        painter.drawText(base + d, text);
    painter.setPen(kText);
    painter.drawText(base, text);
}

void DrawLines(QPainter& painter, const QRect& area, const QStringList& lines, Qt::Alignment align) {
    const QFontMetrics metrics(painter.font());
    const int lineHeight = metrics.height();
    QStringList shown;
    for (const QString& line : lines) {
        if (!line.isEmpty()) shown.push_back(line);
    }
    int y = (align & Qt::AlignBottom) ? area.bottom() - lineHeight * static_cast<int>(shown.size()) + 1 : area.top();
    for (const QString& line : shown) {
        const int width = metrics.horizontalAdvance(line);
        const int x = (align & Qt::AlignRight) ? area.right() - width + 1 : area.left();
        DrawOutlined(painter, QPoint(x, y + metrics.ascent()), line);
        y += lineHeight;
    }
}

void DrawEdgeLetters(QPainter& painter, const QRect& area, const EdgeLetters& letters) {
    const QFontMetrics metrics(painter.font());
    const int middleY = area.center().y() + metrics.ascent() / 2;
    const int middleX = area.center().x();
    if (!letters.left.isEmpty()) DrawOutlined(painter, QPoint(area.left(), middleY), letters.left);
    if (!letters.right.isEmpty()) {
        DrawOutlined(painter, QPoint(area.right() - metrics.horizontalAdvance(letters.right) + 1, middleY),
                     letters.right);
    }
    if (!letters.top.isEmpty()) {
        DrawOutlined(painter, QPoint(middleX - metrics.horizontalAdvance(letters.top) / 2, area.top() + metrics.ascent()),
                     letters.top);
    }
    if (!letters.bottom.isEmpty()) {
        DrawOutlined(painter,
                     QPoint(middleX - metrics.horizontalAdvance(letters.bottom) / 2, area.bottom() - metrics.descent()),
                     letters.bottom);
    }
}

// Above the bottom edge's letter, centred: the bar with end ticks and its label.
void DrawScaleBar(QPainter& painter, const QRect& area, const ScaleBar& bar) {
    const QFontMetrics metrics(painter.font());
    const int y = area.bottom() - metrics.height() - 6;
    const int left = area.center().x() - bar.pixels / 2;
    const QRect body(left, y - 2, bar.pixels, 3);
    painter.fillRect(body.adjusted(-1, -1, 1, 1), kOutline);
    painter.fillRect(body, kText);
    for (const int x : {left, left + bar.pixels - 1}) {
        painter.fillRect(QRect(x - 1, y - 7, 3, 9), kOutline);
        painter.fillRect(QRect(x, y - 6, 1, 7), kText);
    }
    DrawOutlined(painter, QPoint(area.center().x() - metrics.horizontalAdvance(bar.label) / 2, y - 9), bar.label);
}

}  // namespace

OverlayTexts OverlayTextsOf(const CDicomFile& dicom) {
    OverlayTexts texts;
    texts.patientName = Latin(dicom.m_strPatientName).replace(QLatin1Char('^'), QLatin1Char(' ')).simplified();
    texts.patientId = Latin(dicom.m_strPatientId);
    texts.studyDate = DateText(dicom.m_strStudyDate);
    texts.modality = Latin(dicom.m_strModality);
    if (dicom.m_nBitsAllocated == 16 && dicom.m_nSamplesPerPixel <= 1) {
        texts.window = QStringLiteral("W %1  C %2").arg(dicom.m_nWindowWidth).arg(dicom.m_nWindowCenter);
    }
    return texts;
}

ScaleBar ScaleBarFor(double millimetresPerPixel, int longest) {
    ScaleBar bar;
    if (!(millimetresPerPixel > 0) || !std::isfinite(millimetresPerPixel) || longest <= 0) return bar;
    const double most = longest * millimetresPerPixel;
    double power = std::pow(10.0, std::floor(std::log10(most)));
    double length = 0;
    for (const double step : {5.0, 2.0, 1.0}) {
        if (step * power <= most) {
            length = step * power;
            break;
        }
    }
    if (length < 0.1) return bar;
    bar.millimetres = length;
    bar.pixels = static_cast<int>(std::lround(length / millimetresPerPixel));
    // Whole centimetres read as such; shorter lengths, and odd ones, in millimetres.
    const bool centimetres = length >= 10 && std::fmod(length, 10) == 0;
    bar.label = centimetres ? QStringLiteral("%1 cm").arg(length / 10) : QStringLiteral("%1 mm").arg(length);
    return bar;
}

void DrawOverlay(QPainter& painter, const QRect& area, const OverlayTexts& texts, const EdgeLetters& letters,
                 const ScaleBar& bar) {
    painter.save();
    const QRect inner = area.adjusted(4, 4, -4, -4);
    DrawLines(painter, inner, {texts.patientName, texts.patientId}, Qt::AlignLeft | Qt::AlignTop);
    DrawLines(painter, inner, {texts.studyDate, texts.modality}, Qt::AlignRight | Qt::AlignTop);
    DrawLines(painter, inner, {texts.window}, Qt::AlignLeft | Qt::AlignBottom);
    DrawLines(painter, inner, {texts.frame, texts.zoom}, Qt::AlignRight | Qt::AlignBottom);
    DrawEdgeLetters(painter, inner, letters);
    if (bar.pixels > 0) DrawScaleBar(painter, inner, bar);
    painter.restore();
}

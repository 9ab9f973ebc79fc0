#include "views/ImageOverlay.h"

#include <QPainter>
#include <QPainterPath>

#include "document/DorvanelleDoc.h"
#include "views/SliderScale.h"

namespace {

QString Latin(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

QString DateText(const std::string& date) {
    if (date.size() == 8 && date.find_first_not_of("0123456789") == std::string::npos) {
        return Latin(date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2));
    }
    return Latin(date);
}

void DrawLines(QPainter& painter, const QRect& area, const QStringList& lines, Qt::Alignment align) {
    const QFontMetrics metrics(painter.font());
    const int lineHeight = metrics.height();
    int y = (align & Qt::AlignBottom) ? area.bottom() - lineHeight * static_cast<int>(lines.size()) + 1 : area.top();
    for (const QString& line : lines) {
        if (line.isEmpty()) continue;
        const int width = metrics.horizontalAdvance(line);
        const int x = (align & Qt::AlignRight) ? area.right() - width + 1 : area.left();
        const QPoint base(x, y + metrics.ascent());
        // A one-pixel dark outline, then the light text.
        painter.setPen(QColor(0, 0, 0));
        for (const QPoint d : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)})
            painter.drawText(base + d, line);
        painter.setPen(QColor(255, 255, 160));
        painter.drawText(base, line);
        y += lineHeight;
    }
}

}  // namespace

OverlayTexts OverlayTextsOf(const CDorvanelleDoc& doc) {
    OverlayTexts texts;
    const ImageAttributes* a = doc.Attributes();
    if (a == nullptr) return texts;
    texts.patientName = Latin(a->patientName).replace(QLatin1Char('^'), QLatin1Char(' ')).simplified();
    texts.patientId = Latin(a->patientId);
    texts.studyDate = DateText(a->studyDate);
    texts.modality = Latin(a->modality);
    if (const std::optional<DisplayWindow> window = doc.CurrentWindow()) {
        texts.window =
            QStringLiteral("W %1  C %2").arg(SliderScale::Text(window->width), SliderScale::Text(window->centre));
    }
    return texts;
}

void DrawOverlay(QPainter& painter, const QRect& area, const OverlayTexts& texts) {
    painter.save();
    const QRect inner = area.adjusted(4, 4, -4, -4);
    DrawLines(painter, inner, {texts.patientName, texts.patientId}, Qt::AlignLeft | Qt::AlignTop);
    DrawLines(painter, inner, {texts.studyDate, texts.modality}, Qt::AlignRight | Qt::AlignTop);
    DrawLines(painter, inner, {texts.window}, Qt::AlignLeft | Qt::AlignBottom);
    painter.restore();
}

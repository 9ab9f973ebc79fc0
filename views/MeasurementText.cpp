#include "views/MeasurementText.h"

#include <cmath>

namespace {

// Values as a person reads them: one decimal, none for whole numbers.
QString Value(double value) {
    if (value == std::floor(value) && std::fabs(value) < 1e9) return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'f', 1);
}

QString Units(const RegionStatistics& s) {
    return s.units.empty() ? QString() : QStringLiteral(" ") + QString::fromLatin1(s.units.c_str());
}

}  // namespace

QString LengthText(double length, const MeasuringSpacing& spacing) {
    QString text = QStringLiteral("%1 %2").arg(length, 0, 'f', 1).arg(QString::fromUtf8(spacing.LengthUnit()));
    if (spacing.source == SpacingSource::ImagerPixelSpacing) text += QStringLiteral(" at detector");
    return text;
}

QStringList StatisticsLines(const RegionStatistics& s) {
    return {QStringLiteral("Mean %1%2").arg(QString::number(s.mean, 'f', 1), Units(s)),
            QStringLiteral("SD %1").arg(QString::number(s.standardDeviation, 'f', 1)),
            QStringLiteral("Min %1  Max %2").arg(Value(s.minimum), Value(s.maximum)),
            QStringLiteral("Area %1 %2").arg(QString::number(s.area, 'f', 1), QString::fromUtf8(s.spacing.AreaUnit()))};
}

QString StatisticsText(const RegionStatistics& statistics) { return StatisticsLines(statistics).join(QStringLiteral(", ")); }

QString ResultText(const Measurement& m) {
    if (m.kind == MeasurementKind::Ruler) return LengthText(m.length, m.spacing);
    if (m.statistics) return StatisticsText(*m.statistics);
    return QString::fromStdString(m.noStatistics.Text());
}

QString SpacingText(const MeasuringSpacing& spacing) {
    if (!spacing.InMillimetres()) return QStringLiteral("No pixel spacing: lengths in pixels");
    QString text = QStringLiteral("%1 %2 x %3 mm")
                       .arg(QString::fromStdString(spacing.SourceName()))
                       .arg(spacing.row)
                       .arg(spacing.column);
    if (spacing.source == SpacingSource::ImagerPixelSpacing) text += QStringLiteral(" (at the detector)");
    return text;
}

// The words and numbers a measurement shows, on the image and in the panel: a
// ruler's length with its unit, a region's mean, standard deviation, minimum, maximum
// and area, and which spacing they were measured with.
#pragma once

#include <QString>
#include <QStringList>

#include "dicom/MeasuringSpacing.h"
#include "dicom/RegionStatistics.h"
#include "document/Measurement.h"

// "10.0 mm", "42.4 px", or "10.0 mm at detector" with Imager Pixel Spacing.
QString LengthText(double length, const MeasuringSpacing& spacing);
// "Mean 40.2 HU", "SD 3.4", "Min -12  Max 60", "Area 123.4 mm²", one a line.
QStringList StatisticsLines(const RegionStatistics& statistics);
// The same on one line, apart by commas.
QString StatisticsText(const RegionStatistics& statistics);
// What a measurement found, on one line; why there is nothing for an ellipse without
// statistics.
QString ResultText(const Measurement& measurement);
// "Pixel Spacing 0.5 x 0.25 mm", "Imager Pixel Spacing 0.2 x 0.2 mm (at the
// detector)", or "No pixel spacing: lengths in pixels".
QString SpacingText(const MeasuringSpacing& spacing);

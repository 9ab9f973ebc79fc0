// A measurement the user made on one frame of a document: a ruler between the
// centres of two pixels, or an ellipse whose statistics are taken. It is measured
// once, when it is made (a frame's values never change), and shown only on its frame.
#pragma once

#include <cstdint>
#include <optional>

#include "dicom/RegionStatistics.h"
#include "image/Geometry.h"
#include "io/Reason.h"

enum class MeasurementKind { Ruler, Ellipse };

struct Measurement {
    MeasurementKind kind = MeasurementKind::Ruler;
    std::int32_t frame = 0;
    // A ruler: the pixels at its ends. An ellipse: the corners of the rectangle it is
    // inscribed in (normalised when it is made).
    DibPoint from;
    DibPoint to;

    // What it measured: the ruler's length (mm, or pixels without a spacing) and the
    // spacing used; the ellipse's statistics, or why there are none.
    double length = 0;
    MeasuringSpacing spacing;
    std::optional<RegionStatistics> statistics;
    Reason noStatistics;

    DibRect Rect() const { return NormalizedRectFromPoints(from, to); }
};

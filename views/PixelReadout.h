// The status-bar text for the pixel under the cursor: its image coordinates and
// stored value, the modality value (stored x slope + intercept, "HU" for CT), or
// the three components of a colour pixel.
#pragma once

#include <optional>

#include <QPoint>
#include <QString>

#include "image/PackedDib.h"

class CDicomFile;

// The stored sample of grey pixel `point` of frame `frame` as the file holds it
// (signed or unsigned, bits above the stored ones dropped), compressed or not; none
// when the reader holds no such grey sample (colour, packed 12-bit, outside).
std::optional<int> StoredSample(const CDicomFile& dicom, int frame, QPoint point);

// The readout text, or empty when `point` lies outside the shown image. `shown` is
// the image on screen (for colour pixels and pictures that are not DICOM).
QString PixelReadoutText(const CDicomFile& dicom, const PackedDib* shown, int frame, QPoint point);

// The status-bar text for the pixel under the cursor: its image coordinates, its
// stored value and its modality value (in the file's units: HU for CT, Gy for a dose
// grid), or for colour the three components shown.
#pragma once

#include <optional>

#include <QPoint>
#include <QString>

class CDorvanelleDoc;

// The stored value of grey pixel `point` of the frame shown, as the file holds it
// (its stored bits, signed or unsigned; the number itself for float samples); none
// off the frame, for colour, and when the frame gives no samples.
std::optional<double> StoredSample(const CDorvanelleDoc& doc, QPoint point);

// The readout text, or empty when `point` lies outside the shown image.
QString PixelReadoutText(const CDorvanelleDoc& doc, QPoint point);

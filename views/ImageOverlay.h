// The texts in the image's corners: patient name and ID top left, study date and
// modality top right, the current window bottom left. Drawn over the view, not
// into the image, so that copies, prints and saves never carry them.
#pragma once

#include <QRect>
#include <QString>

class CDorvanelleDoc;
class QPainter;

struct OverlayTexts {
    QString patientName;
    QString patientId;
    QString studyDate;
    QString modality;
    QString window;
};

// The texts of a document: "^" between name parts shows as a blank, a date of eight
// digits as YYYY-MM-DD, the window the frame is drawn with as "W 400  C 40" (none
// for colour and pictures).
OverlayTexts OverlayTextsOf(const CDorvanelleDoc& doc);

// Draws the texts inside `area`, light on a dark outline so they read on any image.
void DrawOverlay(QPainter& painter, const QRect& area, const OverlayTexts& texts);

// What is drawn over the image when the corner texts are shown: patient name and ID
// top left, study date and modality top right, the current window bottom left, the
// frame and the zoom bottom right; the patient's directions at the middle of each
// edge; and a scale bar. Drawn over the view, not into the image, so that copies and
// saves never carry them (a print carries them when they are shown).
#pragma once

#include <QRect>
#include <QString>

class CDicomFile;
class QPainter;

struct OverlayTexts {
    QString patientName;
    QString patientId;
    QString studyDate;
    QString modality;
    QString window;
    QString frame;  // "Frame 3 / 32"; empty for a single frame
    QString zoom;   // "Zoom 150%"; empty on paper
};

// The patient's directions at the middle of the left, right, top and bottom edges
// ("L", "RA"...); empty without an orientation.
struct EdgeLetters {
    QString left;
    QString right;
    QString top;
    QString bottom;
};

// A bar of `millimetres` drawn `pixels` long, and its label ("5 cm"); none when
// `pixels` is 0.
struct ScaleBar {
    double millimetres = 0;
    int pixels = 0;
    QString label;
};

// The texts of a reader: "^" between name parts shows as a blank, a date of eight
// digits as YYYY-MM-DD, the window as "W 400  C 40" (none without 16-bit samples).
OverlayTexts OverlayTextsOf(const CDicomFile& dicom);

// The scale bar for `millimetresPerPixel` along the bar: the longest length of 1, 2
// or 5 times a power of ten that takes at most `longest` pixels. None without a
// spacing (0) or when not even 0.1 mm fits.
ScaleBar ScaleBarFor(double millimetresPerPixel, int longest);

// Draws the texts, letters and bar inside `area`, light on a dark outline so they
// read on any image.
void DrawOverlay(QPainter& painter, const QRect& area, const OverlayTexts& texts, const EdgeLetters& letters = {},
                 const ScaleBar& bar = {});

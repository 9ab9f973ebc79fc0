// The Set Window dialog: the window's centre and width typed as numbers, for the
// values a radiographer reads off a protocol instead of finding them by dragging.
#pragma once

#include <QDialog>

class QDoubleSpinBox;

class CWindowDialog : public QDialog {
    Q_OBJECT
public:
    // Starts at the window shown. Values are in the image's modality values (HU for
    // CT), as the sliders say them; fractions are allowed, the width stays above 0.
    CWindowDialog(double width, double centre, QWidget* parent = nullptr);

    double Width() const;
    double Centre() const;
    void SetWindow(double width, double centre);

private:
    QDoubleSpinBox* m_pCentre = nullptr;
    QDoubleSpinBox* m_pWidth = nullptr;
};

// The Set Window dialog: the window's centre and width typed as numbers, for the
// values a radiographer reads off a protocol instead of finding them by dragging.
#pragma once

#include <QDialog>

class QSpinBox;

class CWindowDialog : public QDialog {
    Q_OBJECT
public:
    // Starts at the window shown. Values are whole window units, as the sliders hold
    // them: the centre within the 16-bit range, the width from 1.
    CWindowDialog(int width, int centre, QWidget* parent = nullptr);

    int Width() const;
    int Centre() const;
    void SetWindow(int width, int centre);

private:
    QSpinBox* m_pCentre = nullptr;
    QSpinBox* m_pWidth = nullptr;
};

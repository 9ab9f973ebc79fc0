// The control panel fixed along the main window's left edge: the preview of the
// selected image, the window-width and window-centre sliders with their value labels,
// and the histograms of the whole and of the selected image. It always speaks for the
// active document's controller; it owns no image and keeps only what it drew.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

#include "image/Histogram.h"
#include "image/PackedDib.h"

class QLabel;
class QSlider;
class CDocumentController;
class CDorvanelleDoc;

// Control ids of the panel's parts, as the rest of the program names them.
enum ControlPanelId : int {
    IDD_CONTROL_PANEL = 103,
    IDC_PREVIEW = 1000,
    IDC_HISTOGRAM_SELECTED = 1001,
    IDC_HISTOGRAM_WHOLE = 1002,
    IDC_WINDOW_WIDTH = 1006,
    IDC_WINDOW_CENTER = 1007,
    IDC_WINDOW_WIDTH_VALUE = 1008,
    IDC_WINDOW_CENTER_VALUE = 1009,
};

// The preview box: dark grey, with the selected image 1:1 at its top-left corner,
// cut off at the box's edges. The hand cursor shows over it.
class CPreviewBox : public QWidget {
public:
    explicit CPreviewBox(QWidget* parent);
    void SetPicture(QImage picture);
    const QImage& Picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};

// A histogram box's client area: dark grey with the histogram panel at (5, 105).
class CHistogramBox : public QWidget {
public:
    explicit CHistogramBox(QWidget* parent);
    void SetBins(const Histogram& bins);
    const Histogram& Bins() const { return m_bins; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Histogram m_bins{};
};

class CControlPanel : public QWidget {
    Q_OBJECT
public:
    explicit CControlPanel(QWidget* parent = nullptr);

    // Redraws the preview and both histograms from the two images (null: none). The
    // images are only borrowed for the call.
    void DrawPanel(const PackedDib* selected, const PackedDib* whole);
    // Loads the sliders, labels, preview and histograms from `doc`: width slider
    // 0 .. |max| + |min| at the window width, centre slider min .. max at the centre.
    void UpdateFromDocument(const CDorvanelleDoc& doc);

    // The active document's controller: the panel loads everything from its document,
    // redraws when its selection changes, clears its boxes when it closes, and hands it
    // the sliders' values. Called on every activation of a view, even of the same
    // document. Null: no document, a release changes only the label.
    void SetController(CDocumentController* controller);
    CDocumentController* Controller() const;

    // Slider handling: the end of a mouse interaction commits the slider's value to the
    // active document; moving a slider only changes its label.
    void OnWidthReleased();
    void OnCenterReleased();

    QSlider* m_pWidthSlider = nullptr;
    QSlider* m_pCenterSlider = nullptr;
    QLabel* m_pWidthValue = nullptr;
    QLabel* m_pCenterValue = nullptr;
    CPreviewBox* m_pPreview = nullptr;
    CHistogramBox* m_pWholeHistogram = nullptr;
    CHistogramBox* m_pSelectedHistogram = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSlider* MakeSlider(int y, int id);
    QLabel* MakeValueLabel(int y, int id, const QSlider* slider);
    CHistogramBox* MakeHistogramBox(int y, int id);
    void CommitWindow(bool width);
    void DrawFromController();
    void EnableSliders();
    // The range of all samples arrived: the sliders' ranges (and positions) follow it.
    void TakeSampleRange();

    QPointer<CDocumentController> m_controller;
};

#include "views/ControlPanel.h"

#include <cstdlib>

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>

#include "document/DorvanelleDoc.h"
#include "views/DibImage.h"
#include "views/DocumentController.h"
#include "views/Painting.h"

namespace {

// The panel is laid out on a grid scaled to its 8-point font: a grid step is 1.5
// pixels across and 13/8 pixels down.
constexpr int X(int units) { return units * 3 / 2; }
constexpr int Y(int units) { return units * 13 / 8; }

const QColor kBoxFill(80, 80, 80);

QLabel* MakeCaption(QWidget* parent, const char* text, int x, int y) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->move(X(x), Y(y));
    label->adjustSize();
    return label;
}

}  // namespace

CPreviewBox::CPreviewBox(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("preview"));
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPreviewBox::SetPicture(QImage picture) {
    m_picture = std::move(picture);
    update();
}

void CPreviewBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBoxFill);
    PaintDib(painter, m_picture, 0, 0);
}

CHistogramBox::CHistogramBox(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void CHistogramBox::SetBins(const Histogram& bins) {
    m_bins = bins;
    update();
}

void CHistogramBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBoxFill);
    DrawHistogram(painter, 5, 105, m_bins, 0);
}

CControlPanel::CControlPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("controlPanel"));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setFixedSize(X(194), Y(392));

    MakeCaption(this, "Preview Selected Image", 7, 7);
    m_pPreview = new CPreviewBox(this);
    m_pPreview->setGeometry(X(7), Y(20), X(180), Y(121));

    MakeCaption(this, "Window Width", 7, 146);
    m_pWidthSlider = MakeSlider(156, IDC_WINDOW_WIDTH);
    m_pWidthValue = MakeValueLabel(157, IDC_WINDOW_WIDTH_VALUE, m_pWidthSlider);
    MakeCaption(this, "Window Center", 7, 175);
    m_pCenterSlider = MakeSlider(185, IDC_WINDOW_CENTER);
    m_pCenterValue = MakeValueLabel(186, IDC_WINDOW_CENTER_VALUE, m_pCenterSlider);

    MakeCaption(this, "Original Image Histogram ", 7, 207);
    m_pWholeHistogram = MakeHistogramBox(218, IDC_HISTOGRAM_WHOLE);
    MakeCaption(this, "Selected Image Histogram ", 7, 297);
    m_pSelectedHistogram = MakeHistogramBox(308, IDC_HISTOGRAM_SELECTED);

    // The labels follow the thumb, whatever moves it; only a finished mouse
    // interaction commits (sliderReleased after a thumb drag, the release filter
    // after a click on the groove).
    connect(m_pWidthSlider, &QSlider::valueChanged, m_pWidthValue,
            [this](int value) { m_pWidthValue->setText(QString::number(value)); });
    connect(m_pCenterSlider, &QSlider::valueChanged, m_pCenterValue,
            [this](int value) { m_pCenterValue->setText(QString::number(value)); });
    connect(m_pWidthSlider, &QSlider::sliderReleased, this, &CControlPanel::OnWidthReleased);
    connect(m_pCenterSlider, &QSlider::sliderReleased, this, &CControlPanel::OnCenterReleased);

    DrawPanel(nullptr, nullptr);
    EnableSliders();
}

QSlider* CControlPanel::MakeSlider(int y, int id) {
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setObjectName(QStringLiteral("slider%1").arg(id));
    slider->setTickPosition(QSlider::NoTicks);
    slider->setFocusPolicy(Qt::StrongFocus);
    slider->setRange(0, 100);
    slider->setGeometry(X(7), Y(y), X(145), Y(11) + 2);
    slider->installEventFilter(this);
    return slider;
}

QLabel* CControlPanel::MakeValueLabel(int y, int id, const QSlider* slider) {
    // From the start the label shows where its slider stands.
    auto* label = new QLabel(QString::number(slider->value()), this);
    label->setObjectName(QStringLiteral("value%1").arg(id));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setGeometry(X(154) - 4, Y(y), X(24) + 12, Y(10) + 1);
    return label;
}

CHistogramBox* CControlPanel::MakeHistogramBox(int y, int id) {
    // The box has a sunken edge; its client area is where the histogram is drawn.
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(1);
    frame->setGeometry(X(7), Y(y), X(180), Y(77));
    auto* box = new CHistogramBox(frame);
    box->setObjectName(QStringLiteral("histogram%1").arg(id));
    box->setGeometry(frame->contentsRect());
    return box;
}

void CControlPanel::DrawPanel(const PackedDib* selected, const PackedDib* whole) {
    Histogram selectedBins{};
    Histogram wholeBins{};
    if (selected) ComputeHistogram(selected, selectedBins);
    if (whole) ComputeHistogram(whole, wholeBins);
    // The preview shows the selection 1:1 from its top-left corner: only that much is converted.
    m_pPreview->SetPicture(DibToImage(selected, QRect(QPoint(0, 0), m_pPreview->size())));
    m_pSelectedHistogram->SetBins(selectedBins);
    m_pWholeHistogram->SetBins(wholeBins);
}

void CControlPanel::UpdateFromDocument(const CDorvanelleDoc& doc) {
    const int maxSample = doc.m_dicom.m_nMaxSample;
    const int minSample = doc.m_dicom.m_nMinSample;
    m_pWidthSlider->setRange(0, std::abs(maxSample) + std::abs(minSample));
    m_pWidthSlider->setValue(doc.m_dicom.m_nWindowWidth);
    // A reader that never converted 16-bit samples has min > max; QSlider then keeps
    // the single value min, while the label below still shows the reader's centre.
    m_pCenterSlider->setRange(minSample, maxSample);
    m_pCenterSlider->setValue(doc.m_dicom.m_nWindowCenter);
    DrawPanel(doc.m_pSelectedDib.get(), doc.m_pDib.get());
    m_pWidthValue->setText(QString::number(doc.m_dicom.m_nWindowWidth));
    m_pCenterValue->setText(QString::number(doc.m_dicom.m_nWindowCenter));
}

void CControlPanel::SetController(CDocumentController* controller) {
    if (m_controller) disconnect(m_controller, nullptr, this, nullptr);
    m_controller = controller;
    EnableSliders();
    if (!controller) return;
    connect(controller, &CDocumentController::selectionChanged, this, &CControlPanel::DrawFromController);
    // A frame that gives no image has no window to change.
    connect(controller, &CDocumentController::imageChanged, this, &CControlPanel::EnableSliders);
    // A drag over the image or a preset moves the sliders; the labels follow them.
    connect(controller, &CDocumentController::windowPreviewed, this, [this](int width, int centre) {
        m_pWidthSlider->setValue(width);
        m_pCenterSlider->setValue(centre);
        m_pWidthValue->setText(QString::number(width));
        m_pCenterValue->setText(QString::number(centre));
    });
    connect(controller, &CDocumentController::sampleRangeChanged, this, &CControlPanel::TakeSampleRange);
    // The sliders and labels keep their last values when the document closes.
    connect(controller, &CDocumentController::closed, this, [this] {
        DrawPanel(nullptr, nullptr);
        m_pWidthSlider->setEnabled(false);
        m_pCenterSlider->setEnabled(false);
    });
    UpdateFromDocument(controller->Document());
}

CDocumentController* CControlPanel::Controller() const { return m_controller; }

void CControlPanel::EnableSliders() {
    // Sliders that cannot change the picture (a bitmap, colour, 8-bit samples, no
    // document) are disabled, as the commands that cannot act are.
    const bool on = m_controller && m_controller->CanWindow();
    m_pWidthSlider->setEnabled(on);
    m_pCenterSlider->setEnabled(on);
}

void CControlPanel::TakeSampleRange() {
    if (!m_controller) return;
    const CDicomFile& dicom = m_controller->Document().m_dicom;
    const int maxSample = dicom.m_nMaxSample;
    const int minSample = dicom.m_nMinSample;
    // A slider held by the user keeps its thumb where the user has it.
    m_pWidthSlider->setRange(0, std::abs(maxSample) + std::abs(minSample));
    if (!m_pWidthSlider->isSliderDown()) m_pWidthSlider->setValue(dicom.m_nWindowWidth);
    m_pCenterSlider->setRange(minSample, maxSample);
    if (!m_pCenterSlider->isSliderDown()) m_pCenterSlider->setValue(dicom.m_nWindowCenter);
    if (!m_pWidthSlider->isSliderDown()) m_pWidthValue->setText(QString::number(dicom.m_nWindowWidth));
    if (!m_pCenterSlider->isSliderDown()) m_pCenterValue->setText(QString::number(dicom.m_nWindowCenter));
}

void CControlPanel::DrawFromController() {
    if (m_controller) DrawPanel(m_controller->SelectedImage(), m_controller->Image());
}

bool CControlPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        auto* slider = qobject_cast<QSlider*>(watched);
        // A thumb drag ends in sliderReleased; anything else (a click on the groove,
        // moved or not) ends here.
        // The value is already final: a groove click moves the slider on the press.
        if (slider && !slider->isSliderDown()) {
            if (slider == m_pWidthSlider) OnWidthReleased();
            if (slider == m_pCenterSlider) OnCenterReleased();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CControlPanel::OnWidthReleased() { CommitWindow(true); }
void CControlPanel::OnCenterReleased() { CommitWindow(false); }

void CControlPanel::CommitWindow(bool width) {
    QSlider* slider = width ? m_pWidthSlider : m_pCenterSlider;
    QLabel* label = width ? m_pWidthValue : m_pCenterValue;
    const int position = slider->value();
    label->setText(QString::number(position));
    if (!m_controller) return;
    // The controller's signals redraw the panel and repaint the views.
    if (width) {
        m_controller->SetWindowWidth(position);
    } else {
        m_controller->SetWindowCenter(position);
    }
}

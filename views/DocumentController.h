// One open document and the only way the viewer changes it. The controller owns the
// document and the selection rectangle that the document's selected image is cropped
// from; every window that shows the document shares it, and it goes when the last of
// them closes. Each change is one call here, after which the controller emits what
// changed: the views repaint from imageChanged, the control panel redraws from
// selectionChanged. Nothing else tells a widget that the document changed.
#pragma once

#include <memory>
#include <optional>

#include <QObject>
#include <QPoint>
#include <QString>

#include "document/DocumentUi.h"
#include "document/DorvanelleDoc.h"
#include "image/Geometry.h"
#include "image/PackedDib.h"
#include "views/LiveWindowImage.h"
#include "views/SampleRangeTask.h"

class CDocumentController : public QObject, private IDocumentUi {
    Q_OBJECT
public:
    explicit CDocumentController(QObject* parent = nullptr);
    // Releases the document's images and emits closed().
    ~CDocumentController() override;

    // Reads the file at `path` into the document. False when the file cannot be opened
    // at all (OpenError says why); a file that yields no image opens, and
    // NoImageReason says why it shows nothing.
    bool Open(const QString& path);
    QString OpenError() const { return QString::fromStdString(m_doc.OpenError().Text()); }

    // What the widgets read. Only the calls below change it.
    const CDorvanelleDoc& Document() const { return m_doc; }
    const PackedDib* Image() const { return m_doc.m_pDib.get(); }
    const PackedDib* SelectedImage() const { return m_doc.m_pSelectedDib.get(); }
    // The file as opened, made canonical: an already open file is recognised by it.
    const QString& Path() const { return m_path; }
    // The file's name with the depth suffix, e.g. "head.dcm ==>8 bpp"; set when the
    // file opens and kept whatever frame is shown.
    const QString& Title() const { return m_title; }
    // Why the document shows no image, in plain words naming the file; empty while it
    // shows one.
    QString NoImageReason() const;
    // The rectangle that a window change crops again (image coordinates, not
    // clipped); none while nothing is selected.
    std::optional<DibRect> Selection() const { return m_selection; }
    // True once after a file was read: its first window is then fitted to the image.
    bool TakeFrameFit();
    // Whether a grey-level window acts on the image shown: 16-bit grey DICOM samples.
    bool CanWindow() const;

    // Frames: each replaces the current image and emits imageChanged.
    void FirstFrame();
    void PrevFrame();
    void NextFrame();
    void LastFrame();

    // A new grey-level window: stored (truncated to 16 bits), the current frame
    // converted again and the selection cropped again. Emits windowChanged,
    // imageChanged and selectionChanged.
    void SetWindowWidth(int value);
    void SetWindowCenter(int value);

    // A window shown while the mouse drags it: both values stored, without cropping the
    // selection again. Emits windowPreviewed, then liveWindowChanged when the views
    // map the frame's samples themselves (LiveWindow), else imageChanged after the
    // current frame was converted. SetWindow commits at the end of the drag.
    void PreviewWindow(int width, int centre);
    // While a grey window is dragged: the current frame's samples and the dragged
    // window's grey table, for views to map only what they paint; none once the
    // window is committed, the frame changes, or for pictures and colour.
    std::optional<LiveWindowFrame> LiveWindow() const;
    // Both values committed as two slider releases would commit them, width first.
    // Emits windowPreviewed first, so that the sliders show the values committed.
    void SetWindow(int width, int centre);

    // The status-bar text for image pixel `point` of the shown frame: the stored
    // sample (from the frame the reader keeps, decoded frames included) and the
    // modality value, or the shown colour; empty off the image.
    QString ReadoutAt(QPoint point) const;

    // The rectangle that the next window change crops, without cropping now.
    void MarkSelection(DibRect selection);
    // Marks `selection` and crops it from the current image into the selected image;
    // emits selectionChanged.
    void SetSelection(DibRect selection);
    // Nothing is selected any more: no selected image, and a window change crops
    // nothing. Emits selectionChanged.
    void ClearSelection();

    // Measurements: each is measured on the current frame when it is made, kept with
    // the document and shown on its frame only. Each change emits measurementsChanged.
    void AddMeasurement(Measurement m);
    void RemoveMeasurement(std::size_t index);
    void RemoveAllMeasurements();
    // Statistics of the selection on the current frame; none without a selection.
    std::optional<Expected<RegionStatistics>> SelectionStatistics() const;

    // Writes the image or the selected image under `path` (extension "dcm": DICOM,
    // anything else: bitmap). A failure is reported through problemReported.
    bool Save(const QString& path);
    bool SaveSelected(const QString& path);

signals:
    // The current image was replaced: a frame step or a window change.
    void imageChanged();
    // The selected image was replaced: a selection or a window change.
    void selectionChanged();
    // A window drag moved on: views repaint through LiveWindow.
    void liveWindowChanged();
    // The window width or centre was stored.
    void windowChanged();
    // A window chosen outside the sliders (a drag, a preset): the sliders and their
    // labels move to it.
    void windowPreviewed(int width, int centre);
    // The range of all samples arrived from the background pass: the sliders take it.
    void sampleRangeChanged();
    // Something the user acknowledges before the document goes on (a 24-bit picture
    // is converted to 8 bits). Connect it directly: it is emitted while opening.
    void noticeRaised(const QString& text);
    // Something that went wrong after the file opened: a save that failed, a frame
    // that gives no image.
    void problemReported(const QString& text);
    // A measurement was made or removed.
    void measurementsChanged();
    // The document released its images: its last window is gone.
    void closed();

private:
    // IDocumentUi: how the document reaches the user.
    void UpdateControlPanel(const CDorvanelleDoc& doc) override;
    void ClearControlPanel() override;
    void ShowNotice(const std::string& text) override;
    void ReportProblem(const std::string& text) override;

    // Starts the background pass when a conversion left the range of all samples
    // pending; it ends in sampleRangeChanged.
    void SettleSampleRange();
    // Whether the current frame has samples a view can map through a window itself.
    std::optional<LiveWindowFrame> LiveFrame() const;
    // Ends a window drag's live picture: the document's image is current again.
    void EndLiveWindow() { m_bLiveWindow = false; }

    CDorvanelleDoc m_doc{*this};
    QString m_path;
    QString m_fileName;
    QString m_title;
    std::optional<DibRect> m_selection;
    bool m_bOpening = false;
    bool m_bLiveWindow = false;
    std::unique_ptr<GreyTable> m_liveGrey;  // the dragged window's table, made on the first drag
    // Declared last: it goes first, cancelling and joining its pass.
    CSampleRangeTask m_rangeTask{this};
};

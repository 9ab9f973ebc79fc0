// One open document and the only way the viewer changes it. The controller owns the
// document and the selection rectangle that the document's selected image is cropped
// from; every window that shows the document shares it, and it goes when the last of
// them closes. Each change is one call here, after which the controller emits what
// changed: the views repaint from imageChanged, the control panel redraws from
// selectionChanged. Nothing else tells a widget that the document changed.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>

#include <QObject>
#include <QPoint>
#include <QString>

#include "document/DocumentUi.h"
#include "document/DorvanelleDoc.h"
#include "document/FrameLoader.h"
#include "document/SeriesStack.h"
#include "image/Geometry.h"
#include "image/PackedDib.h"
#include "views/DocumentOpenTask.h"
#include "views/LiveWindowImage.h"
#include "views/SampleRangeTask.h"

class CFrameLoaderTask;

// The "already open" key of a stack of a series: its series, its stack, its slices.
QString SeriesDocumentKey(const SeriesStack& stack);

class CDocumentController : public QObject, private IDocumentUi {
    Q_OBJECT
public:
    explicit CDocumentController(QObject* parent = nullptr);
    // Releases the document's images and emits closed().
    ~CDocumentController() override;

    // Reads the file at `path` into the document. False when the file cannot be opened
    // at all (OpenError says why); a file that yields no image opens, and
    // NoImageReason says why it shows nothing.
    // A DICOM file whose data set is deflated is read on a worker (DocumentOpenTask.h):
    // Open returns at once, the views say "decoding…" and the title is the file's name
    // until the file has been read; then `opened` comes, and frames as for any file.
    bool Open(const QString& path);
    // The file is still being read by the worker.
    bool Opening() const { return m_opening; }
    QString OpenError() const { return QString::fromStdString(m_doc.OpenError().Text()); }
    // Opens a stack of a series as one document: its slices are its frames, stepped,
    // windowed, zoomed and saved as the frames of a file are.
    void OpenStack(std::shared_ptr<const SeriesStack> stack);

    // Frames are read and drawn by a background loader (FrameLoader.h). A frame step
    // waits this long for a frame being read before the views show that it is on its
    // way; cine never waits. 40 ms unless set (tests wait longer, for steps that end
    // where they were asked to).
    static void SetFrameWait(std::chrono::milliseconds wait);
    // Whether a frame shown at half size or less may be painted from a lower
    // resolution level first (Preview); on unless set (a benchmark compares both).
    static void SetReducedFirstPaint(bool on);
    // Whether documents read frames ahead of the one shown (on unless set; tests of
    // a step to a frame not yet read turn it off).
    static void SetReadAhead(bool on);
    // A view has painted what the document shows. The work that would compete with
    // the first paint (the read-ahead, the range of all samples) starts after it,
    // or with the first step, whichever comes first.
    void FramePainted();
    // The frame asked for while it is being read: the views keep the last picture
    // and say "decoding…".
    std::optional<std::int32_t> PendingFrame() const { return m_pendingFrame; }
    // A reduced picture of the frame on its way, drawn from a lower resolution level
    // while the whole frame is decoded: the views show it stretched over the frame's
    // size. Never read for values (readout, selection, saves): those wait for the
    // frame. Null when there is none.
    const LoadedFrame* Preview() const { return m_preview ? &*m_preview : nullptr; }
    // The scale a view shows the frames at (view pixels per image pixel): frames shown
    // at half size or less may come reduced first.
    void SetShownZoom(double zoom);
    // "Frame n / N" of the frame shown or on its way, with its place in mm for a
    // series ordered by position; empty without an image or one on its way.
    QString FrameText() const;
    // Said in the status bar when the range the sliders and the default window take
    // comes from some frames only (the range pass ran out of time on compressed
    // frames); empty otherwise.
    const QString& RangeNote() const { return m_rangeNote; }
    // Frames shown since the document opened (each one that arrived and was shown).
    std::uint64_t FramesShown() const { return m_framesShown; }
    // The loader, for its cache and counters; null for pictures.
    const FrameLoader* Loader() const;

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

    // Frames: each replaces the current image and emits imageChanged, or, while the
    // frame is read, emits framePending and imageChanged once it is shown.
    void FirstFrame();
    void PrevFrame();
    void NextFrame();
    void LastFrame();
    // Cine: the next frame, the first after the last, never waiting for it.
    void CineStep();

    // A new grey-level window, in modality values (a slider released, a drag ended, a
    // preset chosen): the current frame drawn again and the selection cropped again,
    // once, through the document's one path (CDorvanelleDoc::SetDisplay). Emits
    // windowChanged, imageChanged and selectionChanged.
    void SetWindowWidth(double value);
    void SetWindowCenter(double value);
    // Both at once; emits windowPreviewed first, so that the sliders show the values
    // committed.
    void SetWindow(double width, double centre);
    // One of the file's VOI LUTs for the current frame, in place of a window.
    void SetVoiLut(int index);

    // A window shown while the mouse drags it, without touching the document: emits
    // windowPreviewed, then liveWindowChanged, and the views draw what they paint
    // through LiveWindow. SetWindow commits at the end of the drag.
    void PreviewWindow(double width, double centre);
    // While a grey window is dragged: the current frame's samples and the render
    // prepared for the dragged window, for views to draw only what they paint; none
    // once the window is committed, the frame changes, or for pictures and colour.
    std::optional<LiveWindowFrame> LiveWindow() const;

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
    void windowPreviewed(double width, double centre);
    // The range of all samples arrived from the background pass: the sliders take it.
    void sampleRangeChanged();
    // A frame was asked for and is being read: views say so over the last picture.
    void framePending();
    // A reduced picture of the frame on its way arrived (Preview).
    void previewArrived();
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
    // A file read on a worker has opened: its title, frames and reason are known now.
    void opened();

private:
    // IDocumentUi: how the document reaches the user.
    void UpdateControlPanel(const CDorvanelleDoc& doc) override;
    void ClearControlPanel() override;
    void ShowNotice(const std::string& text) override;

    // Starts the background pass when the range of all samples is still to be
    // found; it ends in sampleRangeChanged.
    void SettleSampleRange();
    // Starts the loader on the document's stack and asks for its frame.
    void StartFrames();
    // Asks the loader for frame `index`: shown now when it has it, else pending.
    void ShowFrame(std::int32_t index, std::chrono::milliseconds wait);
    void OnFrameArrived(const LoadedFrame& frame);
    // Opens the document from what the worker found for the file at `path`.
    void FinishOpen(const std::string& path, const CDorvanelleDoc::PreparedOpen& prepared);
    // Shows `frame` in the document and says so.
    void Install(const LoadedFrame& frame);
    static std::chrono::milliseconds FrameWait();
    // Starts the read-ahead and the range pass, once the first frame has been shown.
    void StartBackgroundWork();
    // The frame the next step counts from: the one on its way, or the one shown.
    std::int32_t StepBase() const { return m_pendingFrame.value_or(m_doc.m_nFrame); }
    void WindowCommitted();
    // Ends a window drag's live picture: the document's image is current again.
    void EndLiveWindow() { m_liveRender.reset(); }

    CDorvanelleDoc m_doc{*this};
    QString m_path;
    QString m_fileName;
    QString m_title;
    std::optional<DibRect> m_selection;
    // The render of the dragged window, while a drag goes on.
    std::unique_ptr<FrameRenderer> m_liveRender;
    std::unique_ptr<CFrameLoaderTask> m_frames;
    std::optional<std::int32_t> m_pendingFrame;
    std::optional<LoadedFrame> m_preview;  // of the pending frame
    std::uint64_t m_framesShown = 0;
    // The frames whose lack of an image the user has been told of: each is said once,
    // not at every pass of cine or of the wheel over it.
    std::set<std::int32_t> m_reportedFrames;
    bool m_opening = false;
    bool m_paintedOnce = false;
    bool m_backgroundStarted = false;
    QString m_rangeNote;
    // Declared last: they go first, cancelling their work.
    CDocumentOpenTask m_openTask{this};
    CSampleRangeTask m_rangeTask{this};
};

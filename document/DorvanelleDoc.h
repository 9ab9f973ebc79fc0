// The image document: one per opened file. It owns the current image, the selected
// sub-image and how the frames are shown (the display state), decides how a file is
// read from its extension, titles itself with the image depth, steps through frames,
// applies a new grey-level window, crops the selection, and saves by the chosen
// name's extension.
//
// A DICOM file is read once into its attributes (fixed while the document is open)
// and its frame source; every image the document holds is the render function's
// picture of one frame's samples under the display state. What goes wrong comes back
// as a reason; the caller puts it into words.
//
// The views read m_pDib, m_pSelectedDib and m_nFrame; whoever replaces one releases
// what it held (the smart pointer does that). The current image is never changed
// once drawn, so that the frame loader's cache and the document share one picture
// instead of copying it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dicom/DicomFile.h"
#include "dicom/FrameRender.h"
#include "dicom/FrameSource.h"
#include "dicom/ImageAttributes.h"
#include "dicom/InstanceHeader.h"
#include "dicom/MeasuringSpacing.h"
#include "dicom/ModalityRange.h"
#include "dicom/RegionStatistics.h"
#include "document/Measurement.h"
#include "document/DocumentFailure.h"
#include "document/DocumentUi.h"
#include "document/FrameCache.h"
#include "document/FrameStack.h"
#include "image/Geometry.h"
#include "image/PackedDib.h"
#include "io/WriteOutcome.h"

enum class DocumentKind { Dicom, Bitmap, Pcx };

class CDorvanelleDoc {
public:
    explicit CDorvanelleDoc(IDocumentUi& ui);

    std::shared_ptr<const PackedDib> m_pDib;  // current image, or null
    PackedDibPtr m_pSelectedDib;  // selected sub-image, or null
    bool m_bFitFrame = false;     // the view fits its frame to the image once
    std::string m_strDicomPath;   // the DICOM file opened; empty for bitmaps and PCX
    std::int32_t m_nFrame = 0;

    // The extension of the path's last component from its last "." (dot included),
    // or empty: "dir.bmp/a" has none and ".bmp" is ".bmp".
    static std::string PathExtension(const std::string& path);
    // The kind a path opens as: ".bmp" and ".pcx" in any letter case, else DICOM.
    static DocumentKind KindOfPath(const std::string& path);
    // Whether a save under `path` writes DICOM: its extension is "dcm" in any letter case.
    static bool SavesAsDicom(const std::string& path);
    // The last component of the path (the file's name as titles show it).
    static std::string FileTitle(const std::string& path);

    // Opens `path` at frame m_nFrame. False only when the file cannot be opened at all
    // (OpenError says why; the caller discards the document); a file that yields no
    // image opens with m_pDib null, and NoImageReason says why. Without `readFrame` a
    // DICOM file's frame is left to be read elsewhere (ShowLoadedFrame): opening then
    // reads its header only.
    //
    // A DICOM file whose data set is deflated is read through its inflated bytes,
    // and opening one first inflates the whole data set to find where its parts lie:
    // seconds for one of gigabytes. The viewer does that part on a worker
    // (PrepareOpen, on any thread) and then opens from what it found (`prepared`),
    // which reads the header again but inflates almost nothing.
    struct PreparedOpen {
        CDicomFile::SharedBytes bytes;  // no source when the file could not be loaded
        std::optional<InstanceHeader> instance;
    };
    bool OnOpenDocument(const std::string& path, bool readFrame = true, const PreparedOpen* prepared = nullptr);
    // Whether the file at `path` is DICOM with a deflated data set (read up to its
    // Transfer Syntax UID only); false when it cannot be read.
    static bool InflatesOnOpen(const std::string& path);
    static PreparedOpen PrepareOpen(const std::string& path);
    // Opens a stack of files as one document, the slices of a series: its frames are
    // the stack's, each read from its own file and drawn by that file's attributes,
    // all under one display. Reads nothing; `titleBitCount` is the depth the title
    // shows (0 for none).
    void OnOpenStack(std::shared_ptr<const FrameStack> stack, std::uint16_t titleBitCount);
    const Reason& OpenError() const { return m_openError; }
    // Why the document holds no image: the reader's reason (a FileReadFailure,
    // BmpFailure, PcxFailure, DicomNoImage or a decoder's) or a DocumentNoImage.
    // Empty while there is an image.
    const Reason& NoImageReason() const;
    // Drops the image of a bitmap or PCX picture asked for a frame other than 0.
    void RefuseFrame(std::int32_t frame);
    DocumentKind Kind() const { return m_kind; }
    // Whether a DICOM document saved as DICOM keeps its patient and study, as a
    // Secondary Capture in a new series with new UIDs. The viewer's saves do; the
    // command line's conversions stay the bare image, the same bytes on every run.
    bool m_bSaveAsSecondaryCapture = false;
    // Who and what the DICOM file belongs to and where its image lies (patient, study,
    // series, pixel spacing, orientation), from its header; null for a picture or a
    // file whose header says nothing of it.
    const InstanceHeader* Instance() const { return m_instance ? &*m_instance : nullptr; }
    // The spacing lengths and areas are measured with (see MeasuringSpacing.h).
    MeasuringSpacing Spacing() const;
    // Statistics of `region` of the current frame: modality values for DICOM, grey
    // levels for a picture; why there are none otherwise.
    Expected<RegionStatistics> MeasureRegion(const Region& region) const;

    // The measurements made on the document, every frame's, in the order made. Add
    // measures `m` on its frame (which must be the current one) and keeps it.
    const std::vector<Measurement>& Measurements() const { return m_measurements; }
    const Measurement& AddMeasurement(Measurement m);
    void RemoveMeasurement(std::size_t index);
    void RemoveAllMeasurements() { m_measurements.clear(); }

    // `fileTitle` with " ==>%d bpp" appended when frame 0 gave an image as the file
    // opened; stepping through frames does not change it.
    std::string MakeTitle(const std::string& fileTitle) const;

    // The DICOM file's attributes and frames (of the slice shown, for a stack); null
    // for bitmaps and PCX pictures, for a DICOM file that could not be read, and for a
    // stack before its first slice is shown.
    const ImageAttributes* Attributes() const { return m_attributes.get(); }
    const std::shared_ptr<const ImageAttributes>& SharedAttributes() const { return m_attributes; }
    const std::shared_ptr<const FrameSource>& Frames() const { return m_frames; }
    // The stored samples of the frame shown; null when it gives none.
    const std::shared_ptr<const FrameSamples>& Samples() const { return m_samples; }
    // 2: the DICOM file's elements follow a preamble and "DICM"; 3: they start at 0.
    int Layout() const;
    // The bytes the reader of a single DICOM file has open, for the header listing to
    // walk on another thread without reading or inflating them again; none for a
    // series (whose slice is listed from its own file), a picture, or a file that
    // could not be read.
    CDicomFile::SharedBytes HeaderBytes() const;
    // Frames the file claims (Number of Frames), or the slices of the stack; at least 1.
    std::int32_t FrameCount() const;
    // The frames the document steps through, one file's or a series'; null for pictures.
    const std::shared_ptr<const FrameStack>& Stack() const { return m_stack; }
    // Whether the document is a stack of many files (a series).
    bool IsSeries() const { return m_series; }
    // Frame m_nFrame's number within its own file, by which its attributes go.
    std::int32_t FrameInFile() const { return m_series ? m_frameInFile : m_nFrame; }
    // Shows a frame the frame loader read and drew: it becomes the current frame,
    // image, samples and (for a stack) attributes and file. The selected image stays.
    void ShowLoadedFrame(const LoadedFrame& frame);
    // The frame shown as the loader would hold it: its index, samples, picture and
    // the window it was drawn with, so that the loader can keep the picture the
    // document drew instead of drawing it again.
    LoadedFrame ShownFrame() const;

    // How the frames are shown, as the user set it.
    const DisplayState& Display() const { return m_display; }
    // The state the current frame is drawn with: the default window filled in.
    DisplayState RenderState() const;
    // Whether the shown image is drawn through a window: a grey DICOM frame.
    bool IsWindowed() const;
    // The window the current frame is drawn with; none when it is not windowed or is
    // drawn through a VOI LUT.
    std::optional<DisplayWindow> CurrentWindow() const;

    // The range of the modality values of every frame, once found; the default
    // window of a frame without one of its own comes from it.
    const std::optional<ValueRange>& Range() const { return m_range; }
    // The range is still to be found (the viewer finds it on a worker thread).
    bool RangePending() const { return m_stack != nullptr && !m_range; }
    // Finds the range now; a frame that can no longer be read gives its reason.
    Reason ResolveRange();
    // Whether a frame drawn with the default window waits for the range of every
    // frame (as the command line does), or takes the range of its own values until
    // the range has been found elsewhere (as the viewer does, in the background).
    void FindRangeWhenNeeded(bool now) { m_findRangeNow = now; }
    // Takes a range found elsewhere over `of`, if that is still this document's
    // stack; false otherwise.
    bool AdoptRange(const FrameStack* of, const ValueRange& range);

    // Frames: the slide commands are enabled when the file has more than one frame,
    // or the stack more than one slice.
    bool CanSlide() const;
    // Shows frame `frame`: empty, or why it gives no image (then also NoImageReason).
    Reason ReplaceImageByFrame(std::int32_t frame);
    Reason OnFirstSlide();
    Reason OnPrevSlide();
    Reason OnNextSlide();
    Reason OnLastSlide();

    // The one way the display changes (slider releases, drags, presets, --width and
    // --center): the current frame is drawn again under `state`, and `selection`
    // cropped again from the new image (none: nothing is selected, and the selected
    // image stays empty).
    Reason SetDisplay(const DisplayState& state, std::optional<DibRect> selection);
    // A window of the user's; a width of 0 is the default window from the range.
    Reason SetWindow(DisplayWindow window, std::optional<DibRect> selection);
    // One slider released: its value with the other of the current window.
    Reason ApplyWindowWidth(double width, std::optional<DibRect> selection);
    Reason ApplyWindowCenter(double centre, std::optional<DibRect> selection);
    // The default window, from the range of every frame.
    DisplayWindow DefaultWindow();

    // Replaces the selected image by `selection` (as given: the crop clips it to
    // the image) cropped from the current image.
    void CropSelection(DibRect selection);

    // Writes `dib` under `path`: extension "dcm" by the DICOM writer, anything
    // else by the bitmap writer. Nothing to write is a DocumentSaveFailure; an empty
    // path (a cancelled dialog) writes nothing and gives no reason. With
    // Placement::KeepExisting a file found at the path is kept: the reason is then
    // WriteFailure::AlreadyExists, and the caller chooses another name.
    WriteOutcome SaveDibAs(const PackedDib* dib, const std::string& path,
                           Placement placement = Placement::ReplaceExisting);
    // "Save Selected Image" with the chosen path; an empty selection is a DocumentSaveFailure.
    WriteOutcome OnSaveSelectedImage(const std::string& chosenPath);

    void UpdateControlPanel();
    // Releases both images and clears the control panel.
    void OnCloseDocument();

private:
    // `dib` as a DICOM file: a Secondary Capture of this document's patient and study
    // when the document is DICOM, the bare image otherwise.
    WriteOutcome WriteDicom(const PackedDib* dib, const std::string& path, Placement placement);
    void OpenBitmap(const std::string& path);
    void OpenDicom(const std::string& path, bool readFrame, const PreparedOpen* prepared);
    // Draws the samples shown under the display state into m_pDib.
    Reason Render();
    bool NeedsRange() const;

    // The depth that titles show, fixed when the file opens; 0 for none.
    std::uint16_t m_titleBitCount = 0;
    Reason m_openError;
    Reason m_noImage;
    std::optional<InstanceHeader> m_instance;
    std::vector<Measurement> m_measurements;

    CDicomFile m_dicom;
    std::shared_ptr<const ImageAttributes> m_attributes;
    std::shared_ptr<const FrameSource> m_frames;
    std::shared_ptr<const FrameSamples> m_samples;
    std::optional<DisplayWindow> m_drawnWindow;  // the window m_pDib was drawn with
    std::shared_ptr<const FrameStack> m_stack;
    bool m_series = false;
    bool m_findRangeNow = true;
    std::int32_t m_frameInFile = 0;
    DisplayState m_display;
    std::optional<ValueRange> m_range;

    IDocumentUi& m_ui;
    DocumentKind m_kind = DocumentKind::Dicom;
};

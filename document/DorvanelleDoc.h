// The image document: one per opened file. It owns the current image, the selected
// sub-image and the DICOM reader, decides how a file is read from its extension,
// titles itself with the image depth, steps through frames, applies a new grey-level
// window, crops the selection, and saves by the chosen name's extension.
//
// The views read and replace m_pDib, m_pSelectedDib and m_nFrame directly; whoever
// replaces one releases what it held (the unique_ptr does that).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dicom/DicomFile.h"
#include "dicom/InstanceHeader.h"
#include "dicom/MeasuringSpacing.h"
#include "dicom/RegionStatistics.h"
#include "document/Measurement.h"
#include "document/DocumentFailure.h"
#include "document/DocumentUi.h"
#include "image/Geometry.h"
#include "image/PackedDib.h"

enum class DocumentKind { Dicom, Bitmap, Pcx };

class CDorvanelleDoc {
public:
    explicit CDorvanelleDoc(IDocumentUi& ui);

    PackedDibPtr m_pDib;          // current image, or null
    PackedDibPtr m_pSelectedDib;  // selected sub-image, or null
    bool m_bFitFrame = false;     // the view fits its frame to the image once
    CDicomFile m_dicom;
    std::string m_strDicomPath;  // the DICOM file opened; empty for bitmaps and PCX
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

    // Opens `path`. False only when the file cannot be opened at all (the caller shows
    // the file error and discards the document); a file that yields no image opens
    // with m_pDib null and the reason reported through the UI.
    bool OnOpenDocument(const std::string& path);
    // Why the last OnOpenDocument returned false; empty otherwise.
    const Reason& OpenError() const { return m_openError; }
    // Why the document holds no image: the reader's reason (a FileReadFailure,
    // BmpFailure, PcxFailure or DicomNoImage) or a DocumentNoImage. Empty while
    // there is an image.
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

    // Frames: the slide commands are enabled when the reader has more than one frame.
    bool CanSlide() const { return m_dicom.m_nFrames > 1; }
    void ReplaceImageByFrame(std::int32_t frame);
    void OnFirstSlide();
    void OnPrevSlide();
    void OnNextSlide();
    void OnLastSlide();

    // A window slider released at `value`: stored truncated to 16 bits, the current
    // frame converted again and `selection` cropped again from the new image (none:
    // nothing is selected, and the selected image stays empty).
    void ApplyWindowWidth(int value, std::optional<DibRect> selection);
    void ApplyWindowCenter(int value, std::optional<DibRect> selection);

    // Replaces the selected image by `selection` (as given: the crop clips it to
    // the image) cropped from the current image.
    void CropSelection(DibRect selection);

    // Writes `dib` under `path`: extension "dcm" by the DICOM writer, anything
    // else by the bitmap writer. A failure, or nothing to write, is reported through
    // the UI; false then, and SaveFailure() says why. With Placement::KeepExisting a
    // file found at the path is kept and not reported: the caller chooses another
    // name (SaveFailure() is then WriteFailure::AlreadyExists).
    bool SaveDibAs(const PackedDib* dib, const std::string& path, Placement placement = Placement::ReplaceExisting);
    const Reason& SaveFailure() const { return m_saveFailure; }
    // File > Save with the chosen path. Always false, so that the caller never takes
    // the saved copy for the document's own file.
    bool OnSaveDocument(const std::string& chosenPath);
    // "Save Selected Image" with the chosen path; an empty selection is reported.
    bool OnSaveSelectedImage(const std::string& chosenPath);

    void UpdateControlPanel();
    // Releases both images and clears the control panel.
    void OnCloseDocument();

private:
    // `dib` as a DICOM file: a Secondary Capture of this document's patient and study
    // when the document is DICOM, the bare image otherwise.
    WriteOutcome WriteDicom(const PackedDib* dib, const std::string& path, Placement placement);
    void ApplyWindow(std::int16_t* field, int value, std::optional<DibRect> selection);
    void OpenBitmap(const std::string& path);
    void OpenDicom(const std::string& path);
    // Takes the reason the current frame gives no image and tells the user.
    void ReportNoImage(const std::string& path);

    // The depth that titles show, fixed when the file opens; 0 for none.
    std::uint16_t m_titleBitCount = 0;
    Reason m_openError;
    Reason m_noImage;
    std::optional<InstanceHeader> m_instance;
    std::vector<Measurement> m_measurements;
    Reason m_saveFailure;

    IDocumentUi& m_ui;
    DocumentKind m_kind = DocumentKind::Dicom;
};

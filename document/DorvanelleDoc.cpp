#include "document/DorvanelleDoc.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "image/BmpFile.h"
#include "image/CropDib.h"
#include "image/GreyConversion.h"
#include "image/PcxFile.h"
#include "io/AtomicFileWriter.h"
#include "io/RandomAccessFile.h"
#include "io/RegularFile.h"

namespace {

const char kConvertNotice[] = "The Image Will be Converted to 8 bpp !!";

// Whether the file can be opened for reading at all, asked before a document reads
// anything; `why` says what went wrong, `size` is its length. A pipe, a device or a
// socket is refused without being opened: opening a pipe waits for a writer.
bool ProbeFile(const std::string& path, Reason& why, std::uintmax_t& size) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        why = Reason(DocumentOpenFailure::IsFolder).About(path);
        return false;
    }
    Reason problem = RegularFileProblem(path);
    if (problem.Is(FileReadFailure::CannotOpen)) {
        const int error = problem.ErrorNumber();
        why = Reason(error == ENOENT ? DocumentOpenFailure::NotFound : DocumentOpenFailure::CannotOpen)
                  .About(path)
                  .Errno(error);
        return false;
    }
    if (problem) {
        why = std::move(problem);
        return false;
    }
    size = std::filesystem::file_size(path, ec);
    if (ec) size = 0;
    return true;
}

// Whether `text` is `lower` (small ASCII letters) in any letter case.
bool SameLetters(const std::string& text, const char* lower) {
    std::size_t i = 0;
    for (; i < text.size() && lower[i] != '\0'; ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != lower[i]) return false;
    }
    return i == text.size() && lower[i] == '\0';
}

// A reason from elsewhere, to be followed by our own full stop.
std::string WithoutFullStop(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text;
}

// The header of the file at `path` as the study index reads it: nothing when it does
// not identify a DICOM instance.
std::optional<InstanceHeader> ScanInstance(const std::string& path) {
    std::shared_ptr<RandomAccessFile> file = RandomAccessFile::Open(path);
    if (!file) return std::nullopt;
    InstanceHeaderScanner scanner;
    InstanceHeader header;
    if (scanner.Scan(file, header)) return std::nullopt;
    return header;
}

}  // namespace

std::string ReasonText(DocumentOpenFailure code, const Reason& reason) {
    switch (code) {
    case DocumentOpenFailure::IsFolder: return reason.Subject() + " is a folder, not a file.";
    case DocumentOpenFailure::NotFound: return reason.Subject() + " was not found.";
    case DocumentOpenFailure::CannotOpen: break;
    }
    return reason.Subject() + " cannot be opened: " + SystemErrorText(reason.ErrorNumber()) + ".";
}

std::string ReasonText(DocumentNoImage code, const Reason& reason) {
    switch (code) {
    case DocumentNoImage::NotConverted: return "the picture could not be converted";
    case DocumentNoImage::NoPixels:
        return "the picture has no pixels (" + std::to_string(reason.First()) + " x " +
               std::to_string(reason.Second()) + ")";
    case DocumentNoImage::SingleFrameOnly: break;
    }
    return "the picture has one frame only, frame 0; there is no frame " + std::to_string(reason.First());
}

CDorvanelleDoc::CDorvanelleDoc(IDocumentUi& ui) : m_ui(ui) {}

std::string CDorvanelleDoc::FileTitle(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CDorvanelleDoc::PathExtension(const std::string& path) {
    std::string name = FileTitle(path);
    std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

DocumentKind CDorvanelleDoc::KindOfPath(const std::string& path) {
    std::string extension = PathExtension(path);
    if (SameLetters(extension, ".bmp")) return DocumentKind::Bitmap;
    if (SameLetters(extension, ".pcx")) return DocumentKind::Pcx;
    return DocumentKind::Dicom;
}

bool CDorvanelleDoc::SavesAsDicom(const std::string& path) { return SameLetters(PathExtension(path), ".dcm"); }

bool CDorvanelleDoc::OnOpenDocument(const std::string& path) {
    m_openError = Reason();
    m_noImage = Reason();
    m_instance.reset();
    std::uintmax_t size = 0;
    if (!ProbeFile(path, m_openError, size)) return false;
    // Only a file that holds something asks the view to fit its frame to the picture once.
    if (size != 0) m_bFitFrame = true;

    m_kind = KindOfPath(path);
    if (m_kind == DocumentKind::Dicom) {
        OpenDicom(path);
    } else {
        OpenBitmap(path);
    }
    // The title shows frame 0's depth, even when the document opened at another frame:
    // then it is told from the attributes, without converting frame 0 as well.
    if (m_kind != DocumentKind::Dicom || m_nFrame == 0) {
        m_titleBitCount = m_pDib ? DibBitCount(m_pDib.get()) : 0;
    } else if (m_dicom.FrameShows(0)) {
        m_titleBitCount = m_dicom.FrameBitCount();
    } else {
        m_titleBitCount = 0;
    }
    UpdateControlPanel();
    return true;
}

void CDorvanelleDoc::OpenBitmap(const std::string& path) {
    m_pDib = (m_kind == DocumentKind::Bitmap) ? ReadBmpFile(path, &m_noImage) : ReadPcxFile(path, &m_noImage);
    if (m_pDib && (DibWidth(m_pDib.get()) == 0 || DibHeight(m_pDib.get()) == 0)) {
        // Nothing to show, to select or to save: said before anything is converted.
        m_noImage = Reason(DocumentNoImage::NoPixels).Numbers(DibWidth(m_pDib.get()), DibHeight(m_pDib.get()));
        m_pDib.reset();
    }
    if (m_pDib && DibBitCount(m_pDib.get()) == 24) {
        m_ui.ShowNotice(kConvertNotice);
        m_pDib = ConvertDibTo8Bpp(std::move(m_pDib));
        if (!m_pDib) m_noImage = DocumentNoImage::NotConverted;
    }
    if (!m_pDib) ReportNoImage(path);
}

void CDorvanelleDoc::OpenDicom(const std::string& path) {
    m_dicom.Reset();
    bool loaded = m_dicom.LoadFile(path) == 0;
    if (loaded) m_instance = ScanInstance(path);
    int layout = m_dicom.DetectLayout();
    m_dicom.ParseElements(layout);
    m_pDib = m_dicom.MakeFrameDib(m_nFrame);
    m_strDicomPath = path;
    if (!loaded) {
        m_noImage = m_dicom.LoadFailure();
        m_ui.ReportProblem(FileTitle(path) + " could not be read, so it shows no image.");
    } else if (!m_pDib) {
        m_noImage = m_dicom.NoImageReason(m_nFrame);
        ReportNoImage(path);
    }
}

void CDorvanelleDoc::ReportNoImage(const std::string& path) {
    if (!m_noImage) m_noImage = DocumentNoImage::NotConverted;
    m_ui.ReportProblem(FileTitle(path) + " shows no image: " + WithoutFullStop(m_noImage.Text()) + ".");
}

const Reason& CDorvanelleDoc::NoImageReason() const {
    static const Reason kNone;
    return m_pDib ? kNone : m_noImage;
}

MeasuringSpacing CDorvanelleDoc::Spacing() const {
    return SpacingForMeasuring(m_instance ? &m_instance->instance : nullptr);
}

Expected<RegionStatistics> CDorvanelleDoc::MeasureRegion(const Region& region) const {
    if (m_kind != DocumentKind::Dicom) return PictureRegionStatistics(m_pDib.get(), region, Spacing());
    if (!m_pDib) return NoImageReason();
    const std::shared_ptr<const FrameSource> frames = m_dicom.Frames();
    if (!frames) return RegionFailure::NoPixels;
    // The source keeps the frames asked for last: measuring the same frame again reads
    // and decodes nothing.
    Expected<std::shared_ptr<const FrameSamples>> samples = frames->Frame(m_nFrame);
    if (!samples) return samples.Why();
    return FrameRegionStatistics(**samples, frames->Attributes(), region, Spacing());
}

const Measurement& CDorvanelleDoc::AddMeasurement(Measurement m) {
    m.spacing = Spacing();
    if (m.kind == MeasurementKind::Ruler) {
        m.length = MeasuredLength(m.from, m.to, m.spacing);
    } else {
        const DibRect rect = m.Rect();
        m.from = {rect.left, rect.top};
        m.to = {rect.right, rect.bottom};
        Expected<RegionStatistics> stats = MeasureRegion(Region{RegionShape::Ellipse, rect});
        if (stats) {
            m.statistics = std::move(stats).Take();
        } else {
            m.noStatistics = stats.Why();
        }
    }
    m_measurements.push_back(std::move(m));
    return m_measurements.back();
}

void CDorvanelleDoc::RemoveMeasurement(std::size_t index) {
    if (index < m_measurements.size()) m_measurements.erase(m_measurements.begin() + static_cast<std::ptrdiff_t>(index));
}

void CDorvanelleDoc::RefuseFrame(std::int32_t frame) {
    m_nFrame = frame;
    if (frame == 0 || m_kind == DocumentKind::Dicom) return;
    m_pDib.reset();
    m_pSelectedDib.reset();
    m_noImage = Reason(DocumentNoImage::SingleFrameOnly).Numbers(frame);
}

std::string CDorvanelleDoc::MakeTitle(const std::string& fileTitle) const {
    if (m_titleBitCount == 0) return fileTitle;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " ==>%d bpp", static_cast<int>(m_titleBitCount));
    return fileTitle + suffix;
}

void CDorvanelleDoc::ReplaceImageByFrame(std::int32_t frame) {
    // Bitmaps and PCX pictures have no frames to step to; their picture stays.
    if (m_kind != DocumentKind::Dicom) return;
    m_pDib.reset();
    m_nFrame = frame;
    m_pDib = m_dicom.MakeFrameDib(frame);
    if (!m_pDib) {
        m_noImage = m_dicom.NoImageReason(frame);
        ReportNoImage(m_strDicomPath);
    }
}

void CDorvanelleDoc::OnFirstSlide() { ReplaceImageByFrame(0); }

void CDorvanelleDoc::OnPrevSlide() {
    if (m_nFrame > 0) ReplaceImageByFrame(m_nFrame - 1);
}

void CDorvanelleDoc::OnNextSlide() {
    if (m_nFrame < m_dicom.m_nFrames - 1) ReplaceImageByFrame(m_nFrame + 1);
}

void CDorvanelleDoc::OnLastSlide() { ReplaceImageByFrame(m_dicom.m_nFrames - 1); }

void CDorvanelleDoc::ApplyWindowWidth(int value, std::optional<DibRect> selection) {
    ApplyWindow(&m_dicom.m_nWindowWidth, value, selection);
}

void CDorvanelleDoc::ApplyWindowCenter(int value, std::optional<DibRect> selection) {
    ApplyWindow(&m_dicom.m_nWindowCenter, value, selection);
}

void CDorvanelleDoc::ApplyWindow(std::int16_t* field, int value, std::optional<DibRect> selection) {
    *field = static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    // The reader holds no frame of a bitmap or PCX picture: converting "again" would
    // only lose the picture, so it stays and the selection is cropped from it.
    if (m_kind == DocumentKind::Dicom) {
        m_pDib.reset();
        m_pDib = m_dicom.MakeFrameDib(m_nFrame);
        if (!m_pDib) m_noImage = m_dicom.NoImageReason(m_nFrame);
    }
    if (selection) {
        CropSelection(*selection);
    } else {
        m_pSelectedDib.reset();
    }
}

void CDorvanelleDoc::CropSelection(DibRect selection) {
    m_pSelectedDib.reset();
    if (!m_pDib) return;
    // The crop clips the rectangle to the image (in any order of its corners).
    m_pSelectedDib = CropDib(selection, m_pDib.get());
}

bool CDorvanelleDoc::SaveDibAs(const PackedDib* dib, const std::string& path, Placement placement) {
    m_saveFailure = Reason();
    if (path.empty()) return false;  // the dialog was cancelled
    if (dib == nullptr) {
        m_saveFailure = BmpFailure::NothingToSave;
        m_ui.ReportProblem("There is no image to save: " + FileTitle(path) + " was not written.");
        return false;
    }
    WriteOutcome outcome =
        SavesAsDicom(path) ? WriteDicom(dib, path, placement) : WriteBmpFile(dib, path, placement);
    m_saveFailure = outcome.reason;
    if (!outcome.written && outcome.reason.Is(WriteFailure::AlreadyExists)) return false;
    if (!outcome.written) {
        std::string reason = WithoutFullStop(outcome.reason.Text());
        if (reason.empty()) reason = "the file could not be written";
        m_ui.ReportProblem(FileTitle(path) + " was not saved: " + reason + ".");
    }
    return outcome.written;
}

bool CDorvanelleDoc::OnSaveDocument(const std::string& chosenPath) {
    SaveDibAs(m_pDib.get(), chosenPath);
    // False whatever was written: the saved file is a copy, and the document keeps
    // the name and title of the file it was read from.
    return false;
}

bool CDorvanelleDoc::OnSaveSelectedImage(const std::string& chosenPath) {
    if (chosenPath.empty()) return false;
    if (!m_pSelectedDib) {
        m_ui.ReportProblem("No image is selected: drag a rectangle over the image in selection mode first. " +
                           FileTitle(chosenPath) + " was not written.");
        return false;
    }
    return SaveDibAs(m_pSelectedDib.get(), chosenPath);
}

void CDorvanelleDoc::UpdateControlPanel() { m_ui.UpdateControlPanel(*this); }

void CDorvanelleDoc::OnCloseDocument() {
    m_pDib.reset();
    m_pSelectedDib.reset();
    m_ui.ClearControlPanel();
}

#include "document/DorvanelleDoc.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "dicom/TransferSyntax.h"
#include "document/FrameLoader.h"
#include "document/StackRange.h"
#include "image/BmpFile.h"
#include "image/CropDib.h"
#include "image/GreyConversion.h"
#include "image/PcxFile.h"
#include "io/AtomicFileWriter.h"
#include "io/RandomAccessFile.h"

namespace {

const char kConvertNotice[] = "The Image Will be Converted to 8 bpp !!";

// Whether `text` is `lower` (small ASCII letters) in any letter case.
bool SameLetters(const std::string& text, const char* lower) {
    std::size_t i = 0;
    for (; i < text.size() && lower[i] != '\0'; ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != lower[i]) return false;
    }
    return i == text.size() && lower[i] == '\0';
}

}  // namespace

Reason OpenFailureOf(const Reason& read, const std::string& path) {
    // A pipe, a device or a socket: refused unopened, in the reader's own words.
    if (read.Is(FileReadFailure::NotRegularFile)) return read;
    const int error = read.ErrorNumber();
    const bool opening = read.Is(FileReadFailure::CannotOpen);
    if ((opening || read.Is(FileReadFailure::CannotRead)) && error == EISDIR) {
        return Reason(DocumentOpenFailure::IsFolder).About(path);
    }
    if (!opening) return {};
    return Reason(error == ENOENT ? DocumentOpenFailure::NotFound : DocumentOpenFailure::CannotOpen)
        .About(path)
        .Errno(error);
}

std::string ReasonText(DocumentOpenFailure code, const Reason& reason) {
    switch (code) {
    case DocumentOpenFailure::IsFolder: return reason.Subject() + " is a folder, not a file.";
    case DocumentOpenFailure::NotFound: return reason.Subject() + " was not found.";
    case DocumentOpenFailure::CannotOpen: break;
    }
    if (reason.ErrorNumber() == EACCES) return "Access to " + reason.Subject() + " was denied.";
    return reason.Subject() + " cannot be opened: " + SystemErrorText(reason.ErrorNumber()) + ".";
}

const char* ReasonName(DocumentOpenFailure code) {
    switch (code) {
    case DocumentOpenFailure::IsFolder: return "is_folder";
    case DocumentOpenFailure::NotFound: return "not_found";
    case DocumentOpenFailure::CannotOpen: return "cannot_open";
    }
    return "unknown";
}

const char* ReasonSummary(DocumentOpenFailure code) {
    switch (code) {
    case DocumentOpenFailure::IsFolder: return "the input is a folder, not a file";
    case DocumentOpenFailure::NotFound: return "the file was not found";
    case DocumentOpenFailure::CannotOpen: break;
    }
    return "the file cannot be opened";
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

const char* ReasonName(DocumentNoImage code) {
    switch (code) {
    case DocumentNoImage::NotConverted: return "not_converted";
    case DocumentNoImage::SingleFrameOnly: return "single_frame_only";
    case DocumentNoImage::NoPixels: return "no_pixels";
    }
    return "unknown";
}

const char* ReasonSummary(DocumentNoImage code) {
    return code == DocumentNoImage::SingleFrameOnly ? "the picture has one frame only" : nullptr;
}

std::string ReasonText(DocumentSaveFailure code, const Reason&) {
    switch (code) {
    case DocumentSaveFailure::NothingToSave: return "there is no image to save";
    case DocumentSaveFailure::NothingSelected: break;
    }
    return "no image is selected: drag a rectangle over the image in selection mode first";
}

namespace {

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

std::string NoImageText(const std::string& fileTitle, const Reason& why) {
    const std::string words = WithoutFullStop(why ? why.Text() : ReasonText(DocumentNoImage::NotConverted, why));
    return fileTitle + " shows no image: " + words + ".";
}

std::string SaveProblemText(const std::string& fileTitle, const Reason& why) {
    if (why.Is(DocumentSaveFailure::NothingToSave))
        return "There is no image to save: " + fileTitle + " was not written.";
    if (why.Is(DocumentSaveFailure::NothingSelected)) {
        return "No image is selected: drag a rectangle over the image in selection mode first. " + fileTitle +
               " was not written.";
    }
    std::string words = WithoutFullStop(why.Text());
    if (words.empty()) words = "the file could not be written";
    return fileTitle + " was not saved: " + words + ".";
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

int CDorvanelleDoc::Layout() const { return m_dicom.DetectLayout(); }

CDicomFile::SharedBytes CDorvanelleDoc::HeaderBytes() const {
    if (m_kind != DocumentKind::Dicom || m_series) return {};
    return m_dicom.ShareBytes();
}

bool CDorvanelleDoc::InflatesOnOpen(const std::string& path) {
    if (KindOfPath(path) != DocumentKind::Dicom) return false;
    CDicomFile file;
    if (file.LoadFile(path) != 0) return false;
    // The walk notes the Transfer Syntax UID as it reads it, and stops there: the data
    // set after the meta group is not entered.
    file.VisitElements(file.DetectLayout(), 0,
                       [](const DicomElementVisit& e) { return e.group == 0x0002 && e.element != 0x0010; });
    const TransferSyntax* syntax = FindTransferSyntax(file.TransferSyntaxUid());
    return syntax != nullptr && syntax->kind == SyntaxKind::DeflatedLittle;
}

CDorvanelleDoc::PreparedOpen CDorvanelleDoc::PrepareOpen(const std::string& path) {
    PreparedOpen prepared;
    CDicomFile file;
    if (file.LoadFile(path) != 0) return prepared;
    // Entering the data set inflates it once; the walk needs nothing further.
    file.VisitElements(file.DetectLayout(), 0, [](const DicomElementVisit& e) { return e.group == 0x0002; });
    prepared.bytes = file.ShareBytes();
    prepared.instance = ScanInstance(path);
    return prepared;
}

bool CDorvanelleDoc::OnOpenDocument(const std::string& path, bool readFrame, const PreparedOpen* prepared) {
    m_openError = Reason();
    m_noImage = Reason();
    m_instance.reset();
    m_kind = KindOfPath(path);
    if (m_kind == DocumentKind::Dicom) {
        OpenDicom(path, readFrame, prepared);
    } else {
        OpenBitmap(path);
    }
    if (m_openError) return false;
    // Only a file that holds something asks the view to fit its frame to the picture once.
    std::error_code ec;
    if (m_pDib || std::filesystem::file_size(path, ec) != 0) m_bFitFrame = true;
    // The title shows frame 0's depth, even when the document opened at another frame:
    // then it is told from the attributes, without reading frame 0 as well.
    if (m_kind != DocumentKind::Dicom || (m_nFrame == 0 && readFrame)) {
        m_titleBitCount = m_pDib ? DibBitCount(m_pDib.get()) : 0;
    } else if (m_frames && !m_frames->Check(0)) {
        m_titleBitCount = FrameRenderer(*m_attributes, 0, m_display).BitCount();
    } else {
        m_titleBitCount = 0;
    }
    UpdateControlPanel();
    return true;
}

void CDorvanelleDoc::OpenBitmap(const std::string& path) {
    m_pDib.reset();
    PackedDibPtr dib = (m_kind == DocumentKind::Bitmap) ? ReadBmpFile(path, &m_noImage) : ReadPcxFile(path, &m_noImage);
    if (!dib) {
        m_openError = OpenFailureOf(m_noImage, path);
        if (!m_noImage) m_noImage = DocumentNoImage::NotConverted;
        return;
    }
    if (DibWidth(dib.get()) == 0 || DibHeight(dib.get()) == 0) {
        // Nothing to show, to select or to save: said before anything is converted.
        m_noImage = Reason(DocumentNoImage::NoPixels).Numbers(DibWidth(dib.get()), DibHeight(dib.get()));
        return;
    }
    if (DibBitCount(dib.get()) == 24) {
        m_ui.ShowNotice(kConvertNotice);
        dib = ConvertDibTo8Bpp(std::move(dib));
        if (!dib) m_noImage = DocumentNoImage::NotConverted;
    }
    m_pDib = std::move(dib);
}

void CDorvanelleDoc::OnOpenStack(std::shared_ptr<const FrameStack> stack, std::uint16_t titleBitCount) {
    m_openError = Reason();
    m_noImage = Reason();
    m_kind = DocumentKind::Dicom;
    m_dicom.Reset();
    m_attributes.reset();
    m_frames.reset();
    m_samples.reset();
    m_display = DisplayState();
    m_range.reset();
    m_instance.reset();
    m_strDicomPath.clear();
    m_stack = std::move(stack);
    m_series = true;
    m_frameInFile = 0;
    m_titleBitCount = titleBitCount;
    m_bFitFrame = true;
    UpdateControlPanel();
}

std::int32_t CDorvanelleDoc::FrameCount() const {
    if (m_series) return m_stack->Count();
    return m_attributes ? m_attributes->FrameCount() : 1;
}

bool CDorvanelleDoc::CanSlide() const {
    if (m_series) return m_stack->Count() > 1;
    return m_attributes && m_attributes->frames > 1;
}

void CDorvanelleDoc::ShowLoadedFrame(const LoadedFrame& frame) {
    if (m_kind != DocumentKind::Dicom) return;
    m_nFrame = frame.index;
    m_samples = frame.samples;
    if (m_series) {
        m_attributes = frame.attributes;
        m_frameInFile = frame.frameInFile;
        if (!frame.path.empty() && (frame.path != m_strDicomPath || !m_instance)) {
            // The slice's own header: its orientation, spacing and texts.
            m_strDicomPath = frame.path;
            m_instance = ScanInstance(frame.path);
        }
    }
    // The picture the loader keeps in its cache, shared: neither changes it.
    m_pDib = frame.image;
    m_drawnWindow = frame.window;
    if (m_pDib) {
        m_noImage = Reason();
    } else {
        m_noImage = frame.noImage ? frame.noImage : Reason(DocumentNoImage::NotConverted);
    }
}

LoadedFrame CDorvanelleDoc::ShownFrame() const {
    LoadedFrame frame;
    frame.index = m_nFrame;
    frame.samples = m_samples;
    frame.attributes = m_attributes;
    frame.frameInFile = FrameInFile();
    frame.image = m_pDib;
    frame.window = m_drawnWindow;
    return frame;
}

void CDorvanelleDoc::OpenDicom(const std::string& path, bool readFrame, const PreparedOpen* prepared) {
    m_dicom.Reset();
    m_attributes.reset();
    m_frames.reset();
    m_samples.reset();
    m_stack.reset();
    m_series = false;
    m_display = DisplayState();
    m_range.reset();
    const bool shared = prepared != nullptr && prepared->bytes.source != nullptr;
    if ((shared ? m_dicom.LoadShared(prepared->bytes) : m_dicom.LoadFile(path)) != 0) {
        m_noImage = m_dicom.LoadFailure();
        m_openError = OpenFailureOf(m_noImage, path);
        return;
    }
    m_dicom.ParseElements(m_dicom.DetectLayout());
    m_attributes = m_dicom.Attributes();
    m_frames = m_dicom.Frames();
    m_strDicomPath = path;
    m_instance = shared ? prepared->instance : ScanInstance(path);
    if (m_frames) m_stack = std::make_shared<SingleFileStack>(m_frames, path);
    if (readFrame) ReplaceImageByFrame(m_nFrame);
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
    // The samples of the frame shown, with its own attributes: in a series each slice
    // comes from a file of its own, and the document holds no frame source.
    if (m_samples && m_attributes) return FrameRegionStatistics(*m_samples, *m_attributes, region, Spacing());
    const std::shared_ptr<const FrameSource> frames = m_frames;
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

bool CDorvanelleDoc::IsWindowed() const {
    return m_kind == DocumentKind::Dicom && m_attributes && m_pDib && !m_attributes->IsColour() &&
           !(m_attributes->IsPaletteColour() && m_attributes->palette && m_display.palette);
}

bool CDorvanelleDoc::NeedsRange() const {
    return m_attributes && !m_range && UsesDefaultWindow(*m_attributes, FrameInFile(), m_display) &&
           DefaultWindowNeedsRange(*m_attributes);
}

DisplayState CDorvanelleDoc::RenderState() const {
    DisplayState state = m_display;
    if (m_attributes && m_range) state.fallback = DefaultDisplayWindow(*m_attributes, FrameInFile(), &*m_range);
    return state;
}

std::optional<DisplayWindow> CDorvanelleDoc::CurrentWindow() const {
    if (!IsWindowed()) return std::nullopt;
    return EffectiveWindow(*m_attributes, FrameInFile(), RenderState());
}

Reason CDorvanelleDoc::ResolveRange() {
    if (!m_stack || m_range) return {};
    const RangeOutcome outcome = ScanStackRange(*m_stack);
    if (!outcome.Complete()) return outcome.failure;
    m_range = outcome.range;
    return {};
}

bool CDorvanelleDoc::AdoptRange(const FrameStack* of, const ValueRange& range) {
    if (of == nullptr || of != m_stack.get()) return false;
    m_range = range;
    return true;
}

DisplayWindow CDorvanelleDoc::DefaultWindow() {
    if (!m_attributes) return {};
    ResolveRange();
    return DefaultDisplayWindow(*m_attributes, FrameInFile(), m_range ? &*m_range : nullptr);
}

Reason CDorvanelleDoc::Render() {
    m_pDib.reset();
    if (!m_samples) return m_noImage;
    // Without a window of its own the frame takes the default from the range of
    // every frame: found now, when nothing found it yet, or (in the viewer, which
    // finds it in the background) from the frame's own values until it is found.
    if (NeedsRange() && m_findRangeNow) {
        if (Reason failed = ResolveRange()) {
            m_noImage = failed;
            return failed;
        }
    }
    LoadedFrame frame;
    frame.samples = m_samples;
    frame.attributes = m_attributes;
    frame.frameInFile = FrameInFile();
    DrawLoadedFrame(frame, RenderState());
    if (!frame.image) {
        m_noImage = frame.noImage;
        return m_noImage;
    }
    m_pDib = std::move(frame.image);
    m_drawnWindow = frame.window;
    return {};
}

Reason CDorvanelleDoc::ReplaceImageByFrame(std::int32_t frame) {
    // Bitmaps and PCX pictures have no frames to step to; their picture stays.
    if (m_kind != DocumentKind::Dicom) return {};
    m_pDib.reset();
    m_samples.reset();
    m_nFrame = frame;
    if (m_series) {
        // The slice's own file, attributes and frame.
        Expected<StackFrame> opened = m_stack->Open(frame);
        if (!opened) {
            m_noImage = opened.Why();
            return m_noImage;
        }
        m_attributes = opened->source->SharedAttributes();
        m_frameInFile = opened->frame;
        if (opened->path != m_strDicomPath || !m_instance) m_instance = ScanInstance(opened->path);
        m_strDicomPath = opened->path;
        if (Reason why = opened->source->Check(opened->frame)) {
            m_noImage = std::move(why);
            return m_noImage;
        }
        auto samples = opened->source->Frame(opened->frame);
        if (!samples) {
            m_noImage = samples.Why();
            return m_noImage;
        }
        m_samples = std::move(samples).Take();
        return Render();
    }
    if (!m_frames) return m_noImage;
    auto samples = m_frames->Frame(frame);
    if (!samples) {
        m_noImage = samples.Why();
        return m_noImage;
    }
    m_samples = std::move(samples).Take();
    return Render();
}

Reason CDorvanelleDoc::OnFirstSlide() { return ReplaceImageByFrame(0); }

Reason CDorvanelleDoc::OnPrevSlide() { return m_nFrame > 0 ? ReplaceImageByFrame(m_nFrame - 1) : Reason(); }

Reason CDorvanelleDoc::OnNextSlide() {
    return m_nFrame < FrameCount() - 1 && CanSlide() ? ReplaceImageByFrame(m_nFrame + 1) : Reason();
}

Reason CDorvanelleDoc::OnLastSlide() { return ReplaceImageByFrame(FrameCount() - 1); }

Reason CDorvanelleDoc::SetDisplay(const DisplayState& state, std::optional<DibRect> selection) {
    m_display = state;
    m_display.fallback.reset();
    // A picture keeps its image; only DICOM frames are drawn again.
    Reason why;
    if (m_kind == DocumentKind::Dicom && m_samples) why = Render();
    if (selection) {
        CropSelection(*selection);
    } else {
        m_pSelectedDib.reset();
    }
    return why;
}

Reason CDorvanelleDoc::SetWindow(DisplayWindow window, std::optional<DibRect> selection) {
    if (window.width == 0 && m_attributes) window = DefaultWindow();
    DisplayState state = m_display;
    state.window = window;
    state.voiLut.reset();
    return SetDisplay(state, selection);
}

Reason CDorvanelleDoc::ApplyWindowWidth(double width, std::optional<DibRect> selection) {
    const std::optional<DisplayWindow> now = CurrentWindow();
    return SetWindow({width, now ? now->centre : 0.0}, selection);
}

Reason CDorvanelleDoc::ApplyWindowCenter(double centre, std::optional<DibRect> selection) {
    const std::optional<DisplayWindow> now = CurrentWindow();
    // No window yet (colour, a VOI LUT): the default width goes with the new centre.
    return SetWindow({now ? now->width : DefaultWindow().width, centre}, selection);
}

void CDorvanelleDoc::CropSelection(DibRect selection) {
    m_pSelectedDib.reset();
    if (!m_pDib) return;
    // The crop clips the rectangle to the image (in any order of its corners).
    m_pSelectedDib = CropDib(selection, m_pDib.get());
}

WriteOutcome CDorvanelleDoc::SaveDibAs(const PackedDib* dib, const std::string& path, Placement placement) {
    if (path.empty()) return WriteOutcome::Failed(Reason());  // the dialog was cancelled: nothing to say
    if (dib == nullptr) return WriteOutcome::Failed(DocumentSaveFailure::NothingToSave);
    return SavesAsDicom(path) ? WriteDicom(dib, path, placement) : WriteBmpFile(dib, path, placement);
}

WriteOutcome CDorvanelleDoc::OnSaveSelectedImage(const std::string& chosenPath) {
    if (chosenPath.empty()) return WriteOutcome::Failed(Reason());
    if (!m_pSelectedDib) return WriteOutcome::Failed(DocumentSaveFailure::NothingSelected);
    return SaveDibAs(m_pSelectedDib.get(), chosenPath);
}

void CDorvanelleDoc::UpdateControlPanel() { m_ui.UpdateControlPanel(*this); }

void CDorvanelleDoc::OnCloseDocument() {
    m_pDib.reset();
    m_pSelectedDib.reset();
    m_ui.ClearControlPanel();
}

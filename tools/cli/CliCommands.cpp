#include "tools/cli/CliCommands.h"

#include <cstdio>
#include <string>

#include "document/DorvanelleDoc.h"
#include "image/Histogram.h"
#include "io/FileBuffer.h"
#include "tools/cli/CliUi.h"
#include "tools/cli/JsonWriter.h"

namespace {

const char* KindName(DocumentKind kind) {
    switch (kind) {
    case DocumentKind::Bitmap: return "bmp";
    case DocumentKind::Pcx: return "pcx";
    case DocumentKind::Dicom: break;
    }
    return "dicom";
}

void ApplyFrameOption(CDorvanelleDoc& doc, std::int32_t frame) {
    if (doc.Kind() == DocumentKind::Dicom) {
        // The document was opened straight at this frame (see OpenDocument): the
        // result is the same as opening at frame 0 and stepping, with one conversion.
        return;
    }
    doc.RefuseFrame(frame);
    if (frame != 0) {
        std::fprintf(stderr, "dorvanelle-cli: a %s picture has one frame only, frame 0; there is no frame %d\n",
                     KindName(doc.Kind()), static_cast<int>(frame));
    }
}

}  // namespace

int OpenDocument(CDorvanelleDoc& doc, const CliOptions& options, const std::string& path) {
    if (options.frame && CDorvanelleDoc::KindOfPath(path) == DocumentKind::Dicom) doc.m_nFrame = *options.frame;
    if (!doc.OnOpenDocument(path)) {
        std::fprintf(stderr, "dorvanelle-cli: %s\n", doc.OpenError().Text().c_str());
        return exit_status::kInputUnreadable;
    }
    if (options.frame) ApplyFrameOption(doc, *options.frame);
    DibRect selection = options.select.value_or(DibRect{});
    if (options.width) doc.ApplyWindowWidth(*options.width, selection);
    if (options.center) doc.ApplyWindowCenter(*options.center, selection);
    if (options.select) doc.CropSelection(*options.select);
    return -1;
}

namespace {

void WriteImage(JsonWriter& json, const PackedDib* dib) {
    if (dib == nullptr) {
        json.Null();
        return;
    }
    json.BeginObject();
    json.Key("width");
    json.Int(DibWidth(dib));
    json.Key("height");
    json.Int(DibHeight(dib));
    json.Key("bit_count");
    json.Int(DibBitCount(dib));
    json.EndObject();
}

void WriteDicomFields(JsonWriter& json, const CDicomFile& d) {
    json.BeginObject();
    const std::pair<const char*, std::int64_t> numbers[] = {
        {"layout", d.DetectLayout()},
        {"rows", d.m_nRows},
        {"columns", d.m_nColumns},
        {"samples_per_pixel", d.m_nSamplesPerPixel},
        {"bits_allocated", d.m_nBitsAllocated},
        {"bits_stored", d.m_nBitsStored},
        {"high_bit", d.m_nHighBit},
        {"pixel_representation", d.m_nPixelRepresentation},
        {"planes", d.m_nPlanes},
        {"frames", d.m_nFrames},
        {"window_width", d.m_nWindowWidth},
        {"window_center", d.m_nWindowCenter},
        {"rescale_intercept", d.m_nRescaleIntercept},
    };
    for (const auto& [name, value] : numbers) {
        json.Key(name);
        json.Int(value);
    }
    json.Key("photometric");
    std::size_t length = 0;
    while (length < sizeof d.m_szPhotometric && d.m_szPhotometric[length] != '\0')
        ++length;
    json.Windows1252String(std::string_view(d.m_szPhotometric, length));
    const std::pair<const char*, std::int64_t> tail[] = {
        {"pixel_data_length", d.m_nPixelDataLength},
        {"pixel_group_length", d.m_nPixelGroupLength},
        {"min_sample", d.m_nMinSample},
        {"max_sample", d.m_nMaxSample},
    };
    for (const auto& [name, value] : tail) {
        json.Key(name);
        json.Int(value);
    }
    // The file meta group's Transfer Syntax UID; null without a meta group.
    json.Key("transfer_syntax");
    const std::string syntax = d.TransferSyntaxUid();
    if (syntax.empty()) {
        json.Null();
    } else {
        json.Windows1252String(syntax);
    }
    json.EndObject();
}

void WriteBins(JsonWriter& json, const PackedDib* dib) {
    Histogram bins{};
    ComputeHistogram(dib, bins);
    json.BeginArray();
    for (std::int32_t bin : bins)
        json.Int(bin);
    json.EndArray();
}

}  // namespace

bool WriteStdout(const std::string& text) {
    bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    if (std::fflush(stdout) != 0) written = false;
    if (!written) std::fprintf(stderr, "dorvanelle-cli: the output could not be written\n");
    return written;
}

namespace {

// Whether the document's file could not be read in full (it shrank or failed while
// being read, is 4 GiB or larger, or there was no memory for it): the document is
// open, without an image, but the input itself was unreadable.
bool InputNotReadInFull(const CDorvanelleDoc& doc) {
    const Reason& why = doc.NoImageReason();
    return why.Is(FileReadFailure::CannotOpen) || why.Is(FileReadFailure::CannotRead) ||
           why.Is(FileReadFailure::TooLarge) || why.Is(FileReadFailure::OutOfMemory);
}

// Opens `path` and writes its object. With `withFile` (JSON Lines over several files)
// the object starts with the file's name, and a file that cannot be opened still
// gets one, with the error. Returns the exit status of this file.
int WriteInfo(JsonWriter& json, const CliOptions& options, const std::string& path, bool withFile) {
    CliUi ui;
    CDorvanelleDoc doc(ui);
    int status = OpenDocument(doc, options, path);
    if (status >= 0 && !withFile) return status;

    json.BeginObject();
    if (withFile) {
        json.Key("file");
        json.BytesString(path);
    }
    if (status >= 0) {
        json.Key("error");
        json.BytesString(doc.OpenError().Text());
        json.EndObject();
        return status;
    }
    // The range of all samples is part of the report: the one command that reads it.
    if (doc.Kind() == DocumentKind::Dicom) doc.m_dicom.ResolveSampleRange();
    json.Key("kind");
    json.String(KindName(doc.Kind()));
    json.Key("title");
    json.BytesString(doc.MakeTitle(CDorvanelleDoc::FileTitle(path)));
    json.Key("frame");
    json.Int(doc.m_nFrame);
    json.Key("image");
    WriteImage(json, doc.m_pDib.get());
    json.Key("dicom");
    if (doc.Kind() == DocumentKind::Dicom) {
        WriteDicomFields(json, doc.m_dicom);
    } else {
        json.Null();
    }
    json.EndObject();
    return InputNotReadInFull(doc) ? exit_status::kInputUnreadable : exit_status::kDone;
}

}  // namespace

int Finish(const std::string& text) { return WriteStdout(text) ? exit_status::kDone : exit_status::kOutputUnwritable; }

int RunInfo(const CliOptions& options) {
    const bool lines = options.files.size() > 1;
    int worst = exit_status::kDone;
    for (const std::string& path : options.files) {
        std::string out;
        JsonWriter json(out, lines);
        int status = WriteInfo(json, options, path, lines);
        if (!out.empty() && !WriteStdout(out)) return exit_status::kOutputUnwritable;
        if (status != exit_status::kDone) worst = status;
    }
    return worst;
}

int RunHistogram(const CliOptions& options) {
    CliUi ui;
    CDorvanelleDoc doc(ui);
    if (int status = OpenDocument(doc, options, options.files[0]); status >= 0) return status;
    // 256 bins of 0 would read as a picture with no pixels: say that there is none,
    // as convert does (the document has said why).
    if (!doc.m_pDib) {
        std::fprintf(stderr, "dorvanelle-cli: there is no image to count, so there is no histogram\n");
        return exit_status::kInputUnreadable;
    }

    std::string out;
    JsonWriter json(out);
    json.BeginObject();
    json.Key("whole");
    WriteBins(json, doc.m_pDib.get());
    json.Key("selected");
    // A selection that gives no image (the crop takes only 8-bit images) is null too.
    if (options.select && doc.m_pSelectedDib) {
        WriteBins(json, doc.m_pSelectedDib.get());
    } else {
        json.Null();
    }
    json.EndObject();
    const int status = Finish(out);
    return status == exit_status::kDone && InputNotReadInFull(doc) ? exit_status::kInputUnreadable : status;
}

int RunConvert(const CliOptions& options) {
    CliUi ui;
    CDorvanelleDoc doc(ui);
    const std::string& output = options.files[1];
    if (int status = OpenDocument(doc, options, options.files[0]); status >= 0) return status;

    const PackedDib* dib = options.select ? doc.m_pSelectedDib.get() : doc.m_pDib.get();
    if (dib == nullptr) {
        std::fprintf(stderr, "dorvanelle-cli: there is no %s to write; %s was not created\n",
                     options.select ? "selected image" : "image", output.c_str());
        return exit_status::kInputUnreadable;
    }
    // A failed write has been reported through the document's interface.
    return doc.SaveDibAs(dib, output) ? exit_status::kDone : exit_status::kOutputUnwritable;
}

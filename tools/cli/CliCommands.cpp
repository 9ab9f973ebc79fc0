#include "tools/cli/CliCommands.h"

#include <cstdio>
#include <string>

#include "document/DorvanelleDoc.h"
#include "image/Histogram.h"
#include "io/FileBuffer.h"
#include "tools/cli/CliDocument.h"
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

}  // namespace

int OpenDocument(CDorvanelleDoc& doc, const CliOptions& options, const std::string& path) {
    if (!OpenWithOptions(doc, options, path)) {
        std::fprintf(stderr, "dorvanelle-cli: %s\n", doc.OpenError().Text().c_str());
        return exit_status::kInputUnreadable;
    }
    if (options.frame && *options.frame != 0 && doc.Kind() != DocumentKind::Dicom) {
        std::fprintf(stderr, "dorvanelle-cli: a %s picture has one frame only, frame 0; there is no frame %d\n",
                     KindName(doc.Kind()), static_cast<int>(*options.frame));
    } else if (!doc.m_pDib) {
        std::fprintf(stderr, "dorvanelle-cli: %s\n",
                     NoImageText(CDorvanelleDoc::FileTitle(path), doc.NoImageReason()).c_str());
    }
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

void WriteNumbers(JsonWriter& json, std::initializer_list<std::pair<const char*, double>> numbers) {
    for (const auto& [name, value] : numbers) {
        json.Key(name);
        json.Double(value);
    }
}

void WriteTable(JsonWriter& json, const LookupTable& table) {
    json.BeginObject();
    json.Key("entries");
    json.Int(static_cast<std::int64_t>(table.entries.size()));
    json.Key("first_mapped");
    json.Int(table.firstMapped);
    json.Key("bits");
    json.Int(table.bits);
    json.EndObject();
}

// The rescale slope and intercept of a frame as the file gives them (1 and 0 under
// a Modality LUT).
std::pair<double, double> RescaleOf(const ImageAttributes& a, const FrameValues& frame) {
    if (a.bytesAsStored) return {a.rescaleSlopeGiven, a.rescaleInterceptGiven};
    if (frame.modality.lut) return {1.0, 0.0};
    return {frame.modality.slope, frame.modality.intercept};
}

// The attributes of the DICOM file, those of the frame shown where they change from
// frame to frame, and the window and range the document shows it with.
void WriteDicomFields(JsonWriter& json, const CDorvanelleDoc& doc) {
    const ImageAttributes& a = *doc.Attributes();
    const FrameValues& frame = a.Frame(doc.m_nFrame);
    const std::optional<DisplayWindow> window = doc.CurrentWindow();
    json.BeginObject();
    const std::pair<const char*, std::int64_t> numbers[] = {
        {"layout", doc.Layout()},
        {"rows", a.rows},
        {"columns", a.columns},
        {"samples_per_pixel", a.samplesPerPixel},
        {"bits_allocated", a.bitsAllocated},
        {"bits_stored", a.bitsStoredGiven},
        {"high_bit", a.highBitGiven},
        {"pixel_representation", a.pixelRepresentation},
        {"planes", a.planes},
        {"frames", a.frames},
    };
    for (const auto& [name, value] : numbers) {
        json.Key(name);
        json.Int(value);
    }
    // The window the frame is drawn with; 0 and 0 when it is drawn without one.
    WriteNumbers(json, {{"window_width", window ? window->width : 0.0},
                        {"window_center", window ? window->centre : 0.0},
                        {"rescale_intercept", RescaleOf(a, frame).second}});
    json.Key("photometric");
    json.Windows1252String(a.photometricText);
    json.Key("pixel_data_length");
    json.Int(a.pixelData.encapsulated ? 0 : a.pixelData.declared);
    json.Key("pixel_group_length");
    json.Int(a.pixelData.groupLength);
    // The range of the modality values of every frame; 32767 and -32768 when there are none.
    const std::optional<ValueRange>& range = doc.Range();
    const bool known = range && !range->Empty();
    WriteNumbers(json, {{"min_sample", known ? range->min : 32767.0}, {"max_sample", known ? range->max : -32768.0}});
    // The file meta group's Transfer Syntax UID; null without a meta group.
    json.Key("transfer_syntax");
    if (a.transferSyntaxUid.empty()) {
        json.Null();
    } else {
        json.Windows1252String(a.transferSyntaxUid);
    }
    WriteNumbers(json, {{"rescale_slope", RescaleOf(a, frame).first}});
    json.Key("units");
    json.Windows1252String(a.units);
    json.Key("windows");
    json.BeginArray();
    for (const WindowSetting& w : frame.windows) {
        json.BeginObject();
        WriteNumbers(json, {{"center", w.centre}, {"width", w.width}});
        json.Key("explanation");
        json.Windows1252String(w.explanation);
        json.EndObject();
    }
    json.EndArray();
    json.Key("voi_luts");
    json.Int(static_cast<std::int64_t>(frame.voiLuts.size()));
    json.Key("modality_lut");
    if (frame.modality.lut) {
        WriteTable(json, *frame.modality.lut);
    } else {
        json.Null();
    }
    json.Key("palette");
    if (a.palette) {
        json.BeginObject();
        json.Key("red");
        WriteTable(json, a.palette->red);
        json.Key("green");
        WriteTable(json, a.palette->green);
        json.Key("blue");
        WriteTable(json, a.palette->blue);
        json.EndObject();
    } else {
        json.Null();
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
    if (doc.Kind() == DocumentKind::Dicom) doc.ResolveRange();
    json.Key("kind");
    json.String(KindName(doc.Kind()));
    json.Key("title");
    json.BytesString(doc.MakeTitle(CDorvanelleDoc::FileTitle(path)));
    json.Key("frame");
    json.Int(doc.m_nFrame);
    json.Key("image");
    WriteImage(json, doc.m_pDib.get());
    // Why there is no image: a code to test for and the words.
    json.Key("reason");
    if (const Reason& why = doc.NoImageReason()) {
        json.BeginObject();
        json.Key("code");
        json.String(why.Name());
        json.Key("text");
        json.BytesString(why.Text());
        json.EndObject();
    } else {
        json.Null();
    }
    json.Key("dicom");
    if (doc.Attributes() != nullptr) {
        WriteDicomFields(json, doc);
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
    // A selection that gives no image, or holds no pixel of it, is null too: 256
    // empty bins would pass for a picture.
    if (const PackedDib* selected = options.select ? PictureToWrite(doc, options) : nullptr) {
        WriteBins(json, selected);
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

    const PackedDib* dib = PictureToWrite(doc, options);
    if (dib == nullptr && options.select && doc.m_pDib) {
        std::fprintf(stderr, "dorvanelle-cli: the selection holds no pixel of the image; %s was not created\n",
                     output.c_str());
        return exit_status::kInputUnreadable;
    }
    if (dib == nullptr) {
        std::fprintf(stderr, "dorvanelle-cli: there is no %s to write; %s was not created\n",
                     options.select ? "selected image" : "image", output.c_str());
        return exit_status::kInputUnreadable;
    }
    const WriteOutcome outcome = doc.SaveDibAs(dib, output);
    if (!outcome.written) {
        // A path ending in a slash has no file name to say.
        const std::string title = CDorvanelleDoc::FileTitle(output);
        const std::string text = SaveProblemText(title.empty() ? output : title, outcome.reason);
        std::fprintf(stderr, "dorvanelle-cli: %s\n", text.c_str());
        return exit_status::kOutputUnwritable;
    }
    return exit_status::kDone;
}

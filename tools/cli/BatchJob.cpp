#include "tools/cli/BatchJob.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "document/DorvanelleDoc.h"
#include "io/AtomicFileWriter.h"
#include "tools/cli/CliDocument.h"
#include "tools/cli/StopSignals.h"

namespace fs = std::filesystem;

namespace {

// Names tried for one output before giving up, when other programs keep taking them.
constexpr int kMostRenames = 100;

// The document's user interface in a batch: notices (such as the conversion of
// 24-bit bitmaps to 8 bits) are not news there.
class BatchUi : public IDocumentUi {
public:
    void UpdateControlPanel(const CDorvanelleDoc&) override {}
    void ClearControlPanel() override {}
    void ShowNotice(const std::string&) override {}
};

class Job {
public:
    Job(const BatchInput& input, const std::string& stem, const CliOptions& options, OutputNames& names)
        : m_input(input), m_stem(stem), m_options(options), m_names(names), m_doc(m_ui) {}

    JobResult Run() {
        if (m_input.problem) {
            NoImage(m_input.problem, m_input.path + ": " + m_input.problem.Text());
            return m_result;
        }
        if (!Open()) return m_result;
        if (!EnsureFolder()) return m_result;
        if (!m_options.allFrames) {
            Write(m_names.Path(m_input.folder, m_stem), m_input.frame.value_or(m_options.frame.value_or(0)));
            NoteRenamedOutputs();
            return m_result;
        }
        const std::int32_t frames = m_doc.FrameCount();
        for (std::int32_t frame = 0; frame < frames; ++frame) {
            if (frame > 0) {
                if (StopSignals::Caught() != 0) {
                    m_result.cutShort = true;
                    m_result.messages.push_back(m_input.path + ": stopped after frame " + std::to_string(frame - 1) +
                                                " of " + std::to_string(frames) +
                                                "; the later frames were not written");
                    break;
                }
                m_doc.ReplaceImageByFrame(frame);
                if (m_options.select) m_doc.CropSelection(*m_options.select);
            }
            // Whatever keeps one frame from giving an image keeps every later one from
            // it too (a frame count larger than the pixel data holds, for one): the
            // first is reported and the rest are not tried. A write that fails (a full
            // disk) would fail for every later frame as well.
            if (Write(m_names.FramePath(m_input.folder, m_stem, frame + 1), frame) != Written::Yes) break;
        }
        NoteRenamedOutputs();
        return m_result;
    }

private:
    // Opens the input and applies the options in their fixed order, as convert does
    // for one file: frame, window width, window centre, selection.
    bool Open() {
        if (!OpenWithOptions(m_doc, m_options, m_input.path, m_input.frame)) {
            NoImage(m_doc.OpenError(), m_doc.OpenError().Text());
            return false;
        }
        return true;
    }

    bool EnsureFolder() {
        if (m_input.folder.empty()) return true;
        const fs::path folder = fs::path(m_names.Path(m_input.folder, m_stem)).parent_path();
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (!ec || fs::is_directory(folder)) return true;
        Failed(m_input.path + ": the folder " + folder.string() + " cannot be made: " + ec.message());
        return false;
    }

    enum class Written { Yes, NoImage, Failed };

    // Writes the current image to `output`, or to the next free name when another
    // program took that name during the run.
    Written Write(std::string output, std::int32_t frame) {
        const PackedDib* dib = PictureToWrite(m_doc, m_options);
        if (dib == nullptr) {
            Reason reason = m_doc.NoImageReason();
            if (!reason) reason = BatchNoImage::EmptySelection;
            std::string which = m_options.allFrames ? " for frame " + std::to_string(frame) : "";
            NoImage(reason, m_input.path + " gives no image" + which + ": " + reason.Text());
            return Written::NoImage;
        }
        WriteOutcome outcome;
        for (int renamed = 0;; ++renamed) {
            outcome = m_doc.SaveDibAs(dib, output, m_names.PlacementFor(output));
            if (outcome.written) {
                ++m_result.written;
                return Written::Yes;
            }
            if (!outcome.reason.Is(WriteFailure::AlreadyExists) || renamed == kMostRenames) break;
            std::string next = m_names.NextFreeName(output);
            if (m_renamed++ == 0) m_firstRenamed = {output, next};
            output = std::move(next);
        }
        Failed(m_input.path + ": " + SaveProblemText(CDorvanelleDoc::FileTitle(output), outcome.reason));
        return Written::Failed;
    }

    // One line for every output written under another name than planned, since a
    // file came to its name during the run: it names the first.
    void NoteRenamedOutputs() {
        if (m_renamed == 0) return;
        const auto& [planned, taken] = m_firstRenamed;
        std::string line =
            m_input.path + ": " + planned + " appeared during the run and was kept; the output is " + taken;
        if (m_renamed > 1) line += " (and " + std::to_string(m_renamed - 1) + " more outputs under other names)";
        m_result.messages.push_back(line);
    }

    void NoImage(const Reason& reason, const std::string& message) {
        if (m_result.outcome == InputOutcome::Converted) {
            m_result.outcome = InputOutcome::NoImage;
            m_result.noImage = reason;
        }
        m_result.messages.push_back(message);
    }

    void Failed(const std::string& message) {
        m_result.outcome = InputOutcome::Failed;
        m_result.messages.push_back(message);
    }

    const BatchInput& m_input;
    const std::string& m_stem;
    const CliOptions& m_options;
    OutputNames& m_names;
    BatchUi m_ui;
    CDorvanelleDoc m_doc;
    JobResult m_result;
    // How often a name was found taken by another program, and the first such name
    // with the one written instead.
    int m_renamed = 0;
    std::pair<std::string, std::string> m_firstRenamed;
};

}  // namespace

std::string ReasonText(BatchNoImage code, const Reason&) {
    switch (code) {
    case BatchNoImage::EmptySelection: break;
    }
    return "the selection holds no pixel of the image";
}

JobResult ConvertInput(const BatchInput& input, const std::string& plannedStem, const CliOptions& options,
                       OutputNames& names) {
    return Job(input, plannedStem, options, names).Run();
}

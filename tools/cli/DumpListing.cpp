// The dump subcommand: the header listing of a DICOM file, row after row as the
// reader walks it, streamed to stdout.
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "dicom/DicomFile.h"
#include "dicom/HeaderListing.h"
#include "document/DorvanelleDoc.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/JsonWriter.h"

namespace {

constexpr std::size_t kFlushSize = 1 << 20;

std::size_t CodePoints(const std::string& utf8) {
    std::size_t count = 0;
    for (char c : utf8)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// A cell for plain output: UTF-8, with tabs, line breaks and other control bytes
// shown as blanks so that every element stays on one aligned line.
std::string PlainCell(std::string_view text) {
    std::string cell;
    AppendWindows1252AsUtf8(cell, text);
    for (char& c : cell) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return cell;
}

void AppendPadded(std::string& out, const std::string& cell, std::size_t width) {
    out += cell;
    std::size_t length = CodePoints(cell);
    if (length < width) out.append(width - length, ' ');
}

std::size_t LongestDictionaryName() {
    std::size_t longest = std::strlen(HeaderRow::Heading(HeaderRow::TagName));
    for (const DicomDictionaryEntry* e = DictionaryBegin(); e != DictionaryEnd(); ++e) {
        std::size_t length = CodePoints(PlainCell(e->name));
        if (length > longest) longest = length;
    }
    return longest;
}

using Cells = std::array<std::string, HeaderRow::ColumnCount>;

// How the listing is written: plain columns, one JSON array of rows, or one JSON
// Lines object per file (when several files are listed).
enum class DumpFormat { Plain, Json, JsonLine };

class DumpWriter {
public:
    DumpWriter(DumpFormat format, const std::string& path)
        : m_json(format != DumpFormat::Plain),
          m_oneLine(format == DumpFormat::JsonLine),
          m_nameWidth(m_json ? 0 : LongestDictionaryName()) {
        m_out.reserve(kFlushSize + 4096);
        if (m_oneLine) {
            m_out += "{\"file\": ";
            JsonWriter(m_out).BytesString(path);
            m_out += ", \"elements\": [";
        } else if (m_json) {
            m_out += "[";
        } else {
            Cells headings;
            for (int column = 0; column < HeaderRow::ColumnCount; ++column)
                headings[column] = HeaderRow::Heading(column);
            AppendPlain(headings);
        }
    }

    void Row(const CDicomFile& reader) {
        const HeaderRow row = HeaderRowOf(reader);
        if (m_json) {
            if (m_oneLine) {
                m_out += m_rows == 0 ? "[" : ", [";
            } else {
                m_out += m_rows == 0 ? "\n  [" : ",\n  [";
            }
            for (int column = 0; column < HeaderRow::ColumnCount; ++column) {
                if (column > 0) m_out += ", ";
                std::string utf8;
                AppendWindows1252AsUtf8(utf8, row.Cell(column));
                AppendJsonString(m_out, utf8);
            }
            m_out += "]";
        } else {
            Cells cells;
            for (int column = 0; column < HeaderRow::ColumnCount; ++column)
                cells[column] = PlainCell(row.Cell(column));
            AppendPlain(cells);
        }
        ++m_rows;
        if (m_out.size() >= kFlushSize) Flush();
    }

    // `note`, when not empty, says why the listing stops before the end of the file:
    // a JSON Lines object carries it, and it goes to stderr in every format.
    bool Finish(const std::string& path, const std::string& note) {
        if (!note.empty()) std::fprintf(stderr, "dorvanelle-cli: %s: %s\n", path.c_str(), note.c_str());
        if (m_oneLine && !note.empty()) {
            m_out += "], \"note\": ";
            JsonWriter(m_out).String(note);
            m_out += "}\n";
        } else if (m_oneLine) {
            m_out += "]}\n";
        } else if (m_json) {
            m_out += m_rows == 0 ? "]\n" : "\n]\n";
        }
        Flush();
        return m_ok && std::fflush(stdout) == 0;
    }

private:
    // One line of aligned columns; the length is set right.
    void AppendPlain(const Cells& cells) {
        AppendPadded(m_out, cells[HeaderRow::Group], 8);
        AppendPadded(m_out, cells[HeaderRow::Element], 9);
        AppendPadded(m_out, cells[HeaderRow::TagName], m_nameWidth + 2);
        AppendPadded(m_out, cells[HeaderRow::VR], 4);
        const std::string& length = cells[HeaderRow::VL];
        std::size_t digits = CodePoints(length);
        if (digits < 10) m_out.append(10 - digits, ' ');
        m_out += length;
        m_out += "  ";
        m_out += cells[HeaderRow::Value];
        m_out += '\n';
    }

    void Flush() {
        if (m_ok && std::fwrite(m_out.data(), 1, m_out.size(), stdout) != m_out.size()) m_ok = false;
        m_out.clear();
    }

    bool m_json;
    bool m_oneLine;
    std::size_t m_nameWidth;
    std::string m_out;
    std::size_t m_rows = 0;
    bool m_ok = true;
};

// Why `path` is not listed without opening it: a bitmap or PCX picture by its name.
std::string NotDicom(const std::string& path) {
    if (CDorvanelleDoc::KindOfPath(path) == DocumentKind::Dicom) return {};
    return path + " opens as a " + (CDorvanelleDoc::KindOfPath(path) == DocumentKind::Bitmap ? "bitmap" : "PCX") +
           " picture, which has no DICOM elements to list";
}

// Lists one file; the exit status of that file.
int DumpFile(const std::string& path, DumpFormat format) {
    std::string why = NotDicom(path);
    CDicomFile reader;
    // The open says why it failed.
    if (why.empty() && reader.LoadFile(path) != 0) {
        const Reason& failure = reader.LoadFailure();
        const Reason open = OpenFailureOf(failure, path);
        why = open ? open.Text() : failure.Text();
        while (!why.empty() && why.back() == '.')
            why.pop_back();
    }
    if (!why.empty()) {
        std::fprintf(stderr, "dorvanelle-cli: %s\n", why.c_str());
        if (format == DumpFormat::JsonLine) {
            std::string line = "{\"file\": ";
            JsonWriter json(line);
            json.BytesString(path);
            line += ", \"error\": ";
            json.BytesString(why);
            line += "}\n";
            if (!WriteStdout(line)) return exit_status::kOutputUnwritable;
        }
        return exit_status::kInputUnreadable;
    }
    DumpWriter writer(format, path);
    reader.ListElements(reader.DetectLayout(), [&writer](const CDicomFile& r) { writer.Row(r); });
    // A walk that ends at a value cut short says so: the listing would otherwise end
    // as if the file ended there.
    const std::string note = reader.WalkStop() ? reader.WalkStop().Text() : reader.ValueCutShort().Text();
    if (!writer.Finish(path, note)) {
        std::fprintf(stderr, "dorvanelle-cli: the output could not be written\n");
        return exit_status::kOutputUnwritable;
    }
    return exit_status::kDone;
}

}  // namespace

int RunDump(const CliOptions& options) {
    const bool several = options.files.size() > 1;
    DumpFormat format = !options.json ? DumpFormat::Plain : several ? DumpFormat::JsonLine : DumpFormat::Json;
    int worst = exit_status::kDone;
    for (std::size_t i = 0; i < options.files.size(); ++i) {
        const std::string& path = options.files[i];
        if (several && format == DumpFormat::Plain) {
            std::string heading = (i == 0 ? "==> " : "\n==> ") + path + " <==\n";
            if (!WriteStdout(heading)) return exit_status::kOutputUnwritable;
        }
        int status = DumpFile(path, format);
        if (status == exit_status::kOutputUnwritable) return status;
        if (status != exit_status::kDone) worst = status;
    }
    return worst;
}

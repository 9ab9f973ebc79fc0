// The dump subcommand: the header listing of a DICOM file, row after row as the
// reader walks it, streamed to stdout.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "dicom/DicomFile.h"
#include "document/DorvanelleDoc.h"
#include "tools/cli/CliCommands.h"
#include "tools/cli/JsonWriter.h"

namespace {

constexpr std::size_t kFlushSize = 1 << 20;

std::size_t CodePoints(const std::string& utf8) {
    std::size_t count = 0;
    for (char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// A cell for plain output: UTF-8, with tabs, line breaks and other control bytes
// shown as blanks so that every element stays on one aligned line.
std::string PlainCell(const char* text) {
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
    std::size_t longest = 8;  // "Tag Name"
    for (const DicomDictionaryEntry* e = DictionaryBegin(); e != DictionaryEnd(); ++e) {
        std::size_t length = CodePoints(PlainCell(e->name));
        if (length > longest) longest = length;
    }
    return longest;
}

struct Columns {
    char group[8];
    char element[8];
    char length[16];
};

Columns NumberColumns(const CDicomFile& reader) {
    Columns c{};
    std::snprintf(c.group, sizeof c.group, "0x%04X", static_cast<unsigned>(reader.m_nGroup));
    std::snprintf(c.element, sizeof c.element, "0x%04X", static_cast<unsigned>(reader.m_nElement));
    std::snprintf(c.length, sizeof c.length, "%d", static_cast<int>(static_cast<std::int32_t>(reader.m_nLength)));
    return c;
}

class DumpWriter {
public:
    explicit DumpWriter(bool json) : m_json(json), m_nameWidth(json ? 0 : LongestDictionaryName()) {
        m_out.reserve(kFlushSize + 4096);
        if (m_json) {
            m_out += "[";
        } else {
            AppendPlain("Group", "Element", "Tag Name", "VR", "VL", "Value");
        }
    }

    void Row(const CDicomFile& reader) {
        Columns c = NumberColumns(reader);
        if (m_json) {
            m_out += m_rows == 0 ? "\n  [" : ",\n  [";
            const char* cells[6] = {c.group, c.element, reader.m_pszName, reader.m_pszVR, c.length,
                                    reader.m_szValueText};
            for (int i = 0; i < 6; ++i) {
                if (i > 0) m_out += ", ";
                std::string utf8;
                AppendWindows1252AsUtf8(utf8, cells[i]);
                AppendJsonString(m_out, utf8);
            }
            m_out += "]";
        } else {
            AppendPlain(c.group, c.element, PlainCell(reader.m_pszName), PlainCell(reader.m_pszVR), c.length,
                        PlainCell(reader.m_szValueText));
        }
        ++m_rows;
        if (m_out.size() >= kFlushSize) Flush();
    }

    bool Finish() {
        if (m_json) m_out += m_rows == 0 ? "]\n" : "\n]\n";
        Flush();
        return m_ok && std::fflush(stdout) == 0;
    }

private:
    void AppendPlain(const std::string& group, const std::string& element, const std::string& name,
                     const std::string& vr, const std::string& length, const std::string& value) {
        AppendPadded(m_out, group, 8);
        AppendPadded(m_out, element, 9);
        AppendPadded(m_out, name, m_nameWidth + 2);
        AppendPadded(m_out, vr, 4);
        std::size_t digits = CodePoints(length);
        if (digits < 10) m_out.append(10 - digits, ' ');
        m_out += length;
        m_out += "  ";
        m_out += value;
        m_out += '\n';
    }

    void Flush() {
        if (m_ok && std::fwrite(m_out.data(), 1, m_out.size(), stdout) != m_out.size()) m_ok = false;
        m_out.clear();
    }

    bool m_json;
    std::size_t m_nameWidth;
    std::string m_out;
    std::size_t m_rows = 0;
    bool m_ok = true;
};

}  // namespace

int RunDump(const CliOptions& options) {
    const std::string& path = options.files[0];
    if (CDorvanelleDoc::KindOfPath(path) != DocumentKind::Dicom) {
        std::fprintf(stderr, "dorvanelle-cli: %s opens as a %s picture, which has no DICOM elements to list\n",
                     path.c_str(), CDorvanelleDoc::KindOfPath(path) == DocumentKind::Bitmap ? "bitmap" : "PCX");
        return exit_status::kInputUnreadable;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        std::fprintf(stderr, "dorvanelle-cli: %s is a folder, not a file\n", path.c_str());
        return exit_status::kInputUnreadable;
    }
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
    } else {
        std::fprintf(stderr, "dorvanelle-cli: %s cannot be opened: %s\n", path.c_str(), std::strerror(errno));
        return exit_status::kInputUnreadable;
    }
    CDicomFile reader;
    if (reader.LoadFile(path) != 0) {
        std::fprintf(stderr, "dorvanelle-cli: %s could not be read\n", path.c_str());
        return exit_status::kInputUnreadable;
    }
    DumpWriter writer(options.json);
    reader.ListElements(reader.DetectLayout(), [&writer](const CDicomFile& r) { writer.Row(r); });
    if (!writer.Finish()) {
        std::fprintf(stderr, "dorvanelle-cli: the output could not be written\n");
        return exit_status::kOutputUnwritable;
    }
    return exit_status::kDone;
}

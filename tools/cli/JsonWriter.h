// A small JSON emitter for the command-line tool's output: objects put each member
// on its own line (or all on one line, for JSON Lines), arrays stay on one line,
// strings are escaped as JSON requires.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Appends the UTF-8 form of `text`, read as Windows-1252 (the encoding of DICOM
// texts and of the dictionary), to `out`.
void AppendWindows1252AsUtf8(std::string& out, std::string_view text);

// Whether `text` is well-formed UTF-8 (file names on Linux are bytes and need not be).
bool IsValidUtf8(std::string_view text);

// Appends `utf8` as a quoted, escaped JSON string.
void AppendJsonString(std::string& out, std::string_view utf8);

class JsonWriter {
public:
    // With `oneLine`, the whole value stays on one line (JSON Lines), members apart by ", ".
    explicit JsonWriter(std::string& out, bool oneLine = false) : m_out(out), m_oneLine(oneLine) {}

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The name of the next object member.
    void Key(std::string_view name);
    // A string already in UTF-8.
    void String(std::string_view utf8);
    // A Windows-1252 string, written as UTF-8.
    void Windows1252String(std::string_view text);
    // Bytes that are UTF-8 as they stand, or else read as Windows-1252.
    void BytesString(std::string_view text);
    void Int(std::int64_t value);
    // A number in its shortest form that reads back the same; null when not finite.
    void Double(double value);
    void Bool(bool value);
    void Null();

private:
    struct Level {
        bool isObject;
        bool empty;
    };
    void BeforeValue();
    void NewLine();

    std::string& m_out;
    bool m_oneLine;
    std::vector<Level> m_levels;
    bool m_afterKey = false;
};

#include "tests/net/NetTestFiles.h"

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "tests/support/TempFiles.h"
#include "tools/generator/PhantomStudy.h"

namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

// The offset after the meta group, or 0 when there is none to be found.
std::size_t AfterMeta(const std::vector<std::uint8_t>& bytes, std::string* syntax) {
    if (bytes.size() < 132 || std::string(bytes.begin() + 128, bytes.begin() + 132) != "DICM") return 0;
    std::size_t at = 132;
    while (at + 8 <= bytes.size() && Le16(bytes, at) == 0x0002) {
        const std::uint16_t element = Le16(bytes, at + 2);
        const std::string vr(bytes.begin() + static_cast<long>(at) + 4, bytes.begin() + static_cast<long>(at) + 6);
        std::size_t length = 0;
        std::size_t header = 8;
        if (vr == "OB" || vr == "OW" || vr == "UN" || vr == "SQ" || vr == "UT" || vr == "UC" || vr == "UR") {
            if (at + 12 > bytes.size()) return 0;
            length = Le32(bytes, at + 8);
            header = 12;
        } else {
            length = Le16(bytes, at + 6);
        }
        if (at + header + length > bytes.size()) return 0;
        if (element == 0x0010 && syntax != nullptr) {
            syntax->assign(bytes.begin() + static_cast<long>(at + header),
                           bytes.begin() + static_cast<long>(at + header + length));
            while (!syntax->empty() && (syntax->back() == '\0' || syntax->back() == ' '))
                syntax->pop_back();
        }
        at += header + length;
    }
    return at;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

int RunCommand(const std::string& command, std::string* out, std::string* err) {
    TempFolder folder;
    const std::string outFile = folder.File("out");
    const std::string errFile = folder.File("err");
    const int status = std::system((command + " >" + Quoted(outFile) + " 2>" + Quoted(errFile)).c_str());
    if (out != nullptr) *out = ReadFileText(outFile);
    if (err != nullptr) *err = ReadFileText(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

GeneratedStudy MakeStudy(const std::string& folder, const std::string& uidRoot, int instances, StudyCoding coding) {
    GeneratedStudy study;
    study.studyUid = uidRoot + ".2.1";
    study.seriesUid = uidRoot + ".3.1";
    std::filesystem::create_directories(folder);
    const char* compressor = nullptr;
    switch (coding) {
    case StudyCoding::Uncompressed: study.transferSyntax = "1.2.840.10008.1.2.1"; break;
    case StudyCoding::JpegLossless:
        compressor = "dcmcjpeg";
        study.transferSyntax = "1.2.840.10008.1.2.4.70";
        break;
    case StudyCoding::JpegLs:
        compressor = "dcmcjpls";
        study.transferSyntax = "1.2.840.10008.1.2.4.80";
        break;
    case StudyCoding::Rle:
        compressor = "dcmcrle";
        study.transferSyntax = "1.2.840.10008.1.2.5";
        break;
    }
    for (int i = 1; i <= instances; ++i) {
        PhantomOptions options;
        options.rows = 64;
        options.columns = 64;
        options.frames = 1;
        options.uidRoot = uidRoot;
        options.instanceNumber = static_cast<std::uint32_t>(i);
        const std::string plain = folder + "/IM" + std::to_string(i) + (compressor ? ".raw" : ".dcm");
        if (!WriteCtPhantom(plain, options).empty()) return {};
        if (compressor == nullptr) {
            study.files.push_back(plain);
            continue;
        }
        const std::string packed = folder + "/IM" + std::to_string(i) + ".dcm";
        if (RunCommand(std::string(compressor) + " " + Quoted(plain) + " " + Quoted(packed)) != 0) return {};
        std::filesystem::remove(plain);
        study.files.push_back(packed);
    }
    return study;
}

std::vector<std::uint8_t> DataSetBytes(const std::string& path) {
    std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    const std::size_t start = AfterMeta(bytes, nullptr);
    if (start == 0) return {};
    return {bytes.begin() + static_cast<long>(start), bytes.end()};
}

std::string MetaTransferSyntax(const std::string& path) {
    std::string syntax;
    AfterMeta(ReadFileBytes(path), &syntax);
    return syntax;
}

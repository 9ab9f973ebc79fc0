// Generated studies for the network tests, and the parts of DICOM files the tests
// compare: a study is a folder of single-frame CT files with UIDs of its own,
// uncompressed or compressed with DCMTK's tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How a generated study is stored.
enum class StudyCoding { Uncompressed, JpegLossless, JpegLs, Rle };

struct GeneratedStudy {
    std::string studyUid;
    std::string seriesUid;
    std::vector<std::string> files;  // one per instance, in instance order
    std::string transferSyntax;
};

// Writes `instances` 64 x 64 files under `folder` with UIDs under `uidRoot`.
// Empty files when a compressor is missing or fails.
GeneratedStudy MakeStudy(const std::string& folder, const std::string& uidRoot, int instances,
                         StudyCoding coding = StudyCoding::Uncompressed);

// The bytes of the data set after the file meta group (the part a server keeps
// and sends back), empty when the file cannot be read.
std::vector<std::uint8_t> DataSetBytes(const std::string& path);
// The transfer syntax named in the file meta group.
std::string MetaTransferSyntax(const std::string& path);

// Runs the command line (a shell command) and gives its exit status; its
// standard output and error go to `out` and `err` when not null.
int RunCommand(const std::string& command, std::string* out = nullptr, std::string* err = nullptr);

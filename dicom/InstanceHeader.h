// What a study index needs of one DICOM file, read from its header up to the Pixel
// Data and no further: who and what it belongs to (patient, study, series), where
// its image lies in space, and the kind of image it holds. Only the top-level data
// set counts (a study UID inside a request sequence or the size of an icon image is
// not the file's), except for the frame positions of enhanced multi-frame files,
// which lie in their functional groups.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "io/Reason.h"

class ByteSource;
class CDicomFile;

// The attributes a whole series shares: patient, study and series. Texts are the
// file's bytes without their padding.
struct SeriesLevel {
    std::string patientName;
    std::string patientId;
    std::string patientBirthDate;
    std::string patientSex;
    std::string specificCharacterSet;  // how the texts above are encoded
    std::string studyUid;
    std::string studyId;
    std::string studyDate;
    std::string studyTime;
    std::string studyDescription;
    std::string accessionNumber;
    std::string seriesUid;
    std::string seriesDescription;
    std::string modality;
    std::optional<std::int32_t> seriesNumber;

    friend bool operator==(const SeriesLevel&, const SeriesLevel&) = default;
};

using Vector3 = std::array<double, 3>;

// The attributes of one instance.
struct InstanceLevel {
    std::string sopClassUid;
    std::string sopInstanceUid;
    std::string transferSyntaxUid;
    std::optional<std::int32_t> instanceNumber;
    std::optional<Vector3> position;                    // Image Position (Patient), mm
    std::optional<std::array<double, 6>> orientation;  // Image Orientation (Patient): row, column
    std::optional<std::array<double, 2>> pixelSpacing;         // in the patient: rows, then columns apart
    std::optional<std::array<double, 2>> imagerPixelSpacing;  // at the detector, for projection images
    std::uint16_t rows = 0;
    std::uint16_t columns = 0;
    std::uint16_t samplesPerPixel = 0;
    std::uint16_t bitsAllocated = 0;
    std::uint16_t pixelRepresentation = 0;
    std::string photometric;
    std::int32_t frames = 0;  // Number of Frames; 0 when the file gives none
    bool hasPixelData = false;
    // Bytes from the Pixel Data element to the end of the file: what its frames can
    // take at most, whatever the frame count claims.
    std::uint64_t pixelBytesAtMost = 0;
    // One position per frame of an enhanced multi-frame file, when every frame gives
    // one; empty otherwise.
    std::vector<Vector3> framePositions;
};

struct InstanceHeader {
    SeriesLevel series;
    InstanceLevel instance;
    bool dicomPrefix = false;  // "DICM" follows a 128-byte preamble
};

enum class HeaderScanFailure {
    NotDicom,       // neither the DICM prefix nor elements that identify a DICOM instance
    DirectoryFile,  // a DICOMDIR: a directory of other files, not an instance
};
std::string ReasonText(HeaderScanFailure code, const Reason& reason);

// Reads headers one after the other, keeping its reader and buffer from one file to
// the next. One per thread.
class InstanceHeaderScanner {
public:
    InstanceHeaderScanner();
    ~InstanceHeaderScanner();
    InstanceHeaderScanner(const InstanceHeaderScanner&) = delete;
    InstanceHeaderScanner& operator=(const InstanceHeaderScanner&) = delete;

    // Reads the header of `file`: first from its first few kilobytes, in memory, and
    // only when the header runs on past them element by element from the file. Empty
    // on success; otherwise why the file gives no instance (a read of a file that
    // changed gives FileReadFailure::ChangedOnDisk, a failed read CannotRead).
    Reason Scan(const std::shared_ptr<const ByteSource>& file, InstanceHeader& out);

private:
    std::unique_ptr<CDicomFile> m_reader;
    std::vector<std::uint8_t> m_head;
};

// The SOP Class UID of a DICOMDIR (Media Storage Directory Storage).
inline constexpr const char* kMediaStorageDirectoryUid = "1.2.840.10008.1.3.10";

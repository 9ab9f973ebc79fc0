// What a DICOM file saved from a DICOM image says about where it came from: the
// source's patient and study, copied, and a new series and instance of its own, as a
// Secondary Capture (an image made from another one, here the picture as displayed).
// Without it a saved file is a bare image that no archive takes and that nothing ties
// to its patient.
#pragma once

#include <string>

#include "dicom/InstanceHeader.h"
#include "image/PackedDib.h"
#include "io/AtomicFileWriter.h"

inline constexpr const char* kSecondaryCaptureClassUid = "1.2.840.10008.5.1.4.1.1.7";

struct SecondaryCaptureIdentity {
    SeriesLevel source;         // patient and study to copy; the series is not copied
    std::string studyUid;       // the source's, or a new one when it gives none
    std::string seriesUid;      // new
    std::string instanceUid;    // new
    std::string derivation;     // how the image was made from the source, in words
};

// A new UID under the 2.25 root: a random 128-bit number in decimal, unique without a
// registered root of our own.
std::string NewUid();

// The identity of an image saved from `source` (the header of the DICOM file shown):
// its patient and study, new series and instance UIDs, and `derivation`.
SecondaryCaptureIdentity IdentityFrom(const SeriesLevel& source, std::string derivation);

// Appends the identifying elements to `out` in implicit-VR little-endian, in tag
// order, all of them before the image elements that follow: Specific Character Set
// (when the source gives one), Image Type, SOP Class and Instance UIDs, study date and
// time, accession number, modality "OT", conversion type, study description,
// derivation description, patient name, ID, birth date and sex, study, series and
// study ID, series and instance numbers.
void EncodeSecondaryCaptureIdentity(const SecondaryCaptureIdentity& identity, std::string& out);

// Writes `dib` as a DICOM file with `identity` before its image elements, through a
// temporary file renamed into place.
WriteOutcome WriteSecondaryCaptureFile(const PackedDib* dib, const SecondaryCaptureIdentity& identity,
                                       const std::string& path, Placement placement = Placement::ReplaceExisting);

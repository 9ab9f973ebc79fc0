// A generated study as a scanner exports it: several CT series of single-frame
// files, each slice with its position and orientation, all in one folder under
// names that say nothing of their order (IM followed by six digits, shuffled), and
// optionally a DICOMDIR made by DCMTK's dcmmkdir, as on a CD.
#pragma once

#include <cstdint>
#include <string>

struct SeriesStudyOptions {
    std::uint16_t rows = 256;
    std::uint16_t columns = 256;
    std::uint32_t series = 4;
    std::uint32_t slices = 500;  // per series
    bool shuffle = true;         // file names in no useful order; else IM000001... in slice order
    bool dicomDir = false;       // a DICOMDIR beside the files, made by dcmmkdir
    std::string patientName = "PHANTOM^STUDY";
};

// Series k (from 0) is numbered k + 1, described "Axial S<k+1>", with slices
// 1.25 * (k + 1) mm apart along z from z = 0, instance numbers 1, 2... in slice order.
// Its UID is SeriesStudyUid(k); slice i's SOP Instance UID ends in ".<k+1>.<i+1>".
std::string SeriesStudySeriesUid(std::uint32_t series);
double SeriesStudySpacing(std::uint32_t series);

// Writes the study into `folder` (made if needed). Empty on success, else why not.
std::string WriteSeriesStudy(const std::string& folder, const SeriesStudyOptions& options);

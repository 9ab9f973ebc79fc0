// The studies an index found: Patient > Study > Series, each series with its
// instances and the stacks they make. A stack is what the viewer steps through as
// one: the frames of the series' images in slice order. A series whose images do
// not all have one size, pixel kind and orientation has more than one stack; its
// first is the main one and each other says why it was split off.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dicom/InstanceHeader.h"
#include "io/Reason.h"

// What the index knows of one file of a series.
struct IndexedInstance {
    enum class State : std::uint8_t {
        Image,    // holds pixel data of a known size: its frames are slices of a stack
        NoImage,  // a report, structure set, presentation state... listed without a stack
        Missing,  // named by a DICOMDIR, but not there (`missing` says why)
    };
    std::string path;
    std::shared_ptr<const SeriesLevel> level;  // shared by the instances of a series
    InstanceLevel fields;
    State state = State::Image;
    Reason missing;
};

// One slice: frame `frame` (0 for a single-frame file) of instance `instance` of the series.
struct Slice {
    std::uint32_t instance = 0;
    std::int32_t frame = 0;
    std::optional<Vector3> position;  // Image Position (Patient) of the frame, mm
    // The position's distance along the stack's normal (the cross product of the
    // orientation's row and column), mm; only when the stack is ordered by position.
    std::optional<double> location;
};

enum class SliceOrder : std::uint8_t {
    Position,        // by location along the normal, then instance number, file name, frame
    InstanceNumber,  // some slice has no position: by instance number, then file name, frame
    FileName,        // no instance numbers either
};

// Why a stack was split off its series' main stack.
enum class StackSplit {
    OtherSize,         // First x Second: the stack's columns and rows; Third x Fourth: the main stack's
    OtherPixelKind,    // Subject: the stack's kind and the main stack's, "RGB, 8 bits / grey, 16 bits"
    OtherOrientation,  // Subject: the two orientations
};
std::string ReasonText(StackSplit code, const Reason& reason);
// A short name of the code for machine-readable output: "size", "pixel_kind", "orientation".
const char* SplitName(StackSplit code);

struct Stack {
    std::vector<Slice> slices;  // in slice order
    SliceOrder order = SliceOrder::FileName;
    std::uint16_t rows = 0;
    std::uint16_t columns = 0;
    // The median distance between neighbouring slices and whether every distance is
    // within 1 % (at least 0.001 mm) of it; only for stacks ordered by position with
    // two slices or more.
    std::optional<double> spacing;
    bool evenSpacing = false;
    Reason split;  // empty for the main stack
};

struct Series {
    std::shared_ptr<const SeriesLevel> level;
    std::vector<IndexedInstance> instances;  // in file-name order
    std::vector<Stack> stacks;               // the main stack first; none without images
    std::size_t Frames() const;              // slices of all stacks
    std::size_t Count(IndexedInstance::State state) const;
};

struct Study {
    std::vector<Series> series;  // by series number, then UID
};

struct Patient {
    std::vector<Study> studies;  // by date and time, then UID
};

// Patients by name, then ID. The texts of each level are those of its first series'
// SeriesLevel (patient: patientName, patientId; study: study*, accessionNumber),
// in UTF-8 whatever character set their files were written in.
struct StudyTree {
    std::vector<Patient> patients;
    std::size_t SeriesCount() const;
};

// Orders the instances' frames into stacks: the instances of one series, as the
// tree holds them. Fills `series.stacks`.
void BuildStacks(Series& series);

// Groups instances (in any order) into the tree, each series with its stacks.
StudyTree BuildStudyTree(std::vector<IndexedInstance> instances);

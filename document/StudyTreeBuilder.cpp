// Instances grouped into patients, studies and series, in a stable order.
#include <algorithm>
#include <map>
#include <tuple>

#include "document/StudyTree.h"

namespace {

// Series numbers as a sort key: numbered series first, in number order.
std::pair<int, std::int64_t> NumberKey(const std::optional<std::int32_t>& number) {
    return number ? std::pair<int, std::int64_t>(0, *number) : std::pair<int, std::int64_t>(1, 0);
}

}  // namespace

std::size_t Series::Frames() const {
    std::size_t frames = 0;
    for (const Stack& stack : stacks) {
        frames += stack.slices.size();
    }
    return frames;
}

std::size_t Series::Count(IndexedInstance::State state) const {
    return static_cast<std::size_t>(std::count_if(instances.begin(), instances.end(),
                                                  [state](const IndexedInstance& i) { return i.state == state; }));
}

std::size_t StudyTree::SeriesCount() const {
    std::size_t count = 0;
    for (const Patient& patient : patients) {
        for (const Study& study : patient.studies) {
            count += study.series.size();
        }
    }
    return count;
}

StudyTree BuildStudyTree(std::vector<IndexedInstance> instances) {
    // A patient is known by ID and name, a study by its UID under its patient, a
    // series by its UID under its study. Files without UIDs share the empty one.
    using PatientKey = std::pair<std::string, std::string>;
    std::map<PatientKey, std::map<std::string, std::map<std::string, Series>>> grouped;
    std::sort(instances.begin(), instances.end(),
              [](const IndexedInstance& a, const IndexedInstance& b) { return a.path < b.path; });
    for (IndexedInstance& instance : instances) {
        if (instance.level == nullptr) {
            instance.level = std::make_shared<const SeriesLevel>();
        }
        const SeriesLevel& l = *instance.level;
        Series& series = grouped[{l.patientName, l.patientId}][l.studyUid][l.seriesUid];
        if (series.level == nullptr) {
            series.level = instance.level;
        }
        series.instances.push_back(std::move(instance));
    }
    StudyTree tree;
    for (auto& [patientKey, studies] : grouped) {
        Patient patient;
        for (auto& [studyUid, seriesByUid] : studies) {
            Study study;
            for (auto& [seriesUid, series] : seriesByUid) {
                BuildStacks(series);
                study.series.push_back(std::move(series));
            }
            std::stable_sort(study.series.begin(), study.series.end(), [](const Series& a, const Series& b) {
                return NumberKey(a.level->seriesNumber) < NumberKey(b.level->seriesNumber);
            });
            patient.studies.push_back(std::move(study));
        }
        std::stable_sort(patient.studies.begin(), patient.studies.end(), [](const Study& a, const Study& b) {
            const SeriesLevel& la = *a.series.front().level;
            const SeriesLevel& lb = *b.series.front().level;
            return std::tie(la.studyDate, la.studyTime) < std::tie(lb.studyDate, lb.studyTime);
        });
        tree.patients.push_back(std::move(patient));
    }
    return tree;
}

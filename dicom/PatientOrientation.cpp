#include "dicom/PatientOrientation.h"

#include <algorithm>
#include <cmath>

namespace {

// Components smaller than this are rounding in the file's decimal texts, not a tilt.
constexpr double kNegligible = 1e-4;

}  // namespace

std::string PatientDirectionLetters(const std::array<double, 3>& direction) {
    static const char kPositive[] = {'L', 'P', 'H'};
    static const char kNegative[] = {'R', 'A', 'F'};
    std::array<int, 3> order = {0, 1, 2};
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return std::fabs(direction[a]) > std::fabs(direction[b]); });
    std::string letters;
    for (const int axis : order) {
        const double c = direction[axis];
        if (!(std::fabs(c) > kNegligible)) continue;  // NaN included
        letters += c > 0 ? kPositive[axis] : kNegative[axis];
    }
    return letters;
}

std::array<double, 3> PatientDirectionOf(const std::array<double, 6>& orientation, double dx, double dy) {
    return {dx * orientation[0] + dy * orientation[3], dx * orientation[1] + dy * orientation[4],
            dx * orientation[2] + dy * orientation[5]};
}

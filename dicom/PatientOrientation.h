// The letters that name a direction in the patient: L(eft) or R(ight) along x,
// P(osterior) or A(nterior) along y, H(ead) or F(eet) along z, as DICOM's patient
// coordinates run (x to the patient's left, y to the back, z to the head). Viewers
// put them at the edges of an image, from its Image Orientation (Patient).
#pragma once

#include <array>
#include <string>

// The letters of `direction`, the largest component first, one for each component
// that is not negligible (an oblique direction gives two or three, e.g. "LP"); empty
// for a direction of no length.
std::string PatientDirectionLetters(const std::array<double, 3>& direction);

// The direction in the patient of a step (dx, dy) across the image, given its
// Image Orientation (Patient): the row direction (towards higher columns) and then
// the column direction (towards higher rows).
std::array<double, 3> PatientDirectionOf(const std::array<double, 6>& orientation, double dx, double dy);

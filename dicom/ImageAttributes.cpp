#include "dicom/ImageAttributes.h"

#include <cmath>
#include <cstdlib>

std::uint16_t LookupTable::At(double input) const {
    if (entries.empty()) return 0;
    const double index = std::floor(input) - firstMapped;
    if (!(index > 0)) return entries.front();  // NaN too
    if (index >= static_cast<double>(entries.size() - 1)) return entries.back();
    return entries[static_cast<std::size_t>(index)];
}

double ModalityTransform::Apply(double stored) const {
    if (lut) return lut->At(stored);
    return stored * slope + intercept;
}

bool ModalityTransform::KeepsWholeNumbers() const {
    return lut.has_value() || (slope == std::trunc(slope) && intercept == std::trunc(intercept));
}

const FrameValues& ImageAttributes::Frame(std::int32_t frame) const {
    if (frame >= 0 && static_cast<std::size_t>(frame) < perFrame.size())
        return perFrame[static_cast<std::size_t>(frame)];
    return shared;
}

double DecimalValue(const std::string& text, double fallback) {
    const std::size_t end = text.find('\\');
    const std::string first = text.substr(0, end);
    const char* start = first.c_str();
    char* stop = nullptr;
    const double value = std::strtod(start, &stop);
    return stop != start && std::isfinite(value) ? value : fallback;
}

std::vector<std::string> SplitValues(const std::string& text) {
    std::vector<std::string> values;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\\', start);
        values.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return values;
}

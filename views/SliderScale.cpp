#include "views/SliderScale.h"

#include <algorithm>
#include <cmath>
#include <limits>

SliderScale SliderScale::Over(double low, double high, bool whole) {
    SliderScale scale;
    if (!(low <= high) || !std::isfinite(low) || !std::isfinite(high)) return scale;
    constexpr int kHalfOfInt = std::numeric_limits<int>::max() / 2;
    constexpr double kReach = kHalfOfInt;
    if (whole && std::fabs(low) < kReach && std::fabs(high) < kReach) {
        scale.m_minimum = static_cast<int>(std::floor(low));
        scale.m_maximum = static_cast<int>(std::ceil(high));
        return scale;
    }
    scale.m_origin = low;
    scale.m_step = high > low ? (high - low) / kSteps : 1.0;
    scale.m_maximum = high > low ? kSteps : 0;
    return scale;
}

int SliderScale::Position(double value) const {
    const double position = std::round((value - m_origin) / m_step);
    if (!(position >= m_minimum)) return m_minimum;
    if (position > m_maximum) return m_maximum;
    return static_cast<int>(position);
}

double SliderScale::Value(int position) const { return m_origin + position * m_step; }

QString SliderScale::Text(double value) {
    if (value == std::floor(value) && std::fabs(value) < 1e15) return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 6);
}

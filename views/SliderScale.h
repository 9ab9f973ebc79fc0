// How a window slider's whole-number positions stand for window values. Values that
// are whole numbers within an int's reach (16-bit data, CT in HU) are the positions
// themselves, as they always were; 32-bit, float and rescaled data with fractional
// values map kSteps positions evenly onto their range, and the labels say the true
// values.
#pragma once

#include <QString>

class SliderScale {
public:
    static constexpr int kSteps = 10000;

    SliderScale() = default;
    // A slider over [low, high]; `whole` when every value it stands for is a whole number.
    static SliderScale Over(double low, double high, bool whole);

    int Minimum() const { return m_minimum; }
    int Maximum() const { return m_maximum; }
    // The nearest position to `value`, within the slider's range.
    int Position(double value) const;
    double Value(int position) const;
    // A value as the labels show it: whole numbers plainly, others to 6 significant digits.
    static QString Text(double value);

private:
    double m_origin = 0;  // the value of position 0
    double m_step = 1;    // value per position
    int m_minimum = 0;
    int m_maximum = 0;
};

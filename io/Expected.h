// A value or the reason there is none: what std::expected<T, Reason> gives in
// C++23, small enough for C++20. Functions that can fail return one instead of
// taking a Reason* out-parameter.
//
//   Expected<PackedDibPtr> image = RenderFrame(samples, attributes, state);
//   if (!image) return image.Why();
//   Show(*image);
#pragma once

#include <utility>
#include <variant>

#include "io/Reason.h"

template <typename T>
class Expected {
public:
    // Deliberately implicit both ways, as std::expected: `return value;` and `return reason;`.
    Expected(T value) : m_state(std::in_place_index<0>, std::move(value)) {}   // NOLINT(google-explicit-constructor)
    Expected(Reason why) : m_state(std::in_place_index<1>, std::move(why)) {}  // NOLINT(google-explicit-constructor)
    template <ReasonCode E>
    Expected(E code) : Expected(Reason(code)) {}  // NOLINT(google-explicit-constructor)

    bool HasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return HasValue(); }

    // Only when HasValue().
    T& operator*() { return std::get<0>(m_state); }
    const T& operator*() const { return std::get<0>(m_state); }
    T* operator->() { return &std::get<0>(m_state); }
    const T* operator->() const { return &std::get<0>(m_state); }
    T Take() && { return std::move(std::get<0>(m_state)); }

    // Why there is no value; an empty reason when there is one.
    Reason Why() const { return HasValue() ? Reason() : std::get<1>(m_state); }

private:
    std::variant<T, Reason> m_state;
};

// Why something failed, as data: a code from the failing reader's or writer's own
// enumeration plus the details that make its words precise (a path, a system error
// number, up to six numbers such as a width and a height). An empty Reason means
// nothing failed.
//
// Every enumeration of codes comes with one function that gives the plain words,
// found by argument-dependent lookup:
//     std::string ReasonText(BmpFailure code, const Reason& reason);
// so that this folder knows nothing of the readers above it. Callers compare codes
// with Is(); only the user interface asks for Text().
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>

class Reason;

template <typename E>
concept ReasonCode = std::is_enum_v<E> && requires(E code, const Reason& reason) {
    { ReasonText(code, reason) } -> std::convertible_to<std::string>;
};

namespace reason_detail {

// One per enumeration: its address tells enumerations apart, its functions give the
// words and the code's name.
struct Kind {
    std::string (*text)(int code, const Reason& reason);
    const char* (*name)(int code);
};

template <typename E>
std::string TextOf(int code, const Reason& reason) {
    return ReasonText(static_cast<E>(code), reason);
}

// An enumeration may name its codes for machines (`info` prints them) with
//     const char* ReasonName(E code);
template <typename E>
const char* NameOf(int code) {
    if constexpr (requires { ReasonName(static_cast<E>(code)); }) {
        return ReasonName(static_cast<E>(code));
    } else {
        return nullptr;
    }
}

template <typename E>
inline constexpr Kind kKindOf{&TextOf<E>, &NameOf<E>};

}  // namespace reason_detail

class Reason {
public:
    Reason() = default;
    // Deliberately implicit: a function that returns a Reason can return a bare code.
    template <ReasonCode E>
    Reason(E code)  // NOLINT(google-explicit-constructor)
        : m_kind(&reason_detail::kKindOf<E>), m_code(static_cast<int>(code)) {}

    // Details, added to a fresh reason: Reason(code).About(path).Errno(errno).
    Reason About(std::string subject) && {
        m_subject = std::move(subject);
        return std::move(*this);
    }
    Reason Errno(int error) && {
        m_errno = error;
        return std::move(*this);
    }
    Reason Numbers(std::int64_t first, std::int64_t second = 0, std::int64_t third = 0, std::int64_t fourth = 0,
                   std::int64_t fifth = 0, std::int64_t sixth = 0) && {
        m_numbers = {first, second, third, fourth, fifth, sixth};
        return std::move(*this);
    }

    explicit operator bool() const { return m_kind != nullptr; }

    template <ReasonCode E>
    bool Is(E code) const {
        return m_kind == &reason_detail::kKindOf<E> && m_code == static_cast<int>(code);
    }
    // The code's number when it is one of E's, else -1: for handing a reason across
    // a boundary that only plain data passes.
    template <ReasonCode E>
    int CodeOf() const {
        return m_kind == &reason_detail::kKindOf<E> ? m_code : -1;
    }
    // Whether both carry the same code of the same enumeration, whatever their
    // details: for counting failures by kind.
    bool SameCode(const Reason& other) const { return m_kind == other.m_kind && m_code == other.m_code; }

    // The plain words; empty for an empty reason.
    std::string Text() const { return m_kind != nullptr ? m_kind->text(m_code, *this) : std::string(); }
    // The code's name for machines ("frame_outside"), when its enumeration names its
    // codes; otherwise "code N". Empty for an empty reason.
    std::string Name() const {
        if (m_kind == nullptr) return {};
        const char* name = m_kind->name(m_code);
        return name != nullptr ? std::string(name) : "code " + std::to_string(m_code);
    }

    const std::string& Subject() const { return m_subject; }
    int ErrorNumber() const { return m_errno; }
    std::int64_t First() const { return m_numbers[0]; }
    std::int64_t Second() const { return m_numbers[1]; }
    // Number `index` (0 to 5) as given to Numbers.
    std::int64_t Number(std::size_t index) const { return index < m_numbers.size() ? m_numbers[index] : 0; }

private:
    const reason_detail::Kind* m_kind = nullptr;
    int m_code = 0;
    int m_errno = 0;
    std::array<std::int64_t, 6> m_numbers{};
    std::string m_subject;
};

// For messages of failed test assertions and logs: the plain words.
inline std::ostream& operator<<(std::ostream& out, const Reason& reason) { return out << reason.Text(); }

// The system's words for an error number ("No such file or directory").
std::string SystemErrorText(int error);

// Stores `reason` in `why` when the caller asked for it.
inline void SetReason(Reason* why, Reason reason) {
    if (why != nullptr) {
        *why = std::move(reason);
    }
}

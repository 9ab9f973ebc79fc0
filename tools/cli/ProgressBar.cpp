#include "tools/cli/ProgressBar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace {

std::string Duration(double seconds) {
    auto whole = static_cast<long long>(std::ceil(seconds));
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

}  // namespace

ProgressBar::ProgressBar(std::FILE* stream, std::size_t total)
    : m_stream(stream),
      m_total(total),
      m_enabled(::isatty(::fileno(stream)) == 1),
      m_start(std::chrono::steady_clock::now()) {}

int ProgressBar::Columns() const {
    winsize size{};
    if (::ioctl(::fileno(m_stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

std::string ProgressBar::Line(std::size_t done, std::size_t total, double seconds, int columns) {
    char counts[96];
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    if (done == 0 || rate <= 0) {
        std::snprintf(counts, sizeof counts, "  %zu/%zu", done, total);
    } else {
        std::snprintf(counts, sizeof counts, "  %zu/%zu  %.1f files/s  %s left", done, total, rate,
                      Duration(static_cast<double>(total - std::min(done, total)) / rate).c_str());
    }
    std::string tail = counts;
    // The last column stays empty: writing there makes some terminals wrap.
    const int room = columns - 1 - static_cast<int>(tail.size()) - 2;
    if (room < 10) return tail.substr(2, static_cast<std::size_t>(std::max(columns - 1, 0)));
    const std::size_t width = static_cast<std::size_t>(room);
    const std::size_t filled = total == 0 ? width : width * std::min(done, total) / total;
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]" + tail;
}

void ProgressBar::Update(std::size_t done) {
    if (!m_enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (m_shown && done < m_total && now - m_lastDraw < std::chrono::milliseconds(100)) return;
    m_lastDraw = now;
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    std::fprintf(m_stream, "\r%s\033[K", Line(done, m_total, seconds, Columns()).c_str());
    std::fflush(m_stream);
    m_shown = true;
}

void ProgressBar::Clear() {
    if (!m_shown) return;
    std::fputs("\r\033[K", m_stream);
    std::fflush(m_stream);
    m_shown = false;
}

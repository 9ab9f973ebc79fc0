#include "views/CinePlayer.h"

#include <algorithm>
#include <cmath>

#include "dicom/DicomFile.h"

double CineRateOf(const CDicomFile& dicom) {
    if (dicom.m_dFrameTime > 0) return 1000.0 / dicom.m_dFrameTime;
    if (dicom.m_nCineRate > 0) return dicom.m_nCineRate;
    return kDefaultCineRate;
}

bool FileGivesCineRate(const CDicomFile& dicom) { return dicom.m_dFrameTime > 0 || dicom.m_nCineRate > 0; }

CCinePlayer::CCinePlayer(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CCinePlayer::Tick);
}

void CCinePlayer::SetRate(double framesPerSecond) {
    const double rate = std::clamp(std::isfinite(framesPerSecond) ? framesPerSecond : 10.0, 0.1, 240.0);
    if (IsPlaying()) {
        // The schedule restarts from now at the new rate.
        m_startMs = static_cast<double>(m_clock.nsecsElapsed()) / 1e6;
        m_due = 0;
        m_rate = rate;
        Schedule();
    } else {
        m_rate = rate;
    }
}

void CCinePlayer::Play() {
    if (IsPlaying()) return;
    m_clock.start();
    m_startMs = 0.0;
    m_due = 0;
    m_shown = 0;
    Schedule();
}

void CCinePlayer::Pause() { m_timer.stop(); }

void CCinePlayer::Schedule() {
    const double period = 1000.0 / m_rate;
    const double nowMs = static_cast<double>(m_clock.nsecsElapsed()) / 1e6;
    double dueMs = m_startMs + static_cast<double>(m_due + 1) * period;
    // Far behind (a busy machine, a modal dialog): start a new schedule rather than
    // rushing through the frames owed.
    if (nowMs - dueMs > 2 * period) {
        m_startMs = nowMs;
        m_due = 0;
        dueMs = nowMs + period;
    }
    m_timer.start(static_cast<int>(std::max(0.0, std::round(dueMs - nowMs))));
}

void CCinePlayer::Tick() {
    ++m_due;
    ++m_shown;
    Schedule();
    emit nextFrame();
}

// Cine: shows the frames of a multi-frame document one after another in a loop, at
// a rate that can change while it plays. Frames are due on a fixed schedule from
// the start, so that whole-millisecond timers do not drift from the rate (60 frames
// per second is 16.67 ms, not 16 or 17).
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class CDicomFile;

// Frames per second of a file: 1000 / Frame Time when it gives one, else Cine Rate,
// else kDefaultCineRate.
double CineRateOf(const CDicomFile& dicom);
// Whether the file gives its rate (a Frame Time or a Cine Rate).
bool FileGivesCineRate(const CDicomFile& dicom);
inline constexpr double kDefaultCineRate = 10.0;

class CCinePlayer : public QObject {
    Q_OBJECT
public:
    explicit CCinePlayer(QObject* parent = nullptr);

    bool IsPlaying() const { return m_timer.isActive(); }
    double Rate() const { return m_rate; }
    // Frames per second, clamped to 0.1 .. 240; takes effect from the next frame.
    void SetRate(double framesPerSecond);
    void Play();
    void Pause();

    // Frames shown since Play.
    qint64 FramesShown() const { return m_shown; }

signals:
    // Time for the next frame: the owner steps to it (wrapping to the first).
    void nextFrame();

private:
    void Tick();
    void Schedule();

    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_rate = 10.0;
    double m_startMs = 0.0;  // when frame m_due was due, on m_clock
    qint64 m_due = 0;
    qint64 m_shown = 0;
};

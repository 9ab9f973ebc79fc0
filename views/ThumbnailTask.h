// Thumbnails of series, made one after another on a thread of its own that gives
// way to the viewer: the middle slice of each stack, drawn with its own window and
// scaled to fit kSize x kSize. Each comes back on the receiver's thread by its key.
// A task that goes drops what is queued and waits for the one thumbnail being made.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "document/FrameStack.h"

class CThumbnailTask : public QObject {
    Q_OBJECT
public:
    static constexpr int kSize = 64;

    explicit CThumbnailTask(QObject* parent = nullptr);
    ~CThumbnailTask() override;

    // Queues the thumbnail of `stack` under `key`.
    void Request(const QString& key, std::shared_ptr<const FrameStack> stack);
    // The thumbnail of the middle frame of `stack`, made here and now; a null image
    // when that frame gives no picture, and then in `why` (when given) the sentence
    // that says so, naming its file.
    static QImage Make(const FrameStack& stack, QString* why = nullptr);

signals:
    // `why` is empty unless `image` is null because its frame gives no picture.
    void ready(const QString& key, const QImage& image, const QString& why);

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<QString, std::shared_ptr<const FrameStack>>> m_queue;
    bool m_stop = false;
    std::thread m_thread;
};

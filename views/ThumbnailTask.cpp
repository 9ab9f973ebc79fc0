#include "views/ThumbnailTask.h"

#include <QMetaObject>

#include <algorithm>

#include "document/DocumentFailure.h"
#include "document/DorvanelleDoc.h"
#include "document/FrameLoader.h"
#include "views/BackgroundPriority.h"
#include "views/DibImage.h"

CThumbnailTask::CThumbnailTask(QObject* parent) : QObject(parent) {}

CThumbnailTask::~CThumbnailTask() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CThumbnailTask::Request(const QString& key, std::shared_ptr<const FrameStack> stack) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.emplace_back(key, std::move(stack));
        // Started with the first thumbnail asked for.
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    }
    m_wake.notify_one();
}

QImage CThumbnailTask::Make(const FrameStack& stack, QString* why) {
    const std::int32_t middle = stack.Count() / 2;
    const auto fail = [&](const Reason& reason) {
        if (why != nullptr) {
            *why = QString::fromStdString(NoImageText(CDorvanelleDoc::FileTitle(stack.PathOf(middle)), reason));
        }
        return QImage();
    };
    Expected<StackFrame> opened = stack.Open(middle);
    if (!opened) return fail(opened.Why());
    if (Reason problem = opened->source->Check(opened->frame)) return fail(problem);
    // Read at the lowest resolution that still fills the thumbnail, where the codec
    // keeps such levels: a fraction of the whole frame's decode.
    const ImageAttributes& attributes = opened->source->Attributes();
    const int longer = std::max<int>(attributes.columns, attributes.rows);
    std::uint8_t reduce = 0;
    while (reduce < 8 && (longer >> (reduce + 1)) >= kSize)
        ++reduce;
    Expected<std::shared_ptr<const FrameSamples>> samples = opened->source->FrameReduced(opened->frame, reduce);
    if (!samples) return fail(samples.Why());
    const QRect picture(0, 0, (*samples)->columns, (*samples)->rows);
    LoadedFrame frame;
    frame.samples = std::move(samples).Take();
    frame.attributes = opened->source->SharedAttributes();
    frame.frameInFile = opened->frame;
    DrawLoadedFrame(frame, DisplayState());
    // The samples only: a picture's rows are padded to a multiple of four pixels.
    const QImage full = DibToImage(frame.image.get(), picture);
    if (full.isNull()) return {};
    return full.scaled(kSize, kSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void CThumbnailTask::Run() {
    GiveWayToTheViewer();
    for (;;) {
        std::pair<QString, std::shared_ptr<const FrameStack>> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop) return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        QString why;
        const QImage image = Make(*job.second, &why);
        QMetaObject::invokeMethod(
            this, [this, key = job.first, image, why] { emit ready(key, image, why); }, Qt::QueuedConnection);
    }
}

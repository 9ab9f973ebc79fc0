#include "views/FrameLoaderTask.h"

#include <QMetaObject>

CFrameLoaderTask::CFrameLoaderTask(std::shared_ptr<const FrameStack> stack, const DisplayState& display,
                                   QObject* parent, FrameLoader::Options options)
    : QObject(parent),
      m_loader(
          std::move(stack), display,
          [this](const LoadedFrame& frame) {
              // Posted: a task deleted before the event loop gets to it takes it along.
              QMetaObject::invokeMethod(
                  this, [this, frame] { emit frameArrived(frame); }, Qt::QueuedConnection);
          },
          options) {}

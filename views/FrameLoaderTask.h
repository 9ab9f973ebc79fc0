// The frame loader of one document, handing its frames to the thread of the object
// that owns it: a frame the document waits for arrives through frameArrived, on
// that thread, in the event loop's own time. The task goes with its owner without
// waiting for a read; a frame on its way then is dropped.
#pragma once

#include <QObject>

#include <memory>

#include "document/FrameLoader.h"

class CFrameLoaderTask : public QObject {
    Q_OBJECT
public:
    CFrameLoaderTask(std::shared_ptr<const FrameStack> stack, const DisplayState& display, QObject* parent = nullptr,
                     FrameLoader::Options options = FrameLoader::Options());

    FrameLoader& Loader() { return m_loader; }
    const FrameLoader& Loader() const { return m_loader; }

signals:
    void frameArrived(const LoadedFrame& frame);

private:
    // Declared last: it goes first, and nothing is handed over once it has gone.
    FrameLoader m_loader;
};

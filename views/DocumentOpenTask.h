// Opening a file whose data set is deflated, on a worker thread: the reader inflates
// the whole data set once to find where its elements and frames lie, which takes
// seconds for one of gigabytes. The window appears at once and says "decoding…";
// the document opens from what the worker found when it comes back, on the
// receiver's thread through a queued call. A task that goes (the window closes
// first) drops the result without waiting for the worker.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>

#include "document/DorvanelleDoc.h"

class CDocumentOpenTask {
public:
    using Done = std::function<void(const CDorvanelleDoc::PreparedOpen&)>;

    // `receiver` is the object on whose thread `done` runs.
    explicit CDocumentOpenTask(QObject* receiver) : m_receiver(receiver) {}
    ~CDocumentOpenTask() { Cancel(); }
    CDocumentOpenTask(const CDocumentOpenTask&) = delete;
    CDocumentOpenTask& operator=(const CDocumentOpenTask&) = delete;

    // Prepares the open of `path` on a worker; false when no thread can be had (the
    // caller then opens the file itself).
    bool Start(const std::string& path, Done done);
    // Drops the result of a running open. Returns at once.
    void Cancel();

    // While held, workers wait before they start: tests see the window as it is
    // before the data set has been inflated, and close it then.
    static void HoldWorkers(bool hold);

    struct Job;  // shared with the worker

private:
    QObject* m_receiver;
    std::shared_ptr<Job> m_job;
};

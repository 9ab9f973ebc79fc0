// One run of the study index on a thread of its own: folders, DICOMDIRs and files
// into patients, studies and series. Its progress, a tree of what has been read so
// far (about twice a second, so that a series can be opened before the whole folder
// is read) and its end come back on the receiver's thread. Cancel ends it soon and
// keeps what was read; a task that goes cancels and waits for its thread, which
// never waits longer than the header of one file.
#pragma once

#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>

#include "document/StudyIndex.h"

class CStudyIndexTask : public QObject {
    Q_OBJECT
public:
    explicit CStudyIndexTask(QObject* parent = nullptr);
    ~CStudyIndexTask() override;

    // Starts indexing `paths`; false when a run is going on.
    bool Start(const QStringList& paths);
    void Cancel();
    bool Running() const { return m_running.load(); }

signals:
    void progressed(const IndexProgress& progress);
    // What has been read so far, while the run goes on.
    void partial(std::shared_ptr<const StudyTree> tree);
    // The run ended (cancelled or not): the whole tree and the problems counted.
    void finished(std::shared_ptr<const IndexResult> result);

private:
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_running{false};
};

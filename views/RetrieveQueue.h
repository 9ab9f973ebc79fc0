// Retrieves studies and series one after the other into the cache folder (one
// folder per study under the user's cache), each by the network helper. Every file
// is announced as it arrives, so that what arrived can be shown before the rest.
// Cancel stops the retrieve under way (C-CANCEL; what arrived stays) and drops the
// ones waiting.
#pragma once

#include <QObject>
#include <QString>

#include <deque>

#include "views/DicomServers.h"
#include "views/NetJob.h"

struct CRetrieveItem {
    int id = 0;
    CDicomServer server;
    QString studyUid;
    QString seriesUid;  // empty: the whole study
    QString label;      // what it is, in words
    bool open = false;  // show the first series as it arrives
};

class CRetrieveQueue : public QObject {
    Q_OBJECT
public:
    // Files go under `folder`: <folder>/<study UID>/<instance UID>.dcm.
    explicit CRetrieveQueue(QString folder, QObject* parent = nullptr);

    // The folder under the user's cache where retrieved studies go.
    static QString DefaultFolder();
    const QString& Folder() const { return m_folder; }

    // Queues a retrieve; gives its id.
    int Add(CRetrieveItem item);
    void Cancel();
    bool Busy() const { return m_job != nullptr; }
    int Waiting() const { return static_cast<int>(m_waiting.size()); }

signals:
    void started(const CRetrieveItem& item);
    void progressed(const CRetrieveItem& item, int stored, int total, int failed);
    void fileStored(const CRetrieveItem& item, const QString& path);
    void finished(const CRetrieveItem& item, const CNetOutcome& outcome);
    // Nothing runs or waits any more.
    void idle();

private:
    void StartNext();

    QString m_folder;
    std::deque<CRetrieveItem> m_waiting;
    CRetrieveItem m_current;
    CNetJob* m_job = nullptr;
    int m_nextId = 1;
};

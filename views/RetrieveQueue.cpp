#include "views/RetrieveQueue.h"

#include <QDir>
#include <QStandardPaths>

CRetrieveQueue::CRetrieveQueue(QString folder, QObject* parent) : QObject(parent), m_folder(std::move(folder)) {}

QString CRetrieveQueue::DefaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/retrieved");
}

int CRetrieveQueue::Add(CRetrieveItem item) {
    const int id = m_nextId++;
    item.id = id;
    m_waiting.push_back(std::move(item));
    if (m_job == nullptr) StartNext();
    return id;
}

void CRetrieveQueue::Cancel() {
    m_waiting.clear();
    if (m_job != nullptr) m_job->Cancel();
}

void CRetrieveQueue::StartNext() {
    if (m_waiting.empty()) {
        emit idle();
        return;
    }
    m_current = std::move(m_waiting.front());
    m_waiting.pop_front();
    QDir().mkpath(m_folder);
    m_job = new CNetJob(this);
    connect(m_job, &CNetJob::retrieveProgress, this,
            [this](int stored, int total, int failed) { emit progressed(m_current, stored, total, failed); });
    connect(m_job, &CNetJob::fileStored, this, [this](const QString& path) { emit fileStored(m_current, path); });
    connect(m_job, &CNetJob::finished, this, [this](const CNetOutcome& outcome) {
        m_job->deleteLater();
        m_job = nullptr;
        const CRetrieveItem done = m_current;
        emit finished(done, outcome);
        StartNext();
    });
    emit started(m_current);
    m_job->Retrieve(m_current.server, m_current.studyUid, m_current.seriesUid, m_folder);
}

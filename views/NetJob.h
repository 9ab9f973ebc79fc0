// One network operation (echo, find, get or send) run by the network helper,
// dorvanelle-net, as a child process: the viewer never loads DCMTK's network
// libraries, the work happens outside its threads, and whatever a server sends
// cannot bring the viewer down. The helper writes one JSON object per line as
// things happen (tools/cli/NetEvents.h); the job turns them into signals on the
// thread that made it. Cancel asks the helper to stop (it sends C-CANCEL and keeps
// what arrived); a helper that has not ended a while later is killed.
#pragma once

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "views/DicomServers.h"

class QTimer;

// How an operation ended.
struct CNetOutcome {
    QString failure;  // why it ended early or failed, in words; empty when it went through
    bool cancelled = false;
    QJsonObject counts;  // the helper's last line: "matches", "files", "stored", "refused"...
    int Count(const char* key) const { return counts.value(QLatin1String(key)).toInt(); }
    QString Text(const char* key) const { return counts.value(QLatin1String(key)).toString(); }
};

// The match of a C-FIND: attribute keyword to value text.
using CFoundValues = QMap<QString, QString>;

class CNetJob : public QObject {
    Q_OBJECT
public:
    explicit CNetJob(QObject* parent = nullptr);
    ~CNetJob() override;

    // Each starts the helper; false (and `finished` soon after, with the reason)
    // when it cannot be started.
    void Echo(const CDicomServer& server);
    // `keys` are "Keyword=value" as the command line takes them.
    void Find(const CDicomServer& server, const QString& level, const QStringList& keys, int limit);
    // Into `folder`, one folder per study; `seriesUid` empty for the whole study.
    void Retrieve(const CDicomServer& server, const QString& studyUid, const QString& seriesUid, const QString& folder);
    void Send(const CDicomServer& server, const QStringList& files);

    void Cancel();
    bool Running() const;

    // Where the helper is looked for: beside the program, then where it is installed.
    static QString HelperPath();

signals:
    void matchFound(const CFoundValues& values);
    // Files written so far and, once the server says, how many the retrieve holds.
    void retrieveProgress(int stored, int total, int failed);
    void fileStored(const QString& path);
    void fileSent(int index, bool stored, const QString& problem);
    // Always the last signal of a job, once.
    void finished(const CNetOutcome& outcome);

private:
    void Start(const QStringList& arguments, const QByteArray& input = {});
    void ReadLines();
    void Handle(const QJsonObject& event);
    void OnProcessFinished(int exitCode, QProcess::ExitStatus status);
    void OnProcessError(QProcess::ProcessError error);
    void Finish(const CNetOutcome& outcome);

    QProcess* m_process = nullptr;
    QTimer* m_killTimer = nullptr;
    QString m_folder;  // a retrieve's output folder: stored paths are relative to it
    QByteArray m_pending;
    QByteArray m_errors;  // the end of what it said on standard error
    bool m_ended = false;     // the helper's "end" line arrived
    bool m_finished = false;  // `finished` was emitted
    CNetOutcome m_outcome;
};

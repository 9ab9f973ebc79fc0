#include "views/NetJob.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTimer>

#include <string>

#include "codecs/ModuleFolders.h"

namespace {

constexpr const char* kHelperName = "dorvanelle-net";
// After Cancel, the helper sends C-CANCEL and waits for the server's last reply,
// which a live server gives at once; one that ignores it, or a host that does not
// answer at all, would keep the job going, so the helper is ended then.
constexpr int kCancelGraceMs = 5000;
// The helper's lines are short; a longer one is not ours.
constexpr qsizetype kMaxLine = 8 << 20;
constexpr qsizetype kMaxErrorText = 4096;

}  // namespace

CNetJob::CNetJob(QObject* parent) : QObject(parent) {}

CNetJob::~CNetJob() {
    if (!Running()) return;
    // A job that goes while it runs cancels it; the files that arrived stay whole.
    disconnect(m_process, nullptr, this, nullptr);
    m_process->terminate();
    if (!m_process->waitForFinished(3000)) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

QString CNetJob::HelperPath() {
    for (const std::string& folder : ModuleFolders()) {
        QString path = QFile::decodeName(QByteArray::fromStdString(folder)) + QLatin1Char('/') +
                             QLatin1String(kHelperName);
        if (QFileInfo(path).isExecutable()) return path;
    }
    return {};
}

bool CNetJob::Running() const { return m_process != nullptr && m_process->state() != QProcess::NotRunning; }

void CNetJob::Echo(const CDicomServer& server) {
    Start(QStringList{QStringLiteral("echo")} + server.HelperArguments());
}

void CNetJob::Find(const CDicomServer& server, const QString& level, const QStringList& keys, int limit) {
    QStringList arguments{QStringLiteral("find")};
    arguments << server.HelperArguments() << QStringLiteral("--level") << level << QStringLiteral("--limit")
              << QString::number(limit) << QStringLiteral("--") << keys;
    Start(arguments);
}

void CNetJob::Retrieve(const CDicomServer& server, const QString& studyUid, const QString& seriesUid,
                       const QString& folder) {
    m_folder = folder;
    QStringList arguments{QStringLiteral("get")};
    arguments << server.HelperArguments() << QStringLiteral("--out-dir") << folder;
    if (!studyUid.isEmpty()) arguments << QStringLiteral("--study") << studyUid;
    if (!seriesUid.isEmpty()) arguments << QStringLiteral("--series") << seriesUid;
    if (server.move) arguments << QStringLiteral("--move-to-port") << QString::number(server.movePort);
    Start(arguments);
}

void CNetJob::Send(const CDicomServer& server, const QStringList& files) {
    // The paths go on standard input, each ended by NUL: any number of them, any bytes.
    QByteArray list;
    for (const QString& file : files) {
        list += QFile::encodeName(file);
        list += '\0';
    }
    Start(QStringList{QStringLiteral("send")} + server.HelperArguments() +
              QStringList{QStringLiteral("--files0-from"), QStringLiteral("-")},
          list);
}

void CNetJob::Start(const QStringList& arguments, const QByteArray& input) {
    m_pending.clear();
    m_errors.clear();
    m_ended = false;
    m_finished = false;
    m_outcome = {};
    const QString helper = HelperPath();
    if (helper.isEmpty()) {
        CNetOutcome outcome;
        outcome.failure = QStringLiteral("The network commands are not installed (%1 was not found).")
                              .arg(QLatin1String(kHelperName));
        QMetaObject::invokeMethod(this, [this, outcome] { Finish(outcome); }, Qt::QueuedConnection);
        return;
    }
    delete m_process;
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &CNetJob::ReadLines);
    // Its words for people, kept for when it ends without its last line.
    connect(m_process, &QProcess::readyReadStandardError, this, [this] {
        m_errors += m_process->readAllStandardError();
        if (m_errors.size() > kMaxErrorText) m_errors = m_errors.right(kMaxErrorText);
    });
    connect(m_process, &QProcess::finished, this, &CNetJob::OnProcessFinished);
    connect(m_process, &QProcess::errorOccurred, this, &CNetJob::OnProcessError);
    m_process->start(helper, QStringList{arguments.front(), QStringLiteral("--events")} + arguments.mid(1));
    if (!input.isEmpty()) m_process->write(input);
    m_process->closeWriteChannel();
}

void CNetJob::Cancel() {
    if (!Running()) return;
    m_process->terminate();
    if (m_killTimer == nullptr) {
        m_killTimer = new QTimer(this);
        m_killTimer->setSingleShot(true);
        connect(m_killTimer, &QTimer::timeout, this, [this] {
            if (Running()) m_process->kill();
        });
    }
    m_killTimer->start(kCancelGraceMs);
    m_outcome.cancelled = true;
}

void CNetJob::ReadLines() {
    m_pending += m_process->readAllStandardOutput();
    qsizetype start = 0;
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n', start)) {
        const QJsonDocument line = QJsonDocument::fromJson(m_pending.mid(start, end - start));
        start = end + 1;
        if (line.isObject()) Handle(line.object());
    }
    m_pending.remove(0, start);
    if (m_pending.size() > kMaxLine) m_pending.clear();
}

void CNetJob::Handle(const QJsonObject& event) {
    const QString kind = event.value(QLatin1String("event")).toString();
    if (kind == QLatin1String("match")) {
        CFoundValues values;
        const QJsonObject found = event.value(QLatin1String("values")).toObject();
        for (auto it = found.begin(); it != found.end(); ++it)
            values.insert(it.key(), it.value().toString());
        emit matchFound(values);
    } else if (kind == QLatin1String("progress")) {
        emit retrieveProgress(event.value(QLatin1String("stored")).toInt(), event.value(QLatin1String("total")).toInt(),
                              event.value(QLatin1String("failed")).toInt());
    } else if (kind == QLatin1String("file")) {
        emit fileStored(QDir::cleanPath(QDir(m_folder).filePath(event.value(QLatin1String("path")).toString())));
    } else if (kind == QLatin1String("sent")) {
        emit fileSent(event.value(QLatin1String("index")).toInt(), event.value(QLatin1String("stored")).toBool(),
                      event.value(QLatin1String("problem")).toString());
    } else if (kind == QLatin1String("end")) {
        m_ended = true;
        m_outcome.failure = event.value(QLatin1String("failure")).toString();
        m_outcome.cancelled = event.value(QLatin1String("cancelled")).toBool();
        m_outcome.counts = event;
    }
}

void CNetJob::OnProcessFinished(int exitCode, QProcess::ExitStatus status) {
    ReadLines();
    if (m_killTimer != nullptr) m_killTimer->stop();
    CNetOutcome outcome = m_outcome;
    if (!m_ended) {
        if (outcome.cancelled) {
            outcome.failure = QStringLiteral("cancelled");
        } else if (status == QProcess::CrashExit) {
            outcome.failure = QStringLiteral("The network helper ended unexpectedly.");
        } else {
            // Its own words, without the program's name in front.
            QString said = QString::fromUtf8(m_errors).trimmed();
            said.replace(QStringLiteral("dorvanelle-cli: "), QString());
            outcome.failure = said.isEmpty()
                                  ? QStringLiteral("The network helper ended without an answer (exit status %1).").arg(exitCode)
                                  : said;
        }
    }
    Finish(outcome);
}

void CNetJob::OnProcessError(QProcess::ProcessError error) {
    // A helper that ran reports through OnProcessFinished.
    if (error != QProcess::FailedToStart) return;
    CNetOutcome outcome;
    outcome.failure = QStringLiteral("The network helper could not be started: %1").arg(m_process->errorString());
    Finish(outcome);
}

void CNetJob::Finish(const CNetOutcome& outcome) {
    if (m_finished) return;
    m_finished = true;
    emit finished(outcome);
}

#include "views/StudyIndexTask.h"

#include <QMetaObject>
#include <QPointer>

#include <chrono>

namespace {

// How often the tree read so far is handed over while the files are read.
constexpr auto kPartialPeriod = std::chrono::milliseconds(500);

}  // namespace

CStudyIndexTask::CStudyIndexTask(QObject* parent) : QObject(parent) {}

CStudyIndexTask::~CStudyIndexTask() { Cancel(); }

bool CStudyIndexTask::Start(const QStringList& paths) {
    if (m_running.load()) return false;
    if (m_thread.joinable()) m_thread.join();  // the last run has ended: only its thread is left
    std::vector<std::string> list;
    list.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths)
        list.push_back(path.toStdString());
    m_cancel = false;
    m_running = true;
    m_thread = std::thread([this, list = std::move(list)] {
        // Declared before the options that point at it: the progress call takes
        // snapshots of it.
        std::unique_ptr<StudyIndexer> indexer;
        auto lastPartial = std::chrono::steady_clock::now();
        std::size_t readAtLastPartial = 0;
        IndexOptions options;
        options.cancel = &m_cancel;
        options.progress = [&](const IndexProgress& progress) {
            QMetaObject::invokeMethod(
                this, [this, progress] { emit progressed(progress); }, Qt::QueuedConnection);
            const auto now = std::chrono::steady_clock::now();
            if (!progress.listing && progress.read > readAtLastPartial && now - lastPartial >= kPartialPeriod) {
                lastPartial = now;
                readAtLastPartial = progress.read;
                auto tree = std::make_shared<const StudyTree>(indexer->Snapshot());
                QMetaObject::invokeMethod(
                    this, [this, tree] { emit partial(tree); }, Qt::QueuedConnection);
            }
        };
        indexer = std::make_unique<StudyIndexer>(options);
        auto result = std::make_shared<const IndexResult>(indexer->Run(list));
        QMetaObject::invokeMethod(
            this,
            [this, result] {
                m_running = false;
                emit finished(result);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void CStudyIndexTask::Cancel() {
    m_cancel = true;
    if (m_thread.joinable()) m_thread.join();
    m_running = false;
}

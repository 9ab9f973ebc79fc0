#include "views/RetrievedStudyFeed.h"

#include <QTimer>

#include "views/RetrieveQueue.h"
#include "views/StudyBrowser.h"

namespace {

// Files of a fast retrieve come hundreds a second: the study is read again at most
// this often, each time from the files stored by then.
constexpr int kRefreshMs = 500;

}  // namespace

CRetrievedStudyFeed::CRetrievedStudyFeed(CStudyBrowser& browser, CRetrieveQueue& queue, QObject* parent)
    : QObject(parent), m_browser(browser), m_timer(new QTimer(this)) {
    m_timer->setSingleShot(true);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &CRetrievedStudyFeed::Refresh);
    connect(&queue, &CRetrieveQueue::fileStored, this, &CRetrievedStudyFeed::OnFileStored);
    // The last files of a retrieve show at once, not a moment later.
    connect(&queue, &CRetrieveQueue::finished, this, [this] {
        m_timer->stop();
        Refresh();
    });
}

int CRetrievedStudyFeed::EntryOf(const QString& studyUid) const {
    const auto found = m_studies.constFind(studyUid);
    return found == m_studies.constEnd() ? 0 : found->entry;
}

void CRetrievedStudyFeed::OnFileStored(const CRetrieveItem& item, const QString& path) {
    Study& study = m_studies[item.studyUid];
    if (study.known.contains(path)) return;  // the same instance again replaces its file
    study.known.insert(path);
    study.files << path;
    if (study.entry == 0) {
        study.entry = m_browser.Index(study.files, QStringLiteral("Retrieved from %1").arg(item.server.Label()));
        m_browser.show();
        m_browser.raise();
        return;
    }
    study.changed = true;
    if (!m_timer->isActive()) m_timer->start();
}

void CRetrievedStudyFeed::Refresh() {
    for (Study& study : m_studies) {
        if (!study.changed) continue;
        study.changed = false;
        m_browser.IndexAgain(study.entry, study.files);
    }
}

// Puts what a retrieve brings into the study browser as it arrives: one browser
// entry per study, read again from the files stored so far a moment after each new
// one (at once for the first file and when the retrieve ends), so that a series
// shows there while the rest of it is still on its way. Only files the network
// helper reported complete are read: a file still arriving is never indexed.
#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class CRetrieveQueue;
class CStudyBrowser;
class QTimer;
struct CRetrieveItem;

class CRetrievedStudyFeed : public QObject {
    Q_OBJECT
public:
    CRetrievedStudyFeed(CStudyBrowser& browser, CRetrieveQueue& queue, QObject* parent = nullptr);

    // The browser entry of a study retrieved in this session; 0 before any file of it.
    int EntryOf(const QString& studyUid) const;

private:
    struct Study {
        int entry = 0;
        QStringList files;
        QSet<QString> known;
        bool changed = false;
    };

    void OnFileStored(const CRetrieveItem& item, const QString& path);
    // Reads again the studies that have new files.
    void Refresh();

    CStudyBrowser& m_browser;
    QHash<QString, Study> m_studies;  // by study UID
    QTimer* m_timer = nullptr;
};

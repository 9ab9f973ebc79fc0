// The study browser: a dock with what the study index found in the folders, DICOMDIRs
// and files the user opened, one entry each, as a tree Patient > Study (date,
// description, accession) > Series (modality, number, description, images, and a
// thumbnail of its middle image, made in the background). A series whose images
// split into several stacks lists the stacks split off under it, with why; files
// without an image and files a DICOMDIR names but that are missing are listed under
// their series; files that could not be read are counted by reason.
//
// While an index runs, the status bar shows its progress and a Cancel button, and
// the tree fills in with what has been read so far: a series can be opened (double
// click, or Enter) before the whole folder is read.
#pragma once

#include <QDockWidget>
#include <QHash>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>

#include "document/SeriesStack.h"
#include "document/StudyIndex.h"

class CStudyIndexTask;
class CThumbnailTask;
class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

class CStudyBrowser : public QDockWidget {
    Q_OBJECT
public:
    // Columns of the tree.
    enum Column { kName, kModality, kNumber, kImages, kDate, kAccession, kColumns };

    // The progress of an index goes into `statusBar`.
    explicit CStudyBrowser(QStatusBar* statusBar, QWidget* parent = nullptr);
    ~CStudyBrowser() override;

    // Indexes `paths` (folders, DICOMDIRs, files) as one entry of the browser, shown
    // as `label`; returns its number. Paths an entry already lists (the same folder
    // opened again, by any spelling of its name) read that entry again instead: the
    // browser lists each folder once, as it is now.
    int Index(const QStringList& paths, const QString& label);
    // Reads entry `number` again over `paths` (more files of it arrived, say): the
    // entry keeps its place, what was unfolded and what was chosen. While a read of
    // it runs, the newest paths wait for it to end.
    void IndexAgain(int number, const QStringList& paths);
    // Cancels every index that runs: what was read is kept.
    void Cancel();
    bool Indexing() const;

    QTreeWidget* Tree() const { return m_tree; }
    // The tree of entry `number` as far as it has been read; null before any.
    std::shared_ptr<const StudyTree> TreeOf(int number) const;
    // How the index of entry `number` ended; null while it runs.
    std::shared_ptr<const IndexResult> ResultOf(int number) const;
    // The main stack of the first series of entry `number` that shows an image: its
    // first slice is there to be drawn (its file opens and holds that slice's bytes).
    // Null when none does: the tree then says why for each.
    std::shared_ptr<SeriesStack> FirstStack(int number) const;
    // The stack an item of the tree stands for (a series: its main stack; a stack
    // split off); null for other items.
    std::shared_ptr<SeriesStack> StackOf(const QTreeWidgetItem* item) const;
    // The item of the series `seriesUid`, stack `stack`, in entry `number`; null when none.
    QTreeWidgetItem* SeriesItem(int number, const QString& seriesUid, int stack = 0) const;
    // The width that shows a series row whole: its place in the tree, its thumbnail, a
    // description of a usual length and the other columns.
    int PreferredWidth() const;
    // Thumbnails received so far.
    int ThumbnailCount() const { return static_cast<int>(m_thumbnails.size()); }

signals:
    // The user chose a stack to open.
    void stackChosen(std::shared_ptr<SeriesStack> stack);
    // An index ended (cancelled or not).
    void indexFinished(int number);
    // A thumbnail arrived (for tests and the bench).
    void thumbnailArrived();

private:
    struct Entry {
        QString label;
        QStringList sources;  // the paths indexed, canonical and sorted
        QTreeWidgetItem* root = nullptr;
        QStringList again;  // paths to read once the run under way ends
        bool readAgain = false;
        CStudyIndexTask* task = nullptr;
        std::shared_ptr<const StudyTree> tree;
        std::shared_ptr<const IndexResult> result;
        IndexProgress progress;
        // Series seen by key with their instance count: a thumbnail is asked for once
        // the count stays the same between two trees, or the index has ended.
        QHash<QString, std::size_t> seen;
    };

    void Show(int number);
    void FillSeries(QTreeWidgetItem* parent, int number, const Series& series);
    void ShowNoPicture(QTreeWidgetItem* item, const QString& key);
    void FillProblems(QTreeWidgetItem* root, const std::vector<ProblemCount>& problems);
    void AskThumbnails(int number, bool ended);
    void ShowProgress();
    void OnActivated(QTreeWidgetItem* item);
    const Series* FindSeries(int number, const QString& seriesUid) const;

    QTreeWidget* m_tree = nullptr;
    QPointer<QWidget> m_progressBox;  // in the status bar, which may go first
    QLabel* m_progressText = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QPushButton* m_cancel = nullptr;
    CThumbnailTask* m_thumbnailTask = nullptr;
    std::map<int, Entry> m_entries;
    int m_nextEntry = 1;
    QHash<QString, QIcon> m_thumbnails;  // by "entry/series UID#stack"
    QHash<QString, bool> m_thumbnailAsked;
    QHash<QString, QString> m_noPicture;  // why a stack's thumbnail could not be drawn, by its key
};

#include "views/StudyBrowser.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTreeWidget>

#include <iterator>

#include "dicom/FrameSource.h"
#include "views/StudyIndexTask.h"
#include "views/ThumbnailTask.h"

namespace {

// What an item of the tree stands for.
constexpr int kEntryRole = Qt::UserRole;       // the entry's number (every item)
constexpr int kSeriesRole = Qt::UserRole + 1;  // the series UID (series and stacks)
constexpr int kStackRole = Qt::UserRole + 2;   // the stack's index (series and stacks)
constexpr int kNoPictureRole = Qt::UserRole + 3;  // set on the row that says why a stack shows no picture

// The index gives its texts in UTF-8, and file names are UTF-8 here too.
QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString DateText(const std::string& date) {
    if (date.size() == 8 && date.find_first_not_of("0123456789") == std::string::npos) {
        return Utf8(date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2));
    }
    return Utf8(date);
}

QString FileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return Utf8(slash == std::string::npos ? path : path.substr(slash + 1));
}

QString Key(int entry, const QString& seriesUid, int stack) {
    return QStringLiteral("%1/%2#%3").arg(entry).arg(seriesUid).arg(stack);
}

QString PatientText(const SeriesLevel& level) {
    QString text = Utf8(level.patientName);
    if (text.isEmpty()) text = QStringLiteral("(no name)");
    if (!level.patientId.empty()) text += QStringLiteral(" (%1)").arg(Utf8(level.patientId));
    return text;
}

QString StudyText(const SeriesLevel& level) {
    if (!level.studyDescription.empty()) return Utf8(level.studyDescription);
    if (!level.studyId.empty()) return QStringLiteral("Study %1").arg(Utf8(level.studyId));
    return QStringLiteral("Study");
}

QString SeriesText(const SeriesLevel& level) {
    if (!level.seriesDescription.empty()) return Utf8(level.seriesDescription);
    return level.seriesNumber ? QStringLiteral("Series %1").arg(*level.seriesNumber) : QStringLiteral("Series");
}

// The paths of an entry as one key: each by its canonical name (the name as given,
// made absolute, for one that is not there), in order.
QStringList Sources(const QStringList& paths) {
    QStringList sources;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        const QString canonical = info.canonicalFilePath();
        sources << (canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical);
    }
    sources.sort();
    sources.removeDuplicates();
    return sources;
}

QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, int entry, const QString& name) {
    auto* item = new QTreeWidgetItem(parent);
    item->setText(CStudyBrowser::kName, name);
    item->setData(CStudyBrowser::kName, kEntryRole, entry);
    return item;
}

}  // namespace

CStudyBrowser::CStudyBrowser(QStatusBar* statusBar, QWidget* parent) : QDockWidget(parent) {
    setObjectName(QStringLiteral("studyBrowserDock"));
    setWindowTitle(QStringLiteral("Studies"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("studyTree"));
    m_tree->setColumnCount(kColumns);
    m_tree->setHeaderLabels({QStringLiteral("Description"), QStringLiteral("Modality"), QStringLiteral("Number"),
                             QStringLiteral("Images"), QStringLiteral("Date"), QStringLiteral("Accession")});
    m_tree->setIconSize(QSize(CThumbnailTask::kSize, CThumbnailTask::kSize));
    m_tree->setUniformRowHeights(false);
    // Every column as wide as what it shows, the thumbnails and descriptions first: a
    // narrow browser scrolls to the other columns rather than cutting them.
    m_tree->header()->setStretchLastSection(false);
    for (int column = kName; column < kColumns; ++column)
        m_tree->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    setWidget(m_tree);
    // Double click, or Enter on the current item.
    connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) { OnActivated(item); });

    m_progressBox = new QWidget(statusBar ? static_cast<QWidget*>(statusBar) : this);
    m_progressBox->setObjectName(QStringLiteral("indexProgress"));
    auto* layout = new QHBoxLayout(m_progressBox);
    layout->setContentsMargins(0, 0, 0, 0);
    m_progressText = new QLabel(m_progressBox);
    m_progressBar = new QProgressBar(m_progressBox);
    m_progressBar->setMaximumWidth(160);
    m_progressBar->setTextVisible(false);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), m_progressBox);
    m_cancel->setObjectName(QStringLiteral("indexCancel"));
    layout->addWidget(m_progressText);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_cancel);
    connect(m_cancel, &QPushButton::clicked, this, &CStudyBrowser::Cancel);
    m_progressBox->hide();
    if (statusBar) {
        statusBar->addWidget(m_progressBox);
    } else {
        m_progressBox.clear();  // nowhere to show progress: the widget stays hidden with the dock
    }

    m_thumbnailTask = new CThumbnailTask(this);
    connect(m_thumbnailTask, &CThumbnailTask::ready, this,
            [this](const QString& key, const QImage& image, const QString& why) {
                const QIcon icon = image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
                m_thumbnails.insert(key, icon);
                if (why.isEmpty()) {
                    m_noPicture.remove(key);
                } else {
                    m_noPicture.insert(key, why);
                }
                // The key names the entry, the series and the stack.
                const int slash = static_cast<int>(key.indexOf(QLatin1Char('/')));
                const int hash = static_cast<int>(key.lastIndexOf(QLatin1Char('#')));
                if (QTreeWidgetItem* item = SeriesItem(key.left(slash).toInt(), key.mid(slash + 1, hash - slash - 1),
                                                       key.mid(hash + 1).toInt())) {
                    item->setIcon(kName, icon);
                    ShowNoPicture(item, key);
                }
                emit thumbnailArrived();
            });
}

// The progress widgets belong to the status bar; they go with the browser.
CStudyBrowser::~CStudyBrowser() { delete m_progressBox.data(); }

int CStudyBrowser::PreferredWidth() const {
    const QFontMetrics metrics = m_tree->fontMetrics();
    // A series sits under the entry, its patient and its study, each a step in.
    constexpr int kSeriesDepth = 4;
    int width = kSeriesDepth * m_tree->indentation() + m_tree->iconSize().width() +
                metrics.horizontalAdvance(QStringLiteral("Axial series description"));
    const QHeaderView* header = m_tree->header();
    for (int column = kModality; column < kColumns; ++column)
        width += header->sectionSizeHint(column);
    // Dates and accession numbers are wider than their titles.
    width += metrics.horizontalAdvance(QStringLiteral("0000-00-00 ACC00000000"));
    return width + 2 * m_tree->frameWidth() + m_tree->verticalScrollBar()->sizeHint().width();
}

int CStudyBrowser::Index(const QStringList& paths, const QString& label) {
    const QStringList sources = Sources(paths);
    for (auto& [listed, entry] : m_entries) {
        if (entry.sources != sources) continue;
        // Read again from what is there now; thumbnails are made again from it too.
        entry.label = label;
        entry.seen.clear();
        const QString prefix = QStringLiteral("%1/").arg(listed);
        for (auto it = m_thumbnailAsked.begin(); it != m_thumbnailAsked.end();) {
            it = it.key().startsWith(prefix) ? m_thumbnailAsked.erase(it) : std::next(it);
        }
        m_tree->setCurrentItem(entry.root);
        IndexAgain(listed, paths);
        return listed;
    }
    const int number = m_nextEntry++;
    Entry& entry = m_entries[number];
    entry.label = label;
    entry.sources = sources;
    entry.root = new QTreeWidgetItem(m_tree);
    entry.root->setData(kName, kEntryRole, number);
    entry.root->setText(kName, label);
    entry.root->setExpanded(true);
    entry.task = new CStudyIndexTask(this);
    connect(entry.task, &CStudyIndexTask::progressed, this, [this, number](const IndexProgress& progress) {
        m_entries[number].progress = progress;
        ShowProgress();
    });
    connect(entry.task, &CStudyIndexTask::partial, this, [this, number](std::shared_ptr<const StudyTree> tree) {
        Entry& e = m_entries[number];
        if (e.result) return;  // the whole tree came first
        e.tree = std::move(tree);
        Show(number);
        AskThumbnails(number, false);
    });
    connect(entry.task, &CStudyIndexTask::finished, this, [this, number](std::shared_ptr<const IndexResult> result) {
        Entry& e = m_entries[number];
        e.result = result;
        e.tree = std::shared_ptr<const StudyTree>(result, &result->tree);
        Show(number);
        AskThumbnails(number, true);
        ShowProgress();
        emit indexFinished(number);
        if (e.readAgain) IndexAgain(number, e.again);
    });
    m_tree->setCurrentItem(entry.root);
    entry.task->Start(paths);
    ShowProgress();
    return number;
}

void CStudyBrowser::IndexAgain(int number, const QStringList& paths) {
    const auto found = m_entries.find(number);
    if (found == m_entries.end()) return;
    Entry& entry = found->second;
    if (entry.task->Running()) {
        entry.again = paths;
        entry.readAgain = true;
        return;
    }
    entry.again.clear();
    entry.readAgain = false;
    // The tree shown stays until the new read gives its first part.
    entry.result.reset();
    entry.task->Start(paths);
    ShowProgress();
}

void CStudyBrowser::Cancel() {
    for (auto& [number, entry] : m_entries) {
        if (entry.task->Running()) entry.task->Cancel();
    }
    // The runs end through their queued `finished`, which fills in what was read.
}

bool CStudyBrowser::Indexing() const {
    for (const auto& [number, entry] : m_entries) {
        if (!entry.result) return true;
    }
    return false;
}

std::shared_ptr<const StudyTree> CStudyBrowser::TreeOf(int number) const {
    const auto found = m_entries.find(number);
    return found == m_entries.end() ? nullptr : found->second.tree;
}

std::shared_ptr<const IndexResult> CStudyBrowser::ResultOf(int number) const {
    const auto found = m_entries.find(number);
    return found == m_entries.end() ? nullptr : found->second.result;
}

void CStudyBrowser::ShowProgress() {
    std::size_t found = 0;
    std::size_t read = 0;
    bool listing = false;
    QString label;
    for (const auto& [number, entry] : m_entries) {
        if (entry.result) continue;
        found += entry.progress.found;
        read += entry.progress.read;
        listing = listing || entry.progress.listing;
        label = entry.label;
    }
    if (!m_progressBox) return;
    if (label.isEmpty()) {
        m_progressBox->hide();
        return;
    }
    if (listing) {
        m_progressText->setText(QStringLiteral("Looking for files in %1: %2 found").arg(label).arg(found));
        m_progressBar->setRange(0, 0);
    } else {
        m_progressText->setText(QStringLiteral("Reading %1: %2 of %3 files").arg(label).arg(read).arg(found));
        m_progressBar->setRange(0, static_cast<int>(std::min<std::size_t>(found, 1 << 30)));
        m_progressBar->setValue(static_cast<int>(std::min(read, found)));
    }
    m_progressBox->show();
}

void CStudyBrowser::Show(int number) {
    Entry& entry = m_entries[number];
    // The tree is laid out again from the new one; what was open and chosen stays.
    QString current;
    if (QTreeWidgetItem* item = m_tree->currentItem()) {
        if (item->data(kName, kEntryRole).toInt() == number && !item->data(kName, kSeriesRole).isNull()) {
            current = Key(number, item->data(kName, kSeriesRole).toString(), item->data(kName, kStackRole).toInt());
        }
    }
    QHash<QString, bool> collapsed;
    for (int p = 0; p < entry.root->childCount(); ++p) {
        QTreeWidgetItem* patient = entry.root->child(p);
        if (!patient->isExpanded()) collapsed.insert(QStringLiteral("p") + patient->text(kName), true);
        for (int s = 0; s < patient->childCount(); ++s) {
            QTreeWidgetItem* study = patient->child(s);
            if (!study->isExpanded()) collapsed.insert(QStringLiteral("s") + study->toolTip(kName), true);
        }
    }
    qDeleteAll(entry.root->takeChildren());

    const StudyTree& tree = *entry.tree;
    std::size_t seriesCount = 0;
    for (const Patient& patient : tree.patients) {
        if (patient.studies.empty() || patient.studies[0].series.empty()) continue;
        const SeriesLevel& patientLevel = *patient.studies[0].series[0].level;
        QTreeWidgetItem* patientItem = AddItem(entry.root, number, PatientText(patientLevel));
        patientItem->setExpanded(!collapsed.contains(QStringLiteral("p") + patientItem->text(kName)));
        for (const Study& study : patient.studies) {
            if (study.series.empty()) continue;
            const SeriesLevel& level = *study.series[0].level;
            QTreeWidgetItem* studyItem = AddItem(patientItem, number, StudyText(level));
            studyItem->setText(kDate, DateText(level.studyDate));
            studyItem->setText(kAccession, Utf8(level.accessionNumber));
            studyItem->setToolTip(kName, Utf8(level.studyUid));
            studyItem->setExpanded(!collapsed.contains(QStringLiteral("s") + Utf8(level.studyUid)));
            for (const Series& series : study.series) {
                FillSeries(studyItem, number, series);
                ++seriesCount;
            }
        }
    }
    if (entry.result) FillProblems(entry.root, entry.result->problems);

    QString state;
    if (!entry.result) {
        state = QStringLiteral("reading");
    } else if (entry.result->cancelled) {
        state = QStringLiteral("cancelled");
    }
    QString text = QStringLiteral("%1: %2 series").arg(entry.label).arg(seriesCount);
    if (!state.isEmpty()) text += QStringLiteral(" (%1)").arg(state);
    entry.root->setText(kName, text);
    entry.root->setExpanded(true);
    if (!current.isEmpty()) {
        const int hash = static_cast<int>(current.lastIndexOf(QLatin1Char('#')));
        const int slash = static_cast<int>(current.indexOf(QLatin1Char('/')));
        if (QTreeWidgetItem* item =
                SeriesItem(number, current.mid(slash + 1, hash - slash - 1), current.mid(hash + 1).toInt())) {
            m_tree->setCurrentItem(item);
        }
    }
}

void CStudyBrowser::FillSeries(QTreeWidgetItem* parent, int number, const Series& series) {
    const SeriesLevel& level = *series.level;
    const QString uid = Utf8(level.seriesUid);
    QTreeWidgetItem* item = AddItem(parent, number, SeriesText(level));
    item->setText(kModality, Utf8(level.modality));
    if (level.seriesNumber) item->setText(kNumber, QString::number(*level.seriesNumber));
    item->setText(kImages, QString::number(series.instances.size()));
    item->setToolTip(kName, uid);
    if (!series.stacks.empty()) {
        item->setData(kName, kSeriesRole, uid);
        item->setData(kName, kStackRole, 0);
        const QString key = Key(number, uid, 0);
        if (m_thumbnails.contains(key)) item->setIcon(kName, m_thumbnails.value(key));
        ShowNoPicture(item, key);
        if (series.stacks.size() > 1) {
            item->setText(kImages, QStringLiteral("%1 (%2 in the main stack)")
                                       .arg(series.instances.size())
                                       .arg(series.stacks[0].slices.size()));
        }
    }
    // The stacks split off, each with why.
    for (std::size_t s = 1; s < series.stacks.size(); ++s) {
        const Stack& stack = series.stacks[s];
        QTreeWidgetItem* split =
            AddItem(item, number, QStringLiteral("Split off: %1").arg(QString::fromStdString(stack.split.Text())));
        split->setText(kImages, QString::number(stack.slices.size()));
        split->setData(kName, kSeriesRole, uid);
        split->setData(kName, kStackRole, static_cast<int>(s));
        const QString key = Key(number, uid, static_cast<int>(s));
        if (m_thumbnails.contains(key)) split->setIcon(kName, m_thumbnails.value(key));
        ShowNoPicture(split, key);
    }
    // Files without an image, and files a DICOMDIR names that are not there.
    for (const IndexedInstance& instance : series.instances) {
        if (instance.state == IndexedInstance::State::NoImage) {
            QTreeWidgetItem* file = AddItem(item, number, QStringLiteral("No image: %1").arg(FileName(instance.path)));
            file->setToolTip(kName, Utf8(instance.path));
        } else if (instance.state == IndexedInstance::State::Missing) {
            QTreeWidgetItem* file = AddItem(item, number, QStringLiteral("Missing: %1").arg(FileName(instance.path)));
            file->setToolTip(kName, QString::fromStdString(instance.missing.Text()));
        }
    }
}

// A stack whose middle slice gives no picture says why in a row under it, the file's
// own reason (cut short, a kind of pixels not shown...), as its window would.
void CStudyBrowser::ShowNoPicture(QTreeWidgetItem* item, const QString& key) {
    for (int i = item->childCount() - 1; i >= 0; --i) {
        if (item->child(i)->data(kName, kNoPictureRole).toBool()) delete item->takeChild(i);
    }
    const QString why = m_noPicture.value(key);
    if (why.isEmpty()) return;
    QTreeWidgetItem* row = AddItem(item, item->data(kName, kEntryRole).toInt(), why);
    row->setToolTip(kName, why);
    row->setData(kName, kNoPictureRole, true);
}

void CStudyBrowser::FillProblems(QTreeWidgetItem* root, const std::vector<ProblemCount>& problems) {
    if (problems.empty()) return;
    std::size_t total = 0;
    for (const ProblemCount& problem : problems)
        total += problem.count;
    QTreeWidgetItem* node =
        AddItem(root, root->data(kName, kEntryRole).toInt(), QStringLiteral("Not read: %1").arg(total));
    node->setText(kImages, QString::number(total));
    for (const ProblemCount& problem : problems) {
        QString text = QString::fromStdString(problem.first.Text());
        if (problem.count > 1) text += QStringLiteral(" (and %1 more like it)").arg(problem.count - 1);
        QTreeWidgetItem* row = AddItem(node, root->data(kName, kEntryRole).toInt(), text);
        row->setText(kImages, QString::number(problem.count));
        row->setToolTip(kName, text);
    }
}

void CStudyBrowser::AskThumbnails(int number, bool ended) {
    Entry& entry = m_entries[number];
    if (!entry.tree) return;
    for (const Patient& patient : entry.tree->patients) {
        for (const Study& study : patient.studies) {
            for (const Series& series : study.series) {
                if (series.stacks.empty()) continue;
                const QString uid = Utf8(series.level->seriesUid);
                const std::size_t count = series.instances.size();
                const QString seenKey = Key(number, uid, 0);
                // Still growing: its middle image is not known yet.
                const bool stable = ended || entry.seen.value(seenKey, 0) == count;
                entry.seen.insert(seenKey, count);
                if (!stable) continue;
                for (std::size_t s = 0; s < series.stacks.size(); ++s) {
                    const QString key = Key(number, uid, static_cast<int>(s));
                    if (m_thumbnailAsked.contains(key)) continue;
                    m_thumbnailAsked.insert(key, true);
                    m_thumbnailTask->Request(key, std::make_shared<SeriesStack>(series, s, 1));
                }
            }
        }
    }
}

const Series* CStudyBrowser::FindSeries(int number, const QString& seriesUid) const {
    const std::shared_ptr<const StudyTree> tree = TreeOf(number);
    if (!tree) return nullptr;
    const std::string uid = seriesUid.toLatin1().toStdString();
    for (const Patient& patient : tree->patients) {
        for (const Study& study : patient.studies) {
            for (const Series& series : study.series) {
                if (series.level->seriesUid == uid) return &series;
            }
        }
    }
    return nullptr;
}

std::shared_ptr<SeriesStack> CStudyBrowser::FirstStack(int number) const {
    const std::shared_ptr<const StudyTree> tree = TreeOf(number);
    if (!tree) return nullptr;
    for (const Patient& patient : tree->patients) {
        for (const Study& study : patient.studies) {
            for (const Series& series : study.series) {
                if (series.stacks.empty()) continue;
                // A file cut short, or one whose pixels cannot be drawn, would open a
                // window that shows only why not; one file read per series decides.
                auto stack = std::make_shared<SeriesStack>(series, 0);
                if (stack->Empty()) continue;
                const Expected<StackFrame> first = stack->Open(0);
                if (first && !first->source->Check(first->frame)) return stack;
            }
        }
    }
    return nullptr;
}

std::shared_ptr<SeriesStack> CStudyBrowser::StackOf(const QTreeWidgetItem* item) const {
    if (item == nullptr || item->data(kName, kSeriesRole).isNull()) return nullptr;
    const Series* series = FindSeries(item->data(kName, kEntryRole).toInt(), item->data(kName, kSeriesRole).toString());
    const int stack = item->data(kName, kStackRole).toInt();
    if (series == nullptr || stack < 0 || static_cast<std::size_t>(stack) >= series->stacks.size()) return nullptr;
    return std::make_shared<SeriesStack>(*series, static_cast<std::size_t>(stack));
}

QTreeWidgetItem* CStudyBrowser::SeriesItem(int number, const QString& seriesUid, int stack) const {
    const auto found = m_entries.find(number);
    if (found == m_entries.end()) return nullptr;
    QList<QTreeWidgetItem*> pending{found->second.root};
    while (!pending.isEmpty()) {
        QTreeWidgetItem* item = pending.takeLast();
        if (item->data(kName, kSeriesRole).toString() == seriesUid && item->data(kName, kStackRole).toInt() == stack &&
            !item->data(kName, kSeriesRole).isNull()) {
            return item;
        }
        for (int i = 0; i < item->childCount(); ++i)
            pending.append(item->child(i));
    }
    return nullptr;
}

void CStudyBrowser::OnActivated(QTreeWidgetItem* item) {
    if (std::shared_ptr<SeriesStack> stack = StackOf(item)) emit stackChosen(std::move(stack));
}

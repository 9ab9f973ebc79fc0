#include "views/HeaderDetailsDialog.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMetaObject>
#include <QLabel>
#include <QPalette>
#include <QTreeView>
#include <QVBoxLayout>

#include <mutex>
#include <system_error>
#include <thread>

#include "document/DocumentFailure.h"
#include "views/BackgroundPriority.h"
#include "views/HeaderListModel.h"
#include "views/UnwaitedThreads.h"

namespace {

// The listing's look: cyan text on black, like a terminal dump of the header.
const QColor kListText(0, 220, 220);
const QColor kListGround(0, 0, 0);

// Room for about 90 columns and 35 rows of the listing at its 10-point font.
constexpr int kDialogWidth = 760;
constexpr int kDialogHeight = 606;
constexpr int kMargin = 12;

// Why nothing is listed, in the words of the open that failed.
QString NoticeFor(const std::string& path, const Reason& failure) {
    if (path.empty()) return QObject::tr("This document was not read from a DICOM file, so it has no header to list.");
    const Reason open = OpenFailureOf(failure, path);
    QString words = QString::fromStdString((open ? open : failure).Text()).trimmed();
    while (words.endsWith(QLatin1Char('.')))
        words.chop(1);
    if (words.isEmpty()) words = QObject::tr("%1 cannot be read").arg(QString::fromLocal8Bit(path.c_str()));
    return QObject::tr("%1, so its header cannot be listed.").arg(words);
}

}  // namespace

struct HeaderDetailsDialog::Walk {
    std::atomic<bool> cancel{false};
    std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);
    std::mutex mutex;                          // guards `dialog`
    HeaderDetailsDialog* dialog = nullptr;     // null once the dialog has gone
};

HeaderDetailsDialog::HeaderDetailsDialog(const CDicomFile::SharedBytes& bytes, const std::string& dicomPath,
                                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), m_path(dicomPath) {
    setWindowTitle(QStringLiteral("Dicom File Header Details"));
    setModal(true);
    resize(kDialogWidth, kDialogHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    m_notice = new QLabel(this);
    m_notice->setWordWrap(true);
    layout->addWidget(m_notice);
    m_model = new HeaderListModel(this);
    m_list = new QTreeView(this);
    setupList();
    layout->addWidget(m_list);

    if (dicomPath.empty()) {
        showListing(HeaderListing());
        return;
    }
    m_notice->setText(tr("Reading the header\u2026"));
    if (bytes.source != nullptr) {
        startWalk([bytes](const std::atomic<bool>* cancel) { return ListSharedBytes(bytes, cancel); });
    } else {
        startWalk([dicomPath](const std::atomic<bool>* cancel) { return ReadHeaderListing(dicomPath, cancel); });
    }
}

HeaderDetailsDialog::HeaderDetailsDialog(const std::string& dicomPath, QWidget* parent)
    : HeaderDetailsDialog(CDicomFile::SharedBytes(), dicomPath, parent) {}

HeaderDetailsDialog::~HeaderDetailsDialog() {
    if (!m_walk) return;
    m_walk->cancel = true;
    std::lock_guard lock(m_walk->mutex);
    m_walk->dialog = nullptr;
}

void HeaderDetailsDialog::startWalk(std::function<HeaderListing(const std::atomic<bool>*)> list) {
    auto walk = std::make_shared<Walk>();
    walk->dialog = this;
    std::thread thread;
    try {
        thread = std::thread([walk, list = std::move(list)] {
            GiveWayToTheViewer();
            auto listing = std::make_shared<HeaderListing>(list(&walk->cancel));
            {
                std::lock_guard lock(walk->mutex);
                if (walk->dialog != nullptr) {
                    HeaderDetailsDialog* dialog = walk->dialog;
                    // Queued to the dialog: dropped with it should it go before it runs.
                    QMetaObject::invokeMethod(
                        dialog, [dialog, listing] { dialog->showListing(std::move(*listing)); },
                        Qt::QueuedConnection);
                }
            }
            *walk->finished = true;
        });
    } catch (const std::system_error&) {
        // No thread to be had: the walk runs here, as it did before it had one.
        showListing(list(nullptr));
        return;
    }
    UnwaitedThreads::Instance().Keep(std::move(thread), walk->finished,
                                     std::shared_ptr<std::atomic<bool>>(walk, &walk->cancel));
    m_walk = std::move(walk);
}

void HeaderDetailsDialog::showListing(HeaderListing listing) {
    m_bRead = listing.readable;
    m_bFinished = true;
    if (!m_bRead) {
        m_notice->setText(NoticeFor(m_path, listing.failure));
    } else if (!listing.note.empty()) {
        // The listing stops short of the file's end: say where, above the rows.
        m_notice->setText(tr("The listing stops early: %1.").arg(QString::fromStdString(listing.note)));
    } else {
        m_notice->clear();
    }
    m_notice->setVisible(!m_notice->text().isEmpty());
    m_model->setRows(std::move(listing.rows));
    emit listed();
}

QString HeaderDetailsDialog::notice() const { return m_notice->isHidden() ? QString() : m_notice->text(); }

void HeaderDetailsDialog::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// A report-style list: one selectable row per element, no tree decoration, uniform
// rows so that long listings scroll without measuring every row.
void HeaderDetailsDialog::setupList() {
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setTextElideMode(Qt::ElideRight);

    QPalette palette = m_list->palette();
    palette.setColor(QPalette::Base, kListGround);
    palette.setColor(QPalette::AlternateBase, kListGround);
    palette.setColor(QPalette::Text, kListText);
    m_list->setPalette(palette);

    QHeaderView* header = m_list->header();
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setSectionsMovable(false);
    for (int column = 0; column < HeaderListModel::ColumnCount; ++column) {
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        header->resizeSection(column, HeaderListModel::columnWidth(column));
    }
}

#include "views/HeaderDetailsDialog.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QTreeView>
#include <QVBoxLayout>

#include "document/DocumentFailure.h"
#include "views/HeaderListModel.h"

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

HeaderDetailsDialog::HeaderDetailsDialog(const std::string& dicomPath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Dicom File Header Details"));
    setModal(true);
    resize(kDialogWidth, kDialogHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    m_notice = new QLabel(this);
    m_notice->setWordWrap(true);
    m_notice->hide();
    layout->addWidget(m_notice);

    HeaderListing listing = ReadHeaderListing(dicomPath);
    m_bRead = listing.readable;
    if (!m_bRead) {
        m_notice->setText(NoticeFor(dicomPath, listing.failure));
        m_notice->show();
    } else if (!listing.note.empty()) {
        // The listing stops short of the file's end: say where, above the rows.
        m_notice->setText(QObject::tr("The listing stops early: %1.").arg(QString::fromStdString(listing.note)));
        m_notice->show();
    }
    m_model = new HeaderListModel(this);
    m_model->setRows(std::move(listing.rows));
    m_list = new QTreeView(this);
    setupList();
    layout->addWidget(m_list);
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

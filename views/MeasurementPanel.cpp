#include "views/MeasurementPanel.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "views/DocumentController.h"
#include "views/MeasurementText.h"

namespace {

// Where a row's measurement lies in the document's list; -1 for the selection.
constexpr int kIndexRole = Qt::UserRole;

}  // namespace

CMeasurementPanel::CMeasurementPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("measurementPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 4, 10, 4);
    layout->addWidget(new QLabel(QStringLiteral("Measurements"), this));
    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(QStringLiteral("measurements"));
    m_pList->setColumnCount(2);
    m_pList->setHeaderLabels({QStringLiteral("Measurement"), QStringLiteral("Result")});
    m_pList->setRootIsDecorated(false);
    m_pList->setWordWrap(true);
    m_pList->header()->setStretchLastSection(true);
    m_pList->setColumnWidth(0, 90);
    // The list takes the height the control panel leaves, down to its header and
    // three rows: its own preferred height must not push the column past the screen.
    m_pList->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    m_pList->setMinimumHeight(m_pList->header()->sizeHint().height() + 3 * (fontMetrics().height() + 4) +
                              2 * m_pList->frameWidth());
    layout->addWidget(m_pList, 1);
    m_pSpacing = new QLabel(this);
    m_pSpacing->setWordWrap(true);
    layout->addWidget(m_pSpacing);
    auto* buttons = new QHBoxLayout;
    m_pDelete = new QPushButton(QStringLiteral("Delete"), this);
    m_pDeleteAll = new QPushButton(QStringLiteral("Delete All"), this);
    buttons->addWidget(m_pDelete);
    buttons->addWidget(m_pDeleteAll);
    layout->addLayout(buttons);
    connect(m_pDelete, &QPushButton::clicked, this, &CMeasurementPanel::DeleteChosen);
    connect(m_pDeleteAll, &QPushButton::clicked, this, [this] {
        if (m_controller) m_controller->RemoveAllMeasurements();
    });
    connect(m_pList, &QTreeWidget::currentItemChanged, this, [this] {
        const QTreeWidgetItem* item = m_pList->currentItem();
        m_pDelete->setEnabled(item && item->data(0, kIndexRole).toInt() >= 0);
    });
    Refresh();
}

void CMeasurementPanel::SetController(CDocumentController* controller) {
    if (m_controller) disconnect(m_controller, nullptr, this, nullptr);
    m_controller = controller;
    if (controller) {
        // The frame shown, the selection and the measurements decide the rows.
        for (auto signal : {&CDocumentController::measurementsChanged, &CDocumentController::selectionChanged,
                            &CDocumentController::imageChanged, &CDocumentController::closed}) {
            connect(controller, signal, this, &CMeasurementPanel::Refresh);
        }
    }
    Refresh();
}

void CMeasurementPanel::Refresh() {
    m_pList->clear();
    const CDocumentController* controller = m_controller;
    const bool open = controller && controller->Image();
    if (open) {
        const CDorvanelleDoc& doc = controller->Document();
        if (const auto selection = controller->SelectionStatistics()) {
            const QString result = *selection ? StatisticsText(**selection)
                                              : QString::fromStdString(selection->Why().Text());
            auto* item = new QTreeWidgetItem(m_pList, {QStringLiteral("Selection"), result});
            item->setData(0, kIndexRole, -1);
        }
        const std::vector<Measurement>& all = doc.Measurements();
        int rulers = 0;
        int ellipses = 0;
        for (std::size_t i = 0; i < all.size(); ++i) {
            const Measurement& m = all[i];
            const bool ruler = m.kind == MeasurementKind::Ruler;
            // Numbered among the document's measurements of their kind, whatever the frame.
            const int number = ruler ? ++rulers : ++ellipses;
            if (m.frame != doc.m_nFrame) continue;
            const QString name = QStringLiteral("%1 %2").arg(ruler ? QStringLiteral("Ruler") : QStringLiteral("Ellipse"))
                                     .arg(number);
            auto* item = new QTreeWidgetItem(m_pList, {name, ResultText(m)});
            item->setData(0, kIndexRole, static_cast<int>(i));
            item->setToolTip(1, ResultText(m));
        }
        m_pSpacing->setText(SpacingText(doc.Spacing()));
    } else {
        m_pSpacing->clear();
    }
    m_pDelete->setEnabled(false);
    m_pDeleteAll->setEnabled(open && !controller->Document().Measurements().empty());
}

void CMeasurementPanel::DeleteChosen() {
    const QTreeWidgetItem* item = m_pList->currentItem();
    if (!m_controller || !item) return;
    const int index = item->data(0, kIndexRole).toInt();
    if (index >= 0) m_controller->RemoveMeasurement(static_cast<std::size_t>(index));
}

int CMeasurementPanel::RowCount() const { return m_pList->topLevelItemCount(); }
QString CMeasurementPanel::RowName(int row) const { return m_pList->topLevelItem(row)->text(0); }
QString CMeasurementPanel::RowResult(int row) const { return m_pList->topLevelItem(row)->text(1); }
QString CMeasurementPanel::SpacingLine() const { return m_pSpacing->text(); }

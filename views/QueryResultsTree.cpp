#include "views/QueryResultsTree.h"

#include <QHeaderView>

#include "views/StudySearch.h"

namespace {

enum Role {
    kKindRole = Qt::UserRole,  // Kind
    kUidRole,                  // the study's or the series' UID
    kSortRole,                 // what a column sorts by, where its text does not serve
    kAskedRole,                // a study's series have been asked for
};
enum Kind { kStudy = 1, kSeriesItem, kNote };

// Sorts by kSortRole where a column sets it: numbers as numbers, dates as dates.
class CResultItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        const QVariant mine = data(column, kSortRole);
        const QVariant theirs = other.data(column, kSortRole);
        if (mine.isValid() && theirs.isValid()) {
            return QVariant::compare(mine, theirs) == QPartialOrdering::Less;
        }
        return text(column).localeAwareCompare(other.text(column)) < 0;
    }
};

QString ValueOf(const CFoundValues& values, const char* keyword) { return values.value(QLatin1String(keyword)).trimmed(); }

// A count as a number to sort by; blank when the server gave none.
void SetCount(QTreeWidgetItem* item, int column, const QString& text) {
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok);
    item->setText(column, ok ? QString::number(number) : QString());
    item->setData(column, kSortRole, ok ? QVariant(number) : QVariant(qlonglong{-1}));
    item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
}

void SetDate(QTreeWidgetItem* item, const QString& date, const QString& time = {}) {
    item->setText(CQueryResultsTree::kDate, DicomDateText(date));
    item->setData(CQueryResultsTree::kDate, kSortRole, date + time);
}

}  // namespace

CQueryResultsTree::CQueryResultsTree(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("queryResults"));
    setColumnCount(kColumns);
    setHeaderLabels({QStringLiteral("Patient / Series"), QStringLiteral("Patient ID"), QStringLiteral("Date"),
                     QStringLiteral("Modality"), QStringLiteral("Description"), QStringLiteral("Accession"),
                     QStringLiteral("Series"), QStringLiteral("Images")});
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformRowHeights(true);
    setSortingEnabled(true);
    sortByColumn(kDate, Qt::DescendingOrder);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->resizeSection(kPatient, 200);
    header()->resizeSection(kDescription, 200);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        if (!IsStudy(item) || item->data(0, kAskedRole).toBool()) return;
        item->setData(0, kAskedRole, true);
        emit seriesWanted(item);
    });
}

void CQueryResultsTree::Reset() { clear(); }

QTreeWidgetItem* CQueryResultsTree::AddStudy(const CFoundValues& values) {
    auto* item = new CResultItem(this);
    item->setData(0, kKindRole, kStudy);
    item->setData(0, kUidRole, ValueOf(values, "StudyInstanceUID"));
    const QString name = PersonNameText(ValueOf(values, "PatientName"));
    item->setText(kPatient, name.isEmpty() ? QStringLiteral("(no name)") : name);
    item->setText(kPatientId, ValueOf(values, "PatientID"));
    SetDate(item, ValueOf(values, "StudyDate"), ValueOf(values, "StudyTime"));
    item->setText(kModality, ValueOf(values, "ModalitiesInStudy").replace(QLatin1Char('\\'), QLatin1Char(' ')));
    item->setText(kDescription, ValueOf(values, "StudyDescription"));
    item->setText(kAccession, ValueOf(values, "AccessionNumber"));
    SetCount(item, kSeries, ValueOf(values, "NumberOfStudyRelatedSeries"));
    SetCount(item, kImages, ValueOf(values, "NumberOfStudyRelatedInstances"));
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

QTreeWidgetItem* CQueryResultsTree::AddSeries(QTreeWidgetItem* study, const CFoundValues& values) {
    const QString uid = ValueOf(values, "SeriesInstanceUID");
    QTreeWidgetItem* item = nullptr;
    for (int i = 0; i < study->childCount() && item == nullptr; ++i) {
        if (IsSeries(study->child(i)) && SeriesUid(study->child(i)) == uid) item = study->child(i);
    }
    if (item == nullptr) item = new CResultItem(study);
    item->setData(0, kKindRole, kSeriesItem);
    item->setData(0, kUidRole, uid);
    const QString number = ValueOf(values, "SeriesNumber");
    item->setText(kPatient, number.isEmpty() ? QStringLiteral("Series") : QStringLiteral("Series %1").arg(number));
    bool numeric = false;
    const int n = number.toInt(&numeric);
    item->setData(kPatient, kSortRole, numeric ? QVariant(n) : QVariant(-1));
    SetDate(item, ValueOf(values, "SeriesDate"));
    item->setText(kModality, ValueOf(values, "Modality"));
    QString description = ValueOf(values, "SeriesDescription");
    const QString body = ValueOf(values, "BodyPartExamined");
    if (!body.isEmpty()) description += (description.isEmpty() ? QString() : QStringLiteral(", ")) + body;
    item->setText(kDescription, description);
    SetCount(item, kImages, ValueOf(values, "NumberOfSeriesRelatedInstances"));
    return item;
}

void CQueryResultsTree::SetSeriesNote(QTreeWidgetItem* study, const QString& text) {
    QTreeWidgetItem* note = nullptr;
    for (int i = 0; i < study->childCount() && note == nullptr; ++i) {
        if (study->child(i)->data(0, kKindRole).toInt() == kNote) note = study->child(i);
    }
    if (text.isEmpty()) {
        delete note;
        return;
    }
    if (note == nullptr) {
        note = new CResultItem(study);
        note->setData(0, kKindRole, kNote);
        note->setFlags(Qt::ItemIsEnabled);
        note->setFirstColumnSpanned(true);
    }
    note->setText(kPatient, text);
}

bool CQueryResultsTree::IsStudy(const QTreeWidgetItem* item) {
    return item != nullptr && item->data(0, kKindRole).toInt() == kStudy;
}

bool CQueryResultsTree::IsSeries(const QTreeWidgetItem* item) {
    return item != nullptr && item->data(0, kKindRole).toInt() == kSeriesItem;
}

QString CQueryResultsTree::StudyUid(const QTreeWidgetItem* item) {
    if (IsSeries(item)) item = item->parent();
    return IsStudy(item) ? item->data(0, kUidRole).toString() : QString();
}

QString CQueryResultsTree::SeriesUid(const QTreeWidgetItem* item) {
    return IsSeries(item) ? item->data(0, kUidRole).toString() : QString();
}

QTreeWidgetItem* CQueryResultsTree::StudyOf(QTreeWidgetItem* item) {
    if (IsSeries(item)) return item->parent();
    return IsStudy(item) ? item : nullptr;
}

QString CQueryResultsTree::Describe(const QTreeWidgetItem* item) {
    if (IsSeries(item)) {
        QString what = item->text(kPatient).toLower();
        QStringList parts;
        for (int column : {kModality, kDescription}) {
            if (!item->text(column).isEmpty()) parts << item->text(column);
        }
        const QString details = parts.join(QStringLiteral(", "));
        if (!details.isEmpty()) what += QStringLiteral(" (%1)").arg(details);
        return what + QStringLiteral(" of ") + item->parent()->text(kPatient);
    }
    if (IsStudy(item)) {
        QString what = QStringLiteral("the study");
        if (!item->text(kDescription).isEmpty()) what += QStringLiteral(" \"%1\"").arg(item->text(kDescription));
        if (!item->text(kDate).isEmpty()) what += QStringLiteral(" of ") + item->text(kDate);
        return what + QStringLiteral(" of ") + item->text(kPatient);
    }
    return {};
}

QTreeWidgetItem* CQueryResultsTree::FindStudy(const QString& studyUid) const {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        if (StudyUid(topLevelItem(i)) == studyUid) return topLevelItem(i);
    }
    return nullptr;
}

// The matches of a query: studies that unfold into their series, sortable by any
// column (dates and counts as dates and numbers). The series of a study are asked
// for the first time it is unfolded; until they come, and when they cannot be had,
// one line under the study says so.
#pragma once

#include <QTreeWidget>

#include "views/NetJob.h"

class CQueryResultsTree : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { kPatient, kPatientId, kDate, kModality, kDescription, kAccession, kSeries, kImages, kColumns };

    explicit CQueryResultsTree(QWidget* parent = nullptr);

    // Empties the tree.
    void Reset();
    QTreeWidgetItem* AddStudy(const CFoundValues& values);
    // Adds or updates the series of `values` under `study`.
    QTreeWidgetItem* AddSeries(QTreeWidgetItem* study, const CFoundValues& values);
    // The line under `study` that stands for its series while they are asked for,
    // or says why they could not be had; an empty text removes it.
    void SetSeriesNote(QTreeWidgetItem* study, const QString& text);

    static bool IsStudy(const QTreeWidgetItem* item);
    static bool IsSeries(const QTreeWidgetItem* item);
    static QString StudyUid(const QTreeWidgetItem* item);
    static QString SeriesUid(const QTreeWidgetItem* item);
    // The study of a series, or the study itself.
    static QTreeWidgetItem* StudyOf(QTreeWidgetItem* item);
    // "series 3 (CT, Chest) of DOE, JANE" and the like, for progress and messages.
    static QString Describe(const QTreeWidgetItem* item);

    // The study item of `studyUid`; null when none.
    QTreeWidgetItem* FindStudy(const QString& studyUid) const;

signals:
    // A study was unfolded for the first time: its series are wanted.
    void seriesWanted(QTreeWidgetItem* study);
};

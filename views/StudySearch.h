// What the user searches the archive for, and the C-FIND keys it makes at study
// level. A name or description without wildcards matches as people expect of a
// search box: a name by its beginning ("DOE" finds "DOE^JANE"), a description
// anywhere within it. IDs and accession numbers match exactly unless they hold
// wildcards themselves.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

struct CStudySearch {
    QString patientName;
    QString patientId;
    QDate from;  // null: no lower bound
    QDate to;    // null: no upper bound
    QString modality;
    QString accession;
    QString description;
};

// "Keyword=value" keys for the network helper's find.
QStringList StudySearchKeys(const CStudySearch& search);

// A person name as people read it: "DOE^JANE^M" becomes "DOE, JANE M" (the first of
// its component groups, the alphabetic one).
QString PersonNameText(const QString& dicomName);
// A DICOM date "20240131" as "2024-01-31"; anything else unchanged.
QString DicomDateText(const QString& dicomDate);

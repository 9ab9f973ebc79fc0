// What the paths a user opens at once become (File > Open, File > Open Folder, a
// drop on the main window, the command line): a file alone opens in a window of
// its own, as it always has; folders, DICOMDIRs (by name, or by what the file holds)
// and DICOM files chosen several at once are indexed together into one entry of the
// study browser. Bitmaps and PCX pictures always open in windows of their own.
#pragma once

#include <QString>
#include <QStringList>

struct OpenPlan {
    QStringList documents;  // each in a child window of its own
    QStringList indexed;    // one entry of the study browser
    QString label;          // that entry's name
};

OpenPlan PlanOpening(const QStringList& paths);

// Whether `path` is a DICOMDIR: named so in any letter case, or a file whose header
// says it is a directory of other files (read from its first bytes only).
bool IsDicomDirectory(const QString& path);

#include "app/OpenPaths.h"

#include <QDir>
#include <QFileInfo>

#include "dicom/DicomDirectory.h"
#include "dicom/InstanceHeader.h"
#include "document/DorvanelleDoc.h"
#include "io/RegularFile.h"

bool IsDicomDirectory(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile()) return false;
    if (IsDicomDirName(info.fileName().toStdString())) return true;
    std::shared_ptr<RegularFile> file = RegularFile::Open(path.toStdString(), nullptr);
    if (file == nullptr) return false;
    InstanceHeaderScanner scanner;
    InstanceHeader header;
    return scanner.Scan(file, header).Is(HeaderScanFailure::DirectoryFile);
}

namespace {

QString LabelOf(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) return QDir::cleanPath(info.absoluteFilePath());
    return QStringLiteral("%1 in %2").arg(info.fileName(), QDir::cleanPath(info.absolutePath()));
}

}  // namespace

OpenPlan PlanOpening(const QStringList& paths) {
    OpenPlan plan;
    QStringList dicomFiles;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir() || IsDicomDirectory(path)) {
            plan.indexed << path;
        } else if (CDorvanelleDoc::KindOfPath(path.toStdString()) != DocumentKind::Dicom) {
            plan.documents << path;
        } else {
            dicomFiles << path;
        }
    }
    // One DICOM file among folders, or alone, opens as it always has.
    if (dicomFiles.size() == 1) {
        plan.documents << dicomFiles;
    } else {
        plan.indexed << dicomFiles;
    }
    if (plan.indexed.size() == 1) {
        plan.label = LabelOf(plan.indexed[0]);
    } else if (!plan.indexed.isEmpty()) {
        plan.label = QStringLiteral("%1 and %2 more").arg(QFileInfo(plan.indexed[0]).fileName()).arg(plan.indexed.size() - 1);
    }
    return plan;
}

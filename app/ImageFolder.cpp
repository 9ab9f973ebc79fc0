#include "app/ImageFolder.h"

#include <QCoreApplication>
#include <QDir>

QString PrepareImageFolder() {
    QString folder = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../Images"));
    if (!QDir::setCurrent(folder)) {
        QDir().mkdir(folder);
        QDir::setCurrent(folder);
    }
    return folder;
}

// The program's settings store: "Davov Adivir" / "Dorvanelle".
#pragma once

#include <QSettings>

inline QSettings OpenSettings() {
    return QSettings(QStringLiteral("Davov Adivir"), QStringLiteral("Dorvanelle"));
}

// The program's settings store, under the organisation's and the program's names.
#pragma once

#include <QSettings>

#include "document/ProgramNames.h"

inline QSettings OpenSettings() {
    return QSettings(QString::fromLatin1(kOrganisationName), QString::fromLatin1(kProgramName));
}

// The program's icon, drawn in code: a round phantom slice on dark blue.
#pragma once

#include <QIcon>

QIcon AppIcon();

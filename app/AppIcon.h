// The program's icon, drawn in code: a round phantom slice on dark blue.
#pragma once

#include <QIcon>
#include <QImage>

// The sizes drawn for the window icon and installed in the hicolor icon theme.
inline constexpr int kAppIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The icon at one size. Needs no QGuiApplication, so that the build can write the
// installed icons with it.
QImage AppIconImage(int size);
QIcon AppIcon();

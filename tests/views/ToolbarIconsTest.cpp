#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <set>

#include "app/CommandTable.h"
#include "app/ToolbarIcons.h"

namespace {

int PaintedPixels(const QImage& image) {
    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            painted += qAlpha(image.pixel(x, y)) != 0 ? 1 : 0;
    return painted;
}

TEST(ToolbarIcons, StripIsTheCellsSideBySide) {
    const QImage strip = ToolbarImageStrip();
    ASSERT_EQ(strip.size(), QSize(330, 21));
    for (int i = 0; i < kToolbarIconCount; ++i) {
        const QImage cell = ToolbarCellImage(i);
        ASSERT_EQ(cell.size(), QSize(22, 21)) << i;
        EXPECT_EQ(strip.copy(i * 22, 0, 22, 21), cell) << i;
    }
    EXPECT_TRUE(ToolbarCellImage(-1).isNull());
    EXPECT_TRUE(ToolbarCellImage(kToolbarIconCount).isNull());
}

// Every button is recognisable: something is drawn, the ground stays transparent
// at the corners, and no two buttons look alike.
TEST(ToolbarIcons, EveryCellIsDrawnAndDistinct) {
    std::set<QByteArray> seen;
    for (int i = 0; i < kToolbarIconCount; ++i) {
        const QImage cell = ToolbarCellImage(i);
        EXPECT_GT(PaintedPixels(cell), 25) << i;
        EXPECT_LT(PaintedPixels(cell), 22 * 21) << i;
        const QByteArray bytes(reinterpret_cast<const char*>(cell.constBits()), cell.sizeInBytes());
        EXPECT_TRUE(seen.insert(bytes).second) << "cell " << i << " repeats another";
    }
}

TEST(ToolbarIcons, IconsFollowTheLayout) {
    int buttons = 0;
    for (int id : ToolbarLayout()) {
        if (id == 0) continue;
        const QIcon icon = ToolbarIcon(id);
        ASSERT_FALSE(icon.isNull()) << id;
        EXPECT_EQ(icon.pixmap(QSize(22, 21)).toImage().convertToFormat(QImage::Format_ARGB32),
                  ToolbarCellImage(buttons))
            << id;
        ++buttons;
    }
    EXPECT_EQ(buttons, kToolbarIconCount);
    EXPECT_TRUE(ToolbarIcon(ID_APP_EXIT).isNull());
}

}  // namespace

// Setting the grey-level window: the sliders only where a window acts, a window typed
// in a dialog, presets on the number keys, and the right-button drag (coarse, and fine
// with Shift).
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QSlider>
#include <QTest>

#include "app/ChildFrame.h"
#include "app/DorvanelleApp.h"
#include "app/MainFrame.h"
#include "document/DorvanelleDoc.h"
#include "tests/views/ViewerTestSupport.h"
#include "tools/generator/PhantomStudy.h"
#include "views/CommandIds.h"
#include "views/ControlPanel.h"
#include "views/DocumentController.h"
#include "views/DorvanelleView.h"

namespace {

int Gradient(int x, int y) { return (3 * x + y) % 256; }

class Windowing : public ViewerApp {
protected:
    bool SlidersEnabled() const {
        return Panel().m_pWidthSlider->isEnabled() && Panel().m_pCenterSlider->isEnabled();
    }
    bool SlidersDisabled() const {
        return !Panel().m_pWidthSlider->isEnabled() && !Panel().m_pCenterSlider->isEnabled();
    }
};

TEST_F(Windowing, TheSlidersAreDisabledWhereAWindowCannotAct) {
    EXPECT_TRUE(SlidersDisabled());
    const std::string picture = folder.File("picture.bmp");
    ASSERT_TRUE(WriteGreyBmp(picture, 64, 48, Gradient));
    CChildFrame* bitmap = Open(picture);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_TRUE(SlidersDisabled());
    // A click on the groove changes neither the label nor the picture.
    const QString label = Panel().m_pWidthValue->text();
    const QImage before = bitmap->View()->viewport()->grab().toImage();
    QTest::mouseClick(Panel().m_pWidthSlider, Qt::LeftButton, {}, QPoint(Panel().m_pWidthSlider->width() - 4, 5));
    EXPECT_EQ(Panel().m_pWidthValue->text(), label);
    EXPECT_EQ(bitmap->View()->viewport()->grab().toImage(), before);

    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 48, 64, 1));
    CChildFrame* ct = Open(study);
    ASSERT_NE(ct, nullptr);
    EXPECT_TRUE(SlidersEnabled());
    Activate(bitmap);
    EXPECT_TRUE(SlidersDisabled());
    Activate(ct);
    EXPECT_TRUE(SlidersEnabled());
    ct->close();
    bitmap->close();
    Idle();
    EXPECT_TRUE(SlidersDisabled());
}

}  // namespace

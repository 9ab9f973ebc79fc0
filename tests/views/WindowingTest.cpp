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
#include "views/WindowPresets.h"

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

// The dialog offers the window shown; OK commits the typed one as a slider release
// would, Cancel changes nothing. Pictures without a window do not offer it.
TEST_F(Windowing, TheSetWindowDialogCommitsTheTypedWindow) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 48, 64, 2));
    CChildFrame* child = Open(study);
    ASSERT_NE(child, nullptr);
    const CDorvanelleDoc& doc = child->Controller().Document();
    const std::pair<int, int> shown(doc.m_dicom.m_nWindowWidth, doc.m_dicom.m_nWindowCenter);
    const QImage before = child->View()->viewport()->grab().toImage();

    Run(ID_VIEW_WINDOW_SET);  // cancelled
    EXPECT_EQ(dialogs.windowOffered, shown);
    EXPECT_EQ(std::make_pair(int{doc.m_dicom.m_nWindowWidth}, int{doc.m_dicom.m_nWindowCenter}), shown);
    dialogs.windowAnswer = std::make_pair(300, -50);
    Run(ID_VIEW_WINDOW_SET);
    EXPECT_EQ(doc.m_dicom.m_nWindowWidth, 300);
    EXPECT_EQ(doc.m_dicom.m_nWindowCenter, -50);
    EXPECT_EQ(Panel().m_pWidthValue->text(), QStringLiteral("300"));
    EXPECT_EQ(Panel().m_pCenterSlider->value(), -50);
    EXPECT_NE(child->View()->viewport()->grab().toImage(), before);

    const std::string picture = folder.File("picture.bmp");
    ASSERT_TRUE(WriteGreyBmp(picture, 64, 48, Gradient));
    ASSERT_NE(Open(picture), nullptr);
    EXPECT_FALSE(Enabled(ID_VIEW_WINDOW_SET));
}

// The number keys choose the Window Level menu's presets in its order; a number past
// the last preset does nothing.
TEST_F(Windowing, TheNumberKeysChooseTheWindowPresets) {
    PhantomOptions options;
    options.rows = 40;
    options.columns = 50;
    options.rescaleIntercept = -1024;
    const std::string study = folder.File("ct.dcm");
    ASSERT_TRUE(WriteCtPhantom(study, options).empty());
    CChildFrame* child = Open(study);
    ASSERT_NE(child, nullptr);
    CDorvanelleView* view = child->View();
    const CDorvanelleDoc& doc = child->Controller().Document();
    const std::vector<WindowPreset> presets = view->WindowPresets();
    ASSERT_EQ(presets.size(), 6u);  // the file's, the data range's, brain, soft tissue, lung, bone
    view->setFocus();
    for (const int n : {3, 6, 1}) {
        QTest::keyClick(view, static_cast<Qt::Key>(Qt::Key_0 + n));
        EXPECT_EQ(doc.m_dicom.m_nWindowWidth, presets[n - 1].window.width) << n;
        EXPECT_EQ(doc.m_dicom.m_nWindowCenter, presets[n - 1].window.centre) << n;
        EXPECT_EQ(Panel().m_pWidthValue->text(), QString::number(presets[n - 1].window.width)) << n;
    }
    EXPECT_TRUE(view->Choices(ID_VIEW_WINDOW_LEVEL)[0].checked);
    EXPECT_TRUE(view->Choices(ID_VIEW_WINDOW_LEVEL)[2].text.endsWith(QStringLiteral("\t3")));
    EXPECT_FALSE(Enabled(ID_VIEW_PRESET_1 + 6));
    QTest::keyClick(view, Qt::Key_7);
    EXPECT_EQ(doc.m_dicom.m_nWindowWidth, presets[0].window.width);
}

// Shift makes a right drag eight times finer, from where the pointer is when it is
// pressed; releasing Shift goes on coarsely from there.
TEST_F(Windowing, ShiftMakesTheRightDragFiner) {
    const std::string study = folder.File("study.dcm");
    ASSERT_TRUE(WriteStudy(study, 64, 64, 1));
    CChildFrame* child = Open(study);
    ASSERT_NE(child, nullptr);
    QWidget* area = child->View()->viewport();
    const CDorvanelleDoc& doc = child->Controller().Document();
    const auto drag = [&](int dx, Qt::KeyboardModifiers modifiers) {
        const int width = doc.m_dicom.m_nWindowWidth;
        SendMouse(area, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton, modifiers);
        SendMouse(area, QEvent::MouseMove, {10 + dx, 10}, Qt::NoButton, Qt::RightButton, modifiers);
        SendMouse(area, QEvent::MouseButtonRelease, {10 + dx, 10}, Qt::RightButton, Qt::NoButton, modifiers);
        return doc.m_dicom.m_nWindowWidth - width;
    };
    const int width = doc.m_dicom.m_nWindowWidth;
    const int centre = doc.m_dicom.m_nWindowCenter;
    const int coarse = drag(64, Qt::NoModifier);
    ASSERT_GT(coarse, 16);
    child->Controller().SetWindow(width, centre);
    const int fine = drag(64, Qt::ShiftModifier);
    EXPECT_NEAR(fine, coarse / 8.0, 1.0);
}

}  // namespace

// Entry point of the command and header dialog tests: widgets need an application
// object, and the tests run without a display.
#include <gtest/gtest.h>

#include <QApplication>

#include "views/DocumentController.h"
#include <QStandardPaths>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A frame step ends where it was asked to: the frame is waited for as long as it takes.
    CDocumentController::SetFrameWait(std::chrono::seconds(30));
    // Settings (the recent-file list) go to a test location, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

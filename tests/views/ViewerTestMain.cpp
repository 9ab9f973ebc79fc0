// Entry point of the viewer tests: no display, and settings and the cache (where
// retrieved studies go) kept in folders of the test's own, so that the user's
// recent-file list, servers and cache are never touched.
#include <gtest/gtest.h>

#include <QApplication>

#include "views/DocumentController.h"
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    QApplication app(argc, argv);
    // A frame step ends where it was asked to: the frame is waited for as long as it takes.
    CDocumentController::SetFrameWait(std::chrono::seconds(30));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

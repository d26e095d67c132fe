#include <gtest/gtest.h>

#include <QGuiApplication>

// Image decoding goes through Qt's plugins, which want an application object.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The listing that test discovery reads needs no application, whose start-up would put
    // Qt's warnings (no XDG_RUNTIME_DIR) into it.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

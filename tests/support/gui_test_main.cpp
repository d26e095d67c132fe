// GoogleTest main for tests that need a QApplication with the web engine ready.
#include <gtest/gtest.h>

#include <QApplication>

#include "host/flash_scheme.h"
#include "host/flash_view.h"
#include "host/web_view.h"
#include "tests/support/test_environment.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests happens at build time, where there may be no display.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    pw::testing::PrepareTestEnvironment();
    pw::LetPlayerPagesCollectGarbage(argc, argv);  // as the program runs its player
    pw::RegisterFlashViewScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    pw::UseChineseWebEngine();  // as the program runs it
    return RUN_ALL_TESTS();
}

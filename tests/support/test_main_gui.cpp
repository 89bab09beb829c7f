// Test entry for widgets and GL views: needs a display (the test script provides Xvfb).
#include <gtest/gtest.h>
#include <QApplication>
#include <QtGlobal>
#include <cstring>

int main(int argc, char** argv)
{
    // Listing the tests needs no window system: lets ctest discover them without a display.
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
    if (listing && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    ::testing::InitGoogleTest(&argc, argv);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

// Test entry for code that needs an event loop but no display.
#include <gtest/gtest.h>
#include <QCoreApplication>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Death tests re-run the binary: safe with Qt's threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

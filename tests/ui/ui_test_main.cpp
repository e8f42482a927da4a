// The window tests need one QApplication for the whole run.

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Off screen unless told otherwise (ctest sets it too; test discovery
    // runs the program without it).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Run by hand too, no test may set the machine's clock.
    qputenv("TERRAWAVE_NO_CLOCK_SET", "1");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

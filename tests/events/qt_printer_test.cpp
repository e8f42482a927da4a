#include "platform/qt/qt_printer.h"

#include "fakes/test_files.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

TEST(QtPrinter, PrintsEventSummariesIntoAPdfPageAndEndsTheJob) {
    // Off screen, whatever the test runner's environment holds.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "tw_events_printer_tests";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    const tw::testing::TestFolder folder;
    tw::platform::QtPrinter printer((folder / "print.pdf").string());
    std::string error;
    EXPECT_FALSE(printer.job_open());
    // More lines than a page holds: a second page starts by itself.
    for (int i = 0; i < 120; ++i)
        ASSERT_TRUE(printer.print_line(
            "030203.123257.z2 2003/02/03 12:32:57 L:00012345 Max SLTA:4.3 Max Amplit:001234", &error)) << error;
    EXPECT_TRUE(printer.job_open());
    ASSERT_TRUE(printer.end_job(&error)) << error;
    EXPECT_FALSE(printer.job_open());
    const std::string pdf = tw::testing::read_file(folder / "print.pdf");
    EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
    EXPECT_NE(pdf.find("/Count 2"), std::string::npos);

    tw::platform::QtPrinter unwritable("/nonexistent-folder/x.pdf");
    EXPECT_FALSE(unwritable.begin_job(&error));
    EXPECT_FALSE(error.empty());
}

}  // namespace

// The event list window, the warning box, the error list box, the logo and
// the credits. What the error report keeps and counts is the supervision
// tests'; here the windows follow it and their buttons reach it.

#include "platform/qt/qt_dialogs.h"
#include "ui/error_list_box.h"
#include "ui/event_list_window.h"
#include "ui/logo_window.h"
#include "ui/main_window.h"
#include "ui/warning_box.h"
#include "ui/windows.h"
#include "ui_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace tw::ui::test {
namespace {

template <typename W>
W* top_level(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name) && w->isVisible()) return qobject_cast<W*>(w);
    return nullptr;
}

class MessageWindowsTest : public ::testing::Test {
protected:
    void open_main() { window_ = open_main_window(s_, {}, &quits_); }
    QListWidget* event_list() {
        click(*window_, "events");
        EventListWindow* w = window_->event_list_window();
        EXPECT_TRUE(w && QTest::qWaitForWindowExposed(w));
        return w ? w->findChild<QListWidget*>("List1") : nullptr;
    }

    UiStation s_;
    std::unique_ptr<MainWindow> window_;
    int quits_ = 0;
};

TEST_F(MessageWindowsTest, EventListShowsTheFileAndLinesAppendedWhileOpen) {
    s_.station->event_list.append("START");
    open_main();
    QListWidget* list = event_list();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(s_.station->event_list_open);
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "2003/02/03 12:00:00 START");

    s_.clock.advance_ms(61000);
    s_.station->event_list.append("030203.120100.ex1 2003/02/03 11:59:02 L:00006000 Max SLTA:4.2");
    s_.station->event_list.append("STOP");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->currentRow(), 2);
    EXPECT_EQ(list->item(2)->text(), "2003/02/03 12:01:01 STOP");
    EXPECT_TRUE(save_picture(*window_->event_list_window(), "eventlist"));

    s_.station->event_flags.event_ended_flag = true;
    click(*window_->event_list_window(), "delete");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "Event list.");
    EXPECT_FALSE(s_.station->event_flags.event_ended_flag);
    EXPECT_EQ(s_.read_file(app::files::event_list), "Event list.\r\n");

    click(*window_->event_list_window(), "cancel");
    EXPECT_FALSE(window_->event_list_window()->isVisible() || s_.station->event_list_open);
    s_.station->event_list.append("after close");
    EXPECT_EQ(list->count(), 1);
    list = event_list();  // reopened: read again from the file
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "2003/02/03 12:01:01 after close");
}

// A line's file goes to the browser as its only argument, as the list has it:
// the launcher runs no shell (its own tests show it passes shell characters
// literally).
TEST_F(MessageWindowsTest, EventViewStartsTheBrowserWithTheFileOfTheLineAsItsOnlyArgument) {
    // For the selected line and on a double click.
    auto& g = s_.station->settings.general;
    g.event_browser = "viewer";
    g.events_folder = "/station/events";
    s_.station->event_list.append("030203.123456.z1 2003/02/03 11:58:01 L:00001234");
    s_.station->event_list.append("$(rm${IFS}-rf${IFS}~);echo 'x\" y");
    open_main();
    QListWidget* list = event_list();
    ASSERT_EQ(list->count(), 2);
    list->setCurrentRow(0);
    click(*window_->event_list_window(), "eventview");
    list->setCurrentRow(1);
    const QPoint at = list->visualItemRect(list->item(1)).center();
    // A real double click: press, release, double click, release.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(s_.launcher.started.size(), 2u);
    EXPECT_EQ(s_.launcher.started[0].program, "viewer");
    EXPECT_EQ(s_.launcher.started[0].arguments, std::vector<std::string>{"/station/events/030203.123456.z1"});
    EXPECT_EQ(s_.launcher.started[1].arguments, std::vector<std::string>{"/station/events/$(rm${IFS}-rf${IFS}~);echo"});
}

TEST_F(MessageWindowsTest, WarningBoxShowsTheLinesAndClosesWhenItLosesTheFocusOrWaitsForOk) {
    platform::QtDialogs dialogs;
    install_warning_box(dialogs);
    dialogs.show_warning("The DATE format of your system is DD/MM/YYYY\r\nThe TIME format of your system is "
                         "HH:MM:SS\r\nThis is not the better for TERRAWAVE operation. \r\n",
                         false);
    QPointer<WarningBox> box = top_level<WarningBox>("warnbox");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowTitle(), "Warning!");
    EXPECT_TRUE(box->text().startsWith("The DATE format of your system is DD/MM/YYYY\nThe TIME"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    EXPECT_TRUE(save_picture(*box, "warnbox"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return box && box->isActiveWindow(); }, 20000));
    QWidget other;
    other.resize(200, 100);
    other.show();
    other.activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !box || !box->isVisible(); }, 20000));

    // Modal: the caller waits until OK is clicked.
    bool clicked = false;
    QTimer::singleShot(100, [&] {
        if (auto* b = top_level<WarningBox>("warnbox")) click(*b, "warnok"), clicked = true;
    });
    dialogs.show_warning("A/D Board not correctly initialized.\r\nCheck your system and retry.", true);
    EXPECT_TRUE(clicked);
    EXPECT_EQ(top_level<WarningBox>("warnbox"), nullptr);
}

TEST_F(MessageWindowsTest, ErrorListFollowsTheReportItsButtonsWipeCloseAndEndAndBreakHoldsTheReport) {
    open_main();
    ErrorListBox* box = window_->error_list_box();
    auto* list = box->findChild<QListWidget*>("errorlist");
    EXPECT_FALSE(box->isVisible());
    for (int i = 1; i <= 15; ++i) s_.station->error_report.report(6, 304, "START");
    EXPECT_TRUE(box->isVisible());
    ASSERT_EQ(list->count(), 14);
    EXPECT_TRUE(list->item(0)->text().startsWith("Count: 2 / Error:6/Overflow / START /  304 / "));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    EXPECT_TRUE(save_picture(*box, "boxerrori"));

    click(*box, "wiperrors");
    EXPECT_EQ(list->count(), 0);
    s_.station->error_report.report(53, 3010, "COMPORTOPEN");
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->text().startsWith("Count: 1 / Error:53/"));
    click(*box, "Command1");
    EXPECT_FALSE(box->isVisible());
    s_.station->error_report.report(6, 304, "START");
    EXPECT_TRUE(box->isVisible());
    // End TERRAWAVE closes the port and quits.
    ASSERT_TRUE(s_.serial.open(nullptr));
    click(*box, "end_terrawv");
    EXPECT_FALSE(s_.serial.is_open());
    EXPECT_EQ(quits_, 1);

    // Break holds the next report until Restart or Wipe, the windows responding.
    for (const char* release : {"restart", "wiperrors"}) {
        SCOPED_TRACE(release);
        click(*box, "break");
        s_.pump.calls = 0;
        s_.pump.on_call = [&](int calls) {
            // 100 waits of 50 ms: five seconds of PC time held in the report.
            if (calls == 50) click(*window_, "ch_plus");
            if (calls == 100) click(*box, release);
        };
        s_.station->error_report.report(11, 305, "START");
        EXPECT_GE(s_.pump.calls, 100);
        EXPECT_LE(s_.pump.calls, 125);  // then only to the next second
    }
    s_.pump.on_call = nullptr;
    EXPECT_EQ(window_->findChild<QLabel*>("ch_selected")->text(), "3");
}

TEST_F(MessageWindowsTest, LogoStoresNoLogoOpensTheCreditsAndStaysForThreeSecondChangesAtStart) {
    s_.station->settings.general.no_logo = 1;
    {
        LogoWindow logo(*s_.station);
        logo.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&logo));
        auto* nologo = child<QCheckBox>(logo, "nologo");
        EXPECT_EQ(nologo->text(), "Don't show on startup");
        EXPECT_TRUE(nologo->isChecked());
        QTest::mouseClick(nologo, Qt::LeftButton);
        EXPECT_EQ(s_.station->settings.general.no_logo, 0);
        EXPECT_TRUE(save_picture(logo, "logo"));
        click(logo, "open_credits");
        auto* credits = logo.findChild<CreditsWindow*>("credits");
        ASSERT_NE(credits, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(credits));
        EXPECT_TRUE(save_picture(*credits, "credits"));
        click(*credits, "close");
        EXPECT_TRUE(QTest::qWaitFor([&] { return logo.findChild<CreditsWindow*>("credits") == nullptr; }, 20000));
        click(logo, "close");
        EXPECT_FALSE(logo.isVisible());
    }
    s_.clock.set(2003, 2, 3, 12, 0, 0, 500);
    s_.pump.calls = 0;
    bool seen = false;
    s_.pump.on_call = [&](int) { seen = seen || top_level<LogoWindow>("logo") != nullptr; };
    show_logo_during_startup(*s_.station);
    s_.pump.on_call = nullptr;
    EXPECT_TRUE(seen);
    // From 12:00:00.5 to the third change at 12:00:03: 50 waits of 50 ms.
    EXPECT_EQ(s_.pump.calls, 50);
    EXPECT_EQ(top_level<LogoWindow>("logo"), nullptr);
}

}  // namespace
}  // namespace tw::ui::test

#include "ui_fixture.h"

#include "config/settings_file.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QRadioButton>
#include <QtTest/QTest>

namespace tw::ui::test {

void QtFakeTimePump::process_events(int max_wait_ms) {
    ++calls;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    clock_.advance_ms(max_wait_ms > 0 ? max_wait_ms : 1);
    if (on_call) on_call(calls);
}

UiStation::UiStation() {
    station = std::make_unique<app::Station>(
        folder, app::Services{serial, clock, dialogs, disk, launcher, pump, nullptr, nullptr, nullptr, &images});
    config::load_settings(station->path(app::files::settings), station->program_folder(), station->settings);
}

std::unique_ptr<MainWindow> open_main_window(UiStation& s, const app::StartupResult& startup, int* quits) {
    auto window = std::make_unique<MainWindow>(*s.station, startup);
    window->set_quit_handler([quits] {
        if (quits) ++*quits;
    });
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
}

bool save_picture(QWidget& widget, const QString& name) {
    const QString dir = QStringLiteral(TW_BINARY_DIR "/screenshots");
    QDir().mkpath(dir);
    return widget.grab().save(dir + "/" + name + ".png");
}

void click(QWidget& window, const char* name) {
    QWidget* w = child<QWidget>(window, name);
    if (!w) return;
    if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
        QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2));
    } else {
        QTest::mouseClick(w, Qt::LeftButton);
    }
}

QString text_of(QWidget& window, const char* name) {
    if (auto* edit = window.findChild<QLineEdit*>(name)) return edit->text();
    auto* label = child<QLabel>(window, name);
    return label ? label->text() : QString();
}

void type_into(QWidget& window, const char* name, const QString& text, Qt::Key key) {
    auto* edit = child<QLineEdit>(window, name);
    if (!edit) return;
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, key);
}

void expect_tidy(QWidget& window) {
    const auto widgets = window.findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(&window) || w->objectName().isEmpty()) continue;
        if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
            qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w)) {
            const QSize need = w->minimumSizeHint();
            EXPECT_GE(w->width(), need.width()) << w->objectName().toStdString() << " cut off";
            EXPECT_GE(w->height(), need.height()) << w->objectName().toStdString() << " cut off";
        }
        for (QWidget* other : widgets) {
            if (other == w || other->parentWidget() != w->parentWidget() ||
                !other->isVisibleTo(&window) || other->objectName().isEmpty() ||
                other->isWindow() || w->isWindow()) {
                continue;
            }
            EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                << w->objectName().toStdString() << " overlaps "
                << other->objectName().toStdString();
        }
    }
}

}  // namespace tw::ui::test

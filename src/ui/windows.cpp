#include "ui/windows.h"

#include "ui/logo_window.h"
#include "ui/warning_box.h"

#include <QPointer>
#include <QScreen>

#include <memory>

namespace tw::ui {

void install_warning_box(platform::QtDialogs& dialogs) {
    // One warning box at a time: a new warning replaces the text of the one
    // still showing. The box deletes itself when closed.
    auto current = std::make_shared<QPointer<WarningBox>>();
    dialogs.set_warning_presenter([current](const std::string& text, bool modal) {
        QPointer<WarningBox>& box = *current;
        if (!box) {
            box = new WarningBox;
            box->setAttribute(Qt::WA_DeleteOnClose);
        }
        box->set_text(text);
        if (modal) {
            box->exec();
        } else {
            box->show();
            box->raise();
            box->activateWindow();
        }
    });
}

void show_logo_during_startup(app::Station& station) {
    LogoWindow logo(station);
    logo.adjustSize();
    if (const QScreen* screen = logo.screen()) {
        QRect frame = logo.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        logo.move(frame.topLeft());
    }
    logo.show();
    int last_second = station.io.clock.now().second;
    int changes = 0;
    while (changes < 3 && logo.isVisible()) {
        station.io.pump.process_events(50);
        const int second = station.io.clock.now().second;
        if (second != last_second) {
            ++changes;
            last_second = second;
        }
    }
    logo.close();
}

}  // namespace tw::ui

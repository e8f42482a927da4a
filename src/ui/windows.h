#pragma once
// The windows of the program, as the front end (main) sees them.

#include "app/startup.h"
#include "app/station.h"
#include "platform/qt/qt_dialogs.h"
#include "ui/main_window.h"

namespace tw::ui {

// Makes the warning box warnbox the way `dialogs` shows warnings.
void install_warning_box(platform::QtDialogs& dialogs);

// Shows the logo window until the PC clock's seconds have changed three
// times (about three seconds) or the user closes it; windows keep working
// meanwhile.
void show_logo_during_startup(app::Station& station);

}  // namespace tw::ui

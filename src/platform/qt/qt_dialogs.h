#pragma once

#include "platform/dialogs.h"

#include <functional>

namespace tw::platform {

// Message boxes and questions as Qt dialogs. The warning box is a window of
// the user interface; it is reached through the function given here.
class QtDialogs : public Dialogs {
public:
    using WarningPresenter = std::function<void(const std::string& text, bool modal)>;

    void set_warning_presenter(WarningPresenter presenter) { presenter_ = std::move(presenter); }

    void message_box(const std::string& text, const std::string& title, DialogIcon icon) override;
    bool ask_yes_no(const std::string& text, const std::string& title,
                    bool headless_answer) override;
    std::optional<std::string> input_box(const std::string& prompt, const std::string& title,
                                         const std::string& initial) override;
    std::optional<std::string> password_box(const std::string& prompt,
                                            const std::string& title) override;
    void show_warning(const std::string& text, bool modal) override;

private:
    WarningPresenter presenter_;
};

}  // namespace tw::platform

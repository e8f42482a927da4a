#pragma once
// Dialogs without windows: every text goes to an output stream (standard
// error) and every question takes the answer its caller gives as default.

#include "platform/dialogs.h"

#include <ostream>

namespace tw::platform {

class HeadlessDialogs : public Dialogs {
public:
    explicit HeadlessDialogs(std::ostream& out) : out_(out) {}

    void message_box(const std::string& text, const std::string& title, DialogIcon icon) override;
    bool ask_yes_no(const std::string& text, const std::string& title,
                    bool headless_answer) override;
    std::optional<std::string> input_box(const std::string& prompt, const std::string& title,
                                         const std::string& initial) override;
    void show_warning(const std::string& text, bool modal) override;

private:
    void print(const std::string& title, const std::string& text);
    std::ostream& out_;
};

}  // namespace tw::platform

#pragma once
// Message boxes, questions, input boxes and the warning box.
//
// Without windows (headless) every question takes the answer its caller
// documents as the default and every text goes to standard error.

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace tw::platform {

// Lines of a multi-line message, joined by CR LF.
inline std::string joined_lines(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (const auto line : lines) {
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    return text;
}

enum class DialogIcon { none, information, warning, critical };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual void message_box(const std::string& text, const std::string& title,
                             DialogIcon icon) = 0;
    // Yes/No question; `headless_answer` is the answer taken when no one can
    // be asked.
    virtual bool ask_yes_no(const std::string& text, const std::string& title,
                            bool headless_answer) = 0;
    // Input box; nullopt when cancelled (or headless).
    virtual std::optional<std::string> input_box(const std::string& prompt,
                                                 const std::string& title,
                                                 const std::string& initial) = 0;
    // An input box whose text is not shown as it is typed (a password);
    // nullopt when cancelled (or headless).
    virtual std::optional<std::string> password_box(const std::string& prompt,
                                                    const std::string& title) {
        return input_box(prompt, title, "");
    }
    // The warning box: one multi-line text (lines joined by CR LF). Modal
    // waits until the user closes it.
    virtual void show_warning(const std::string& text, bool modal) = 0;
};

}  // namespace tw::platform

#include "platform/headless_dialogs.h"

namespace tw::platform {

namespace {
// CR LF joined lines become plain lines on a terminal.
std::string terminal_text(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\r') out += c;
    }
    return out;
}
}  // namespace

void HeadlessDialogs::print(const std::string& title, const std::string& text) {
    out_ << "terrawave: ";
    if (!title.empty()) out_ << title << ": ";
    out_ << terminal_text(text) << '\n';
    out_.flush();
}

void HeadlessDialogs::message_box(const std::string& text, const std::string& title, DialogIcon) {
    print(title, text);
}

bool HeadlessDialogs::ask_yes_no(const std::string& text, const std::string& title,
                                 bool headless_answer) {
    print(title, text + (headless_answer ? " [answered Yes]" : " [answered No]"));
    return headless_answer;
}

std::optional<std::string> HeadlessDialogs::input_box(const std::string& prompt,
                                                      const std::string& title,
                                                      const std::string&) {
    print(title, prompt + " [no answer]");
    return std::nullopt;
}

void HeadlessDialogs::show_warning(const std::string& text, bool) { print("Warning!", text); }

}  // namespace tw::platform

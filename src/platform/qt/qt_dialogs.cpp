#include "platform/qt/qt_dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace tw::platform {

namespace {
QString q(const std::string& text) { return QString::fromLocal8Bit(text.data(), qsizetype(text.size())); }
QString box_text(const std::string& text) {
    QString out = q(text);
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return out;
}
QWidget* parent_window() { return QApplication::activeWindow(); }
}  // namespace

void QtDialogs::message_box(const std::string& text, const std::string& title, DialogIcon icon) {
    QMessageBox box(parent_window());
    box.setWindowTitle(title.empty() ? QStringLiteral("TERRAWAVE") : q(title));
    box.setText(box_text(text));
    switch (icon) {
    case DialogIcon::information: box.setIcon(QMessageBox::Information); break;
    case DialogIcon::warning: box.setIcon(QMessageBox::Warning); break;
    case DialogIcon::critical: box.setIcon(QMessageBox::Critical); break;
    case DialogIcon::none: break;
    }
    box.exec();
}

bool QtDialogs::ask_yes_no(const std::string& text, const std::string& title, bool) {
    return QMessageBox::question(parent_window(), q(title), box_text(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

namespace {
std::optional<std::string> ask_text(const std::string& prompt, const std::string& title,
                                    const std::string& initial, QLineEdit::EchoMode echo) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(parent_window(), q(title), box_text(prompt), echo, q(initial), &ok);
    if (!ok) return std::nullopt;
    const QByteArray bytes = answer.toLocal8Bit();
    return std::string(bytes.constData(), size_t(bytes.size()));
}
}  // namespace

std::optional<std::string> QtDialogs::input_box(const std::string& prompt, const std::string& title,
                                                const std::string& initial) {
    return ask_text(prompt, title, initial, QLineEdit::Normal);
}

std::optional<std::string> QtDialogs::password_box(const std::string& prompt,
                                                   const std::string& title) {
    return ask_text(prompt, title, "", QLineEdit::Password);
}

void QtDialogs::show_warning(const std::string& text, bool modal) {
    if (presenter_) {
        presenter_(text, modal);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning!"), box_text(text),
                    QMessageBox::Ok, parent_window());
    box.exec();
}

}  // namespace tw::platform

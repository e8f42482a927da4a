#pragma once
// The warning box warnbox: one multi-line warning with an OK button. It
// closes when OK is clicked and as soon as it loses the focus.

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;

namespace tw::ui {

class WarningBox : public QDialog {
    Q_OBJECT
public:
    explicit WarningBox(QWidget* parent = nullptr);
    // Lines joined by CR LF.
    void set_text(const std::string& text);
    QString text() const;

protected:
    bool event(QEvent* event) override;

private:
    QLabel* warntext_;
    QPushButton* warnok_;
    bool was_active_ = false;
};

}  // namespace tw::ui

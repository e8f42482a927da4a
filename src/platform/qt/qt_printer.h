#pragma once

#include "platform/printer.h"

#include <memory>
#include <string>

class QPainter;
class QPrinter;

namespace tw::platform {

// Text lines on the default printer in "Courier New" (or the nearest
// monospace font), one page after the other. With an output file the job
// goes into that PDF file instead (tests, or a station without a printer).
// Needs a QGuiApplication.
class QtPrinter : public Printer {
public:
    QtPrinter();
    explicit QtPrinter(std::string pdf_file);
    ~QtPrinter() override;

    bool begin_job(std::string* error) override;
    bool print_line(const std::string& line, std::string* error) override;
    bool end_job(std::string* error) override;
    bool job_open() const override { return painter_ != nullptr; }

private:
    std::string pdf_file_;
    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> painter_;
    int y_ = 0;  // baseline of the next line, device pixels
};

}  // namespace tw::platform

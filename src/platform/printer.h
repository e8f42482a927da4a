#pragma once
// The default printer, for text lines in a monospace font.

#include <string>

namespace tw::platform {

class Printer {
public:
    virtual ~Printer() = default;
    // Starts a print job. False (with the reason in `error`) when no printer
    // can take one.
    virtual bool begin_job(std::string* error) = 0;
    // Prints one line of the open job ("Courier New", or the nearest
    // monospace font); a new page starts when the page is full.
    virtual bool print_line(const std::string& line, std::string* error) = 0;
    // Ends the job: the printer outputs the page.
    virtual bool end_job(std::string* error) = 0;
    virtual bool job_open() const = 0;
};

}  // namespace tw::platform

#pragma once

#include <string>
#include <vector>

namespace tw::platform {

class Launcher {
public:
    virtual ~Launcher() = default;
    // Starts `program` with `arguments` as an argument vector, never through
    // a shell, and does not wait for it. False with the reason in `error`.
    virtual bool start(const std::string& program, const std::vector<std::string>& arguments,
                       std::string* error) = 0;
};

}  // namespace tw::platform

#include "platform/posix/spawn_launcher.h"

#include <cstring>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace tw::platform {

bool SpawnLauncher::start(const std::string& program, const std::vector<std::string>& arguments,
                          std::string* error) {
    std::erase_if(children_, [](int child) { return waitpid(child, nullptr, WNOHANG) != 0; });
    std::vector<std::string> words;
    words.reserve(arguments.size() + 1);
    words.push_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        if (error) *error = "cannot start " + program + ": " + std::strerror(rc);
        return false;
    }
    children_.push_back(pid);
    return true;
}

}  // namespace tw::platform

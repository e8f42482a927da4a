#include "simulated_station.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tw::integration {

namespace {

std::vector<char*> pointers_to(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (auto& word : words) pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return pointers;
}

std::string key_of(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// The test's environment with `extra` in place of the entries of the same
// names: a program reads the first of two, so an extra entry must replace
// what a run under faketime(1) inherited. A clock of the test's own is not
// shared with the processes of such a run.
std::vector<std::string> environment_with(std::vector<std::string> extra) {
    extra.push_back("TERRAWAVE_NO_CLOCK_SET=1");
    std::vector<std::string> replaced, entries;
    for (const auto& entry : extra) replaced.push_back(key_of(entry));
    if (std::find(replaced.begin(), replaced.end(), "FAKETIME") != replaced.end())
        replaced.push_back("FAKETIME_SHARED");
    for (char** e = environ; *e; ++e)
        if (std::find(replaced.begin(), replaced.end(), key_of(*e)) == replaced.end()) entries.emplace_back(*e);
    entries.insert(entries.end(), extra.begin(), extra.end());
    return entries;
}

int decode_status(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

RunResult run(const std::string& program, const std::vector<std::string>& arguments,
              std::chrono::milliseconds timeout, const std::vector<std::string>& environment) {
    char pattern[] = "/tmp/tw_run_XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("cannot make a folder for the outputs");
    const std::string folder = pattern;
    RunResult result;
    {
        Background process(program, arguments, folder + "/out", folder + "/err", environment);
        result.exit_status = process.wait(timeout);
        result.timed_out = result.exit_status == -1;  // killed as it goes
    }
    result.out = read_file(folder + "/out");
    result.err = read_file(folder + "/err");
    std::filesystem::remove_all(folder);
    return result;
}

Background::Background(const std::string& program, const std::vector<std::string>& arguments,
                       const std::string& out_file, const std::string& err_file,
                       const std::vector<std::string>& environment) {
    const int out_fd = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err_fd = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out_fd < 0 || err_fd < 0) throw std::runtime_error("cannot create output files");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_fd, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // A process group of its own: a signal reaches what the program starts
    // too (faketime(1) runs the program as its child).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<std::string> argv = {program}, env = environment_with(environment);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, &attributes, pointers_to(argv).data(),
                               pointers_to(env).data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out_fd);
    close(err_fd);
    if (rc != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
}

Background::~Background() {
    if (running()) {
        kill(-pid_, SIGKILL);
        wait(std::chrono::seconds(5));
    }
}

bool Background::running() {
    if (pid_ < 0 || status_ >= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    status_ = decode_status(status);
    return false;
}

void Background::signal(int number) {
    if (running()) kill(-pid_, number);
}

int Background::wait(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= end) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status_;
}

}  // namespace tw::integration

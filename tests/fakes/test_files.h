#pragma once
// Files for tests: a fresh folder of the test's own, removed afterwards,
// and whole files read back.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace tw::testing {

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The lines of a text without their CR LF or LF.
inline std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<std::string> read_lines(const std::filesystem::path& path) { return split_lines(read_file(path)); }

// What xmllint says against `schema` of the XML document `file`; empty when it is valid.
inline std::string schema_problems(const std::string& schema, const std::filesystem::path& file) {
    const std::string command = "xmllint --noout --schema " + schema + " " + file.string() + " 2>&1";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, p)) out += buffer;
        if (pclose(p) == 0) return "";
    }
    return out.empty() ? "xmllint failed" : out;
}

// An empty folder named after the running test, gone when this is.
class TestFolder {
public:
    TestFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("tw_" + std::to_string(::getpid()) + "_" + (info ? info->test_suite_name() + std::string("_") + info->name() : "x") +
                 "_" + std::to_string(counter_++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

}  // namespace tw::testing

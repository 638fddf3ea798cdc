#pragma once

// Running the project's command-line tools as the real processes users run.

#include <filesystem>
#include <string>
#include <vector>

namespace mwdx::test {

struct Outcome {
    int exitCode = -1; // 128 + signal when killed
    std::string out;
    std::string err;
};

// Runs args[0] (looked up on PATH when it has no '/'), optionally in another working folder,
// with this process's environment, and collects what it writes to stdout and stderr.
Outcome RunProcess(const std::vector<std::string>& args, const std::filesystem::path& workDir = {});

// The whole content of a file ("" when it cannot be read).
std::string Bytes(const std::filesystem::path& file);

// The names in a folder, sorted.
std::vector<std::string> Entries(const std::filesystem::path& folder);

// While it lives, files this process and its children write cannot grow past `bytes`: a write
// beyond fails with EFBIG, as a full disk fails part-way (SIGXFSZ is ignored meanwhile).
class FileSizeLimit final {
public:
    explicit FileSizeLimit(unsigned long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    void (*m_previousHandler)(int);
    unsigned long m_previousLimit;
};

inline bool Mentions(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

} // namespace mwdx::test

// A fresh folder made the working directory for one test, since the log and
// the configuration file live in the working directory. Removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <system_error>

class ScratchFolder {
public:
    explicit ScratchFolder(const char* prefix)
    {
        m_previous = std::filesystem::current_path();
        std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) m_dir = pattern;
        std::filesystem::current_path(m_dir);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
        std::filesystem::remove_all(m_dir, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& Path() const { return m_dir; }

private:
    std::filesystem::path m_previous;
    std::filesystem::path m_dir = "/tmp";
};

#pragma once

#include <filesystem>
#include <string>

/// A fresh private directory, removed with everything in it when the object goes.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return m_path; }
    /// A name inside the directory.
    std::filesystem::path operator/(const std::string &name) const
    {
        return std::filesystem::path(m_path) / name;
    }

private:
    std::string m_path;
};

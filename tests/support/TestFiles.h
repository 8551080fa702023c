// Files and environment variables a Windows test works with.
#pragma once

#include "support/TextLines.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline bool HasLine(const std::filesystem::path& file, const std::string& line) {
    const std::vector<std::string> lines = SplitLines(ReadFileText(file));
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A path removed before and after use: in the temporary directory when given
// a bare name.
class ScratchFile {
public:
    explicit ScratchFile(const std::filesystem::path& name)
        : path_(name.has_parent_path() ? name : std::filesystem::temp_directory_path() / name) {
        std::filesystem::remove(path_, error_);
    }
    ~ScratchFile() { std::filesystem::remove(path_, error_); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    std::error_code error_;
};

// Sets an environment variable for the lifetime of the object; programs the
// test starts inherit it.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::filesystem::path& value) : name_(name) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
};

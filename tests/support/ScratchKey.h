// A registry key a Windows test works in, put back as it was afterwards.
#pragma once

#include "win32/UniqueAny.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

// A key the test works in. Whatever part of its path the test made is removed
// afterwards with everything below it; otherwise only the values the test
// wrote go.
class ScratchKey {
public:
    ScratchKey(HKEY root, std::wstring path) : root_(root), path_(std::move(path)) {
        for (size_t end = 0; end != std::wstring::npos && created_.empty();) {
            end = path_.find(L'\\', end + 1);
            if (!Opens(path_.substr(0, end))) {
                created_ = path_.substr(0, end);
            }
        }
    }
    ~ScratchKey() {
        if (!created_.empty()) {
            RegDeleteTreeW(root_, created_.c_str());
            RegDeleteKeyW(root_, created_.c_str());
            return;
        }
        for (const std::wstring& name : written_) {
            RegDeleteKeyValueW(root_, path_.c_str(), name.c_str());
        }
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    void Create() {
        UniqueHKey key;
        ASSERT_EQ(RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key.put(), nullptr),
                  ERROR_SUCCESS);
    }
    void Set(const std::wstring& name, DWORD value) {
        written_.push_back(name);
        ASSERT_EQ(
            RegSetKeyValueW(root_, path_.c_str(), name.c_str(), REG_DWORD, &value, sizeof(value)),
            ERROR_SUCCESS);
    }
    std::optional<DWORD> Get(const std::wstring& name) const {
        DWORD value = 0;
        DWORD size = sizeof(value);
        if (RegGetValueW(root_, path_.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value,
                         &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return value;
    }
    // Values the plug-in writes are removed with the test's own.
    void Track(std::initializer_list<std::wstring> names) {
        written_.insert(written_.end(), names);
    }

private:
    bool Opens(const std::wstring& path) const {
        UniqueHKey key;
        return RegOpenKeyExW(root_, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
    }

    HKEY root_;
    std::wstring path_;
    std::wstring created_;  // the outermost key of the path that was missing
    std::vector<std::wstring> written_;
};

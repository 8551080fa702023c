// Captures the plug-in's log lines in a Windows test, while the capture lives.
#pragma once

#include "HostFiles.h"
#include "NxLogger.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

// The singleton's lines as "<level> <text>", and the named loggers' lines as
// "<name>: <level> <text>", while the capture lives.
class LogCapture {
public:
    LogCapture() {
        previous_ = NxLogger::GetInstance().SetSink(
            [this](LOG_MESSAGE_LEVEL level, const std::wstring& name, const std::wstring& text) {
                std::string line = std::to_string(level) + " " + ToUtf8(text);
                std::lock_guard lock(mutex_);
                lines_.push_back(name.empty() ? line : ToUtf8(name) + ": " + line);
            });
    }
    ~LogCapture() { NxLogger::GetInstance().SetSink(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    bool Contains(const std::string& line) const {
        std::lock_guard lock(mutex_);
        return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
    }

private:
    NxLogger::Sink previous_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

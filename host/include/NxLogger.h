// The host's logging singleton.
//
// One line per call: the caller builds the whole text in a wide stream. On
// Windows lines are appended to NxReVadiruServicePlugin.log beside the host
// executable (or to NX_LOG_FILE when set) with a timestamp, the level and the
// thread id; natively they go into the simulated machine's journal as "log"
// entries. Tests may also capture lines with a sink.
#pragma once

#include "win32/SrwLock.h"

#include <functional>
#include <mutex>
#include <sstream>
#include <string>

enum LOG_MESSAGE_LEVEL {
    LOG_LEVEL_TRACE = 1,
    LOG_LEVEL_DEBUG = 2,
    LOG_LEVEL_INFO = 3,
    LOG_LEVEL_ERROR = 4,
};

class NxLogger {
public:
    using Sink = std::function<void(LOG_MESSAGE_LEVEL, const std::wstring& loggerName,
                                    const std::wstring& text)>;

    static NxLogger& GetInstance();

    void Log(LOG_MESSAGE_LEVEL level, const std::wostringstream& line);
    // Lines of a named logger (see Logger) travel the same way under that name.
    void LogNamed(LOG_MESSAGE_LEVEL level, const std::wstring& loggerName,
                  const std::wstring& text);

    // Replaces where lines go; an empty sink restores the default. Returns the previous one.
    Sink SetSink(Sink sink);

private:
    NxLogger() = default;
    SrwMutex mutex_;
    Sink sink_;
};

// A named logger; its lines go where the singleton's go, under its name.
class Logger {
public:
    explicit Logger(std::wstring name) : name_(std::move(name)) {}
    virtual ~Logger() = default;
    void Log(LOG_MESSAGE_LEVEL level, const std::wstring& text) const {
        NxLogger::GetInstance().LogNamed(level, name_, text);
    }
    const std::wstring& Name() const { return name_; }

private:
    std::wstring name_;
};

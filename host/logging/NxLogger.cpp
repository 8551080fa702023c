#include "NxLogger.h"

#include "LastErrorKeeper.h"

// Where lines go when no sink was set; one definition per platform.
void WriteDefaultLogLine(LOG_MESSAGE_LEVEL level, const std::wstring& loggerName,
                         const std::wstring& text);

NxLogger& NxLogger::GetInstance() {
    static NxLogger instance;
    return instance;
}

void NxLogger::Log(LOG_MESSAGE_LEVEL level, const std::wostringstream& line) {
    LogNamed(level, std::wstring(), line.str());
}

void NxLogger::LogNamed(LOG_MESSAGE_LEVEL level, const std::wstring& loggerName,
                        const std::wstring& text) {
    const LastErrorKeeper keeper;
    std::lock_guard<SrwMutex> lock(mutex_);
    if (sink_) {
        sink_(level, loggerName, text);
    } else {
        WriteDefaultLogLine(level, loggerName, text);
    }
}

NxLogger::Sink NxLogger::SetSink(Sink sink) {
    std::lock_guard<SrwMutex> lock(mutex_);
    std::swap(sink_, sink);
    return sink;
}

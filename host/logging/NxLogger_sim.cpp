// Natively every line becomes a journal entry of the simulated machine, so that
// tests see log lines in order with every other effect: kind "log" for the
// singleton, "log.<name>" for a named logger; text "<level> <line>".
#include "NxLogger.h"

#include <winsim/Machine.h>

void WriteDefaultLogLine(LOG_MESSAGE_LEVEL level, const std::wstring& loggerName,
                         const std::wstring& text) {
    const std::string kind = loggerName.empty() ? "log" : "log." + winsim::Narrow(loggerName);
    winsim::Current().Record(kind,
                             std::to_string(static_cast<int>(level)) + " " + winsim::Narrow(text));
}

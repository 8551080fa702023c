// The host's usage-event facility: an event id with named integer fields.
//
// Where reports go: on Windows one line per event is appended to
// NxUsageEvents.log beside the host executable (or to the file named by the
// environment variable NX_USAGE_EVENT_FILE), as
// "<time> <event id> <name>=<value> ..."; natively each report becomes a
// journal entry of the simulated machine, kind "usage", text
// "<event id> <name>=<value> ...".
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class KyEvent {
public:
    explicit KyEvent(int32_t eventId) : eventId_(eventId) {}
    virtual ~KyEvent() = default;

    KyEvent& PutInt(const std::string& key, int32_t value) {
        fields_.emplace_back(key, value);
        return *this;
    }
    int32_t EventId() const { return eventId_; }
    // The fields in the order they were put.
    const std::vector<std::pair<std::string, int32_t>>& Fields() const { return fields_; }
    // "<event id> <name>=<value> ..."
    std::string Describe() const;

private:
    int32_t eventId_;
    std::vector<std::pair<std::string, int32_t>> fields_;
};

class KyView {
public:
    static void Report(KyEvent& event);
};

// gmock matchers over the simulated machine's journal (winsim::JournalEntry):
// each names one effect that a user or another program could see, so that a
// case states its one fact instead of a recorded transcript.
//   EXPECT_THAT(machine().Journal(), InOrder(Posted(0x590000, 0x590003, ""),
//                                            DeletedKey(kIddSettingsKey)));
//   EXPECT_THAT(machine().Journal(), Contains(Signalled("NxReVadiru.exe")).Times(1));
#pragma once

#include "support/SessionPcSetUp.h"

#include <winsim/Machine.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace winsim {

inline void PrintTo(const JournalEntry& entry, std::ostream* out) {
    *out << entry.kind << ": " << entry.text;
}

}  // namespace winsim

namespace simtest {

using EntryMatcher = ::testing::Matcher<const winsim::JournalEntry&>;

// An entry of `kind` whose text matches `text`, a text or a text matcher.
MATCHER_P2(EntryIs, kind, text,
           std::string(kind) + ": " + ::testing::DescribeMatcher<const std::string&>(text)) {
    return arg.kind == kind && ::testing::Matcher<const std::string&>(text).Matches(arg.text);
}

// A line of the logging singleton: "<level> <text>(<operation>)".
inline EntryMatcher Logged(int level, const std::string& text, const std::string& operation) {
    return EntryIs("log", std::to_string(level) + " " + text + "(" + operation + ")");
}
// Any line of the singleton that holds `text`.
inline EntryMatcher LogMentions(const std::string& text) {
    return EntryIs("log", ::testing::HasSubstr(text));
}

inline std::string BusId(int32_t id) {
    std::ostringstream text;
    text << "0x" << std::hex << id;
    return text.str();
}
// A message posted to `receiver`; `fields` are the item's other fields that
// differ from their defaults, as the bus journals them ("len=7 type=0").
inline EntryMatcher Posted(int32_t receiver, int32_t msgId, const std::string& body,
                           const std::string& fields = "") {
    return EntryIs("post", BusId(receiver) + " " + BusId(msgId) + " \"" + body + "\"" +
                               (fields.empty() ? "" : " " + fields));
}
inline EntryMatcher Published(int32_t msgId, const std::string& body) {
    return EntryIs("publish", BusId(msgId) + " \"" + body + "\"");
}

// A program started by `call` (the function, the account and the session).
inline EntryMatcher StartedBy(const std::string& call, const std::wstring& commandLine) {
    using ::testing::HasSubstr;
    return EntryIs("process",
                   ::testing::AllOf(::testing::StartsWith(call),
                                    HasSubstr(" cmd=<" + winsim::Narrow(commandLine) + "> "),
                                    HasSubstr(" -> pid ")));
}
// A program started on the console user's desktop with that user's token.
inline EntryMatcher StartedAsConsoleUser(const std::wstring& commandLine) {
    return StartedBy("CreateProcessAsUserW user=<" + winsim::Narrow(kUser.name) + "> session=1 ",
                     commandLine);
}
// A command started in the service's own account and session, without a
// window, inheriting the service's handles.
inline EntryMatcher StartedAsService(const std::wstring& commandLine) {
    return ::testing::AllOf(
        StartedBy("CreateProcessW user=<NT AUTHORITY\\SYSTEM> session=0 ", commandLine),
        EntryIs("process", ::testing::HasSubstr(" flags=0x8000000 inherit=1 ")));
}
inline EntryMatcher Ended(const std::string& image) {
    return EntryIs("process", ::testing::StartsWith("ended <" + image + "> "));
}

// `key` is the root's name and the path, e.g. L"HKEY_CURRENT_USER\\SOFTWARE".
inline EntryMatcher SetValue(const std::wstring& key, const std::wstring& name, int64_t value) {
    return EntryIs("registry", "set " + winsim::Narrow(key) + "\\" + winsim::Narrow(name) + " = " +
                                   std::to_string(static_cast<uint32_t>(value)));
}
// A value set in the console user's hive, `path` below the user's key.
inline EntryMatcher SetUserValue(const std::wstring& path, const std::wstring& name,
                                 int64_t value) {
    return SetValue(L"HKEY_USERS\\" + kUser.sid + L"\\" + path, name, value);
}
inline EntryMatcher DeletedKey(const std::wstring& key) {
    return EntryIs("registry", "delete " + winsim::Narrow(key));
}

inline EntryMatcher Signalled(const std::string& event) {
    return EntryIs("event", "SetEvent " + event);
}
inline EntryMatcher SetMute(bool muted) {
    return EntryIs("audio", std::string("SetMute console ") + (muted ? "1" : "0"));
}
// A usage event of the collaboration center.
inline EntryMatcher Reported(int exitType, int launchType) {
    return EntryIs("usage", "992612907 ZarExitType=" + std::to_string(exitType) +
                                " ZarLaunchType=" + std::to_string(launchType));
}

// The recovery's keyboard release report, 01 08 01 and ninety zero bytes, as
// dumped: each byte a space and two hex digits.
inline std::string ReleaseReportDump() {
    std::string dump = " 01 08 01";
    for (int i = 0; i < 90; ++i) {
        dump += " 00";
    }
    return dump;
}
inline EntryMatcher WroteReleaseReport(const std::wstring& interfacePath) {
    return EntryIs("hid",
                   "write " + winsim::Narrow(interfacePath) + " 93 bytes" + ReleaseReportDump());
}

// The steps' descriptions, numbered, one a line.
inline std::string Numbered(const std::vector<EntryMatcher>& steps) {
    std::string text;
    for (size_t step = 0; step < steps.size(); ++step) {
        text += "\n  " + std::to_string(step + 1) + ". " +
                ::testing::DescribeMatcher<const winsim::JournalEntry&>(steps[step]);
    }
    return text;
}

// The journal holds entries matching `steps`, in that order, others between them.
MATCHER_P(HasInOrder, steps,
          std::string(negation ? "does not have" : "has") + ", in this order:" + Numbered(steps)) {
    auto at = arg.begin();
    for (size_t step = 0; step < steps.size(); ++step, ++at) {
        at = std::find_if(at, arg.end(),
                          [&](const auto& entry) { return steps[step].Matches(entry); });
        if (at == arg.end()) {
            *result_listener << "step " << step + 1
                             << " is missing after the earlier ones; the journal:";
            for (const auto& entry : arg) {
                *result_listener << "\n  " << entry.kind << ": " << entry.text;
            }
            return false;
        }
    }
    return true;
}

template <class... Steps>
auto InOrder(const Steps&... steps) {
    return HasInOrder(std::vector<EntryMatcher>{EntryMatcher(steps)...});
}

}  // namespace simtest

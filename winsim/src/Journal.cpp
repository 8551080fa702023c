#include "MachineState.h"

#include <algorithm>

namespace winsim {

void Machine::Record(const std::string& kind, const std::string& text) {
    auto lock = state_->Locked();
    state_->journal.push_back(JournalEntry{kind, text, state_->now});
}

std::vector<JournalEntry> Machine::Journal() const {
    auto lock = state_->Locked();
    return state_->journal;
}

std::vector<std::string> Machine::JournalTexts(const std::string& kind) const {
    auto lock = state_->Locked();
    std::vector<std::string> texts;
    for (const auto& entry : state_->journal) {
        if (entry.kind == kind) {
            texts.push_back(entry.text);
        }
    }
    return texts;
}

std::vector<std::string> Machine::JournalLines(const std::vector<std::string>& kinds) const {
    auto lock = state_->Locked();
    std::vector<std::string> lines;
    for (const auto& entry : state_->journal) {
        if (kinds.empty() || std::find(kinds.begin(), kinds.end(), entry.kind) != kinds.end()) {
            lines.push_back(entry.kind + ": " + entry.text);
        }
    }
    return lines;
}

void Machine::ClearJournal() {
    auto lock = state_->Locked();
    state_->journal.clear();
}

}  // namespace winsim

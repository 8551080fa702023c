#include "KyView.h"

std::string KyEvent::Describe() const {
    std::string text = std::to_string(eventId_);
    for (const auto& [name, value] : fields_) {
        text += " " + name + "=" + std::to_string(value);
    }
    return text;
}

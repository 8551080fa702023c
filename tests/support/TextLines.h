// Splits program output into lines: "\n" or "\r\n" ends a line; a last line
// without an end is left out, since its writer has not finished it.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        const size_t length = end > start && text[end - 1] == '\r' ? end - start - 1 : end - start;
        lines.push_back(text.substr(start, length));
        start = end + 1;
    }
    return lines;
}

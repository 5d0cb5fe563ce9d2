// Line splitting shared by the line-oriented readers.
#pragma once

#include <cstddef>
#include <string_view>

namespace qs::text {

// Calls f(line) for each line of the text, split at every line feed. A carriage return
// directly before a line feed belongs to the break; a final line feed adds no empty
// line; a lone carriage return is an ordinary character.
template <class F>
void for_each_line(std::string_view text, F&& f) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t lf = text.find('\n', pos);
        std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        if (lf != std::string_view::npos && end > pos && text[end - 1] == '\r') --end;
        f(text.substr(pos, end - pos));
        if (lf == std::string_view::npos) break;
        pos = lf + 1;
    }
}

}  // namespace qs::text

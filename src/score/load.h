// Loading a chart from a file or from text of unstated format.
#pragma once

#include <string>
#include <string_view>

#include "common/check.h"
#include "score/score.h"

namespace qs {

struct LoadError {
    int os_error = 0;     // errno of an operating-system error; 0 for a message error
    std::string message;  // strerror text, or the message itself

    // "{message} (os error {n})" or the message alone.
    std::string text() const;
};

// Reads the whole file as UTF-8 text (the file is closed before returning).
Result<std::string, LoadError> read_text_file(std::string_view path);

Result<Score, LoadError> open_score(std::string_view path);
Result<Score, LoadError> open_sus_file(std::string_view path);
Result<Score, LoadError> open_json_file(std::string_view path);
bool looks_like_json(std::string_view text);
// Chart JSON when the text looks like JSON, else SUS; the error is the JSON message.
Result<Score> load_score_text(std::string_view text);

}  // namespace qs

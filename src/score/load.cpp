// Loading a chart from a file, choosing the reader by extension and first character.
#include "score/load.h"

#include <cerrno>
#include <optional>
#include <string>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "score/sus.h"
#include "score_json/score_json.h"
#include "text/unicode.h"

namespace qs {
namespace {

// strerror_r comes in two flavours; both end up here.
[[maybe_unused]] std::string pick_error_text(const char* result, const char*) { return result; }
[[maybe_unused]] std::string pick_error_text(int result, const char* buffer) {
    return result == 0 ? std::string(buffer) : std::string("Unknown error");
}

LoadError os_error(int code) {
    char buffer[256] = {0};
    return LoadError{code, pick_error_text(strerror_r(code, buffer, sizeof buffer), buffer)};
}

LoadError message_error(std::string message) { return LoadError{0, std::move(message)}; }

// Closes the descriptor on every path out of the read.
struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// The extension of the path's last component, as a path library reports it: trailing
// separators and "." components are ignored; "..", a root or an empty path have none;
// a name whose only dot is its first character has none.
std::optional<std::string_view> path_extension(std::string_view path) {
    std::string_view last;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string_view::npos) slash = path.size();
        std::string_view part = path.substr(pos, slash - pos);
        if (!part.empty() && part != ".") last = part;
        pos = slash + 1;
    }
    if (last.empty() || last == "..") return std::nullopt;
    std::size_t dot = last.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return std::nullopt;
    return last.substr(dot + 1);
}

bool is_json_extension(std::string_view path) {
    auto ext = path_extension(path);
    if (!ext || ext->size() != 4 || !text::is_valid_utf8(*ext)) return false;
    static constexpr char JSON[] = "json";
    for (std::size_t i = 0; i < 4; ++i) {
        char c = (*ext)[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != JSON[i]) return false;
    }
    return true;
}

Result<Score, LoadError> from_json(std::string_view text) {
    auto r = read_chart_json(text);
    if (!r.ok()) return Result<Score, LoadError>::failure(message_error(r.error()));
    return std::move(r).value();
}

}  // namespace

std::string LoadError::text() const {
    if (os_error == 0) return message;
    return message + " (os error " + std::to_string(os_error) + ")";
}

Result<std::string, LoadError> read_text_file(std::string_view path) {
    using R = Result<std::string, LoadError>;
    if (path.find('\0') != std::string_view::npos)
        return R::failure(message_error("file name contained an unexpected NUL byte"));
    std::string data;
    {
        FileDescriptor file;
        const std::string c_path(path);
        do {
            file.fd = ::open(c_path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (file.fd < 0 && errno == EINTR);
        if (file.fd < 0) return R::failure(os_error(errno));
        struct stat info {};
        if (::fstat(file.fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
            data.reserve(static_cast<std::size_t>(info.st_size));
        char buffer[65536];
        while (true) {
            ssize_t n = ::read(file.fd, buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR) continue;
                return R::failure(os_error(errno));
            }
            if (n == 0) break;
            data.append(buffer, static_cast<std::size_t>(n));
        }
    }  // closed here, before the text is checked or parsed
    if (!text::is_valid_utf8(data)) return R::failure(message_error("stream did not contain valid UTF-8"));
    return data;
}

bool looks_like_json(std::string_view text) {
    std::string_view rest = text::trim_start(text);
    return !rest.empty() && (rest.front() == '{' || rest.front() == '[');
}

Result<Score, LoadError> open_score(std::string_view path) {
    auto file = read_text_file(path);
    if (!file.ok()) return Result<Score, LoadError>::failure(file.error());
    const std::string& text = file.value();
    if (is_json_extension(path) || looks_like_json(text)) return from_json(text);
    return read_sus(text);
}

Result<Score, LoadError> open_sus_file(std::string_view path) {
    auto file = read_text_file(path);
    if (!file.ok()) return Result<Score, LoadError>::failure(file.error());
    return read_sus(file.value());
}

Result<Score, LoadError> open_json_file(std::string_view path) {
    auto file = read_text_file(path);
    if (!file.ok()) return Result<Score, LoadError>::failure(file.error());
    return from_json(file.value());
}

Result<Score> load_score_text(std::string_view text) {
    if (looks_like_json(text)) return read_chart_json(text);
    return read_sus(text);
}

}  // namespace qs

// printf-style formatting into strings, and the vault's numbered error.
#include <cstdio>
#include <vector>

#include "VaultLog.h"
#include "VaultUtilities.h"

namespace VaultUtilities {

std::string formatMessageV(const char* format, va_list args) {
    if (format == nullptr) return std::string();
    std::vector<char> buffer(256);
    for (;;) {
        va_list attempt;
        va_copy(attempt, args);
        const int needed = std::vsnprintf(buffer.data(), buffer.size(), format, attempt);
        va_end(attempt);
        if (needed < 0) return std::string();  // an encoding error in the arguments
        if (static_cast<size_t>(needed) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(needed));
        buffer.resize(static_cast<size_t>(needed) + 1);
    }
}

std::string formatMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatMessageV(format, args);
    va_end(args);
    return text;
}

Error::Error(int number, unsigned messageId, const char* format, ...)
    : std::runtime_error(std::string()), number_(number), messageId_(messageId) {
    va_list args;
    va_start(args, format);
    std::string text = formatMessageV(format, args);
    va_end(args);
    static_cast<std::runtime_error&>(*this) = std::runtime_error(text);
}

Error::Error(int number, unsigned messageId, const std::string& text)
    : std::runtime_error(text), number_(number), messageId_(messageId) {}

Error::~Error() = default;

void Error::logShow(const LogOptions* options) const { log_show(options, 0, messageId_, what()); }

}  // namespace VaultUtilities

// The one-line text form of a pool operation command, without the look-ups:
// reading a text into a sequence of typed values, and writing the pieces back.
//
// Text form: a double-quote, the body, a double-quote; the body is
//   PoolCmd:Cmd=<signed>;TaskId=<unsigned>;Safesets=<n>,<n>...;PoolGuid=<text>;Parameters=<p>,<p>...
// Nothing is escaped. Numbers follow boost::lexical_cast: decimal digits with
// an optional sign, no blanks; "-n" read as unsigned wraps modulo 2^32.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Veshmoor {
namespace detail {

// The value that marks a command code as not set.
constexpr int32_t kCommandNotSet = 0x7FFFFFFF;

// Receives the values of a command text in the order the text gives them.
class CommandTextSink {
public:
    virtual ~CommandTextSink() = default;
    virtual void onCommand(int32_t code) = 0;
    virtual void onTaskId(uint32_t taskId) = 0;
    virtual void onSafeset(uint32_t safeset) = 0;
    virtual void onPoolGuid(const std::string& guid) = 0;
    virtual void onParameter(const std::string& parameter) = 0;
};

// Reads `text` and hands every recognised value to `sink`, token by token.
// Keys are matched ignoring ASCII case; unknown keys, tokens without "=" and
// tokens with nothing after "=" are ignored; pieces after a second "=" are
// ignored. A number that does not convert throws boost::bad_lexical_cast at
// the point it is met (values before it have been delivered). Exceptions of
// the sink pass through.
void readCommandText(std::string_view text, CommandTextSink& sink);

// The text form of the given values.
std::string writeCommandText(int32_t code, uint32_t taskId, const std::vector<uint32_t>& safesets,
                             const std::string& poolGuid, const std::vector<std::string>& parameters);

}  // namespace detail
}  // namespace Veshmoor

#include "CommandText.h"

#include <boost/lexical_cast.hpp>

#include "TextRules.h"

namespace Veshmoor {
namespace detail {

namespace {

enum class Key { Command, TaskId, Safesets, PoolGuid, Parameters, Other };

Key classify(std::string_view key) {
    if (equalsIgnoringCase(key, "PoolCmd:Cmd")) return Key::Command;
    if (equalsIgnoringCase(key, "TaskId")) return Key::TaskId;
    if (equalsIgnoringCase(key, "Safesets")) return Key::Safesets;
    if (equalsIgnoringCase(key, "PoolGuid")) return Key::PoolGuid;
    if (equalsIgnoringCase(key, "Parameters")) return Key::Parameters;
    return Key::Other;
}

template <typename Number>
Number toNumber(std::string_view text) {
    return boost::lexical_cast<Number>(text.data(), text.size());
}

bool isSemicolon(char c) { return c == ';'; }
bool isEquals(char c) { return c == '='; }
bool isComma(char c) { return c == ','; }
bool isSafesetSeparator(char c) { return c == ',' || isAsciiSpace(c); }

void readToken(std::string_view token, CommandTextSink& sink) {
    std::string_view key, value;
    int pieces = 0;
    forEachPiece(token, isEquals, [&](std::string_view piece) {
        (pieces == 0 ? key : value) = piece;
        return ++pieces < 2;
    });
    if (pieces < 2) return;
    switch (classify(key)) {
        case Key::Command:
            sink.onCommand(toNumber<int32_t>(value));
            break;
        case Key::TaskId:
            sink.onTaskId(toNumber<uint32_t>(value));
            break;
        case Key::Safesets:
            forEachPiece(value, isSafesetSeparator, [&](std::string_view piece) {
                sink.onSafeset(toNumber<uint32_t>(piece));
                return true;
            });
            break;
        case Key::PoolGuid:
            sink.onPoolGuid(std::string(value));
            break;
        case Key::Parameters:
            forEachPiece(value, isComma, [&](std::string_view piece) {
                sink.onParameter(std::string(piece));
                return true;
            });
            break;
        case Key::Other:
            break;
    }
}

}  // namespace

void readCommandText(std::string_view text, CommandTextSink& sink) {
    // Enclosing quotes are two characters: a lone '"' is not enclosed.
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    forEachPiece(text, isSemicolon, [&](std::string_view token) {
        readToken(token, sink);
        return true;
    });
}

std::string writeCommandText(int32_t code, uint32_t taskId, const std::vector<uint32_t>& safesets,
                             const std::string& poolGuid, const std::vector<std::string>& parameters) {
    std::string text;
    text.reserve(64 + poolGuid.size() + 11 * safesets.size());
    text += "\"PoolCmd:Cmd=";
    text += std::to_string(code);
    text += ";TaskId=";
    text += std::to_string(taskId);
    text += ";Safesets=";
    for (size_t i = 0; i < safesets.size(); ++i) {
        if (i) text += ',';
        text += std::to_string(safesets[i]);
    }
    text += ";PoolGuid=";
    text += poolGuid;
    text += ";Parameters=";
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (i) text += ',';
        text += parameters[i];
    }
    text += '"';
    return text;
}

}  // namespace detail
}  // namespace Veshmoor

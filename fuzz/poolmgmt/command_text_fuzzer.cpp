// Reads any text as a pool command. Reading may fail only with the errors
// its callers expect; a command that is read is written back and read again,
// and when its GUID and parameters hold no separator the second reading must
// give the same command and the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <boost/lexical_cast.hpp>

#include "CommandAssembler.h"
#include "FakeCommand.h"

using namespace Veshmoor::testing;

namespace {

bool readCommand(const std::string& text, FakeCommand& command) {
    FakeLookups lookups;
    try {
        Veshmoor::detail::assembleCommand(text, command, lookups);
        return true;
    } catch (const boost::bad_lexical_cast&) {
    } catch (const VaultUtilities::Error&) {
    } catch (const std::runtime_error&) {
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    FakeCommand command;
    if (!readCommand(text, command)) return 0;
    bool clean = survivesRoundTrip(command.poolDescriptor->guid);
    for (const std::string& parameter : command.parameters) clean = clean && survivesRoundTrip(parameter);
    if (!clean) return 0;

    const std::string written = toText(command);
    FakeCommand again;
    if (!readCommand(written, again)) std::abort();
    if (again.command != command.command || again.task->id != command.task->id || again.safesets != command.safesets ||
        again.poolDescriptor->guid != command.poolDescriptor->guid || again.parameters != command.parameters ||
        toText(again) != written)
        std::abort();
    return 0;
}

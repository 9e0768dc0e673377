// The round-trip property: writing a command and reading the text back gives
// the same code, task, safesets, pool GUID and parameters, for GUIDs and
// parameters without separators or quotes.
#include <gtest/gtest.h>

#include <random>

#include "CommandAssembler.h"
#include "FakeCommand.h"

namespace {

using namespace Veshmoor::testing;

std::string randomText(std::mt19937& random, bool allowEmpty) {
    // Letters, digits, blanks, punctuation that is not a separator, and
    // bytes of 0x80 and above.
    static const std::string alphabet = "abcXYZ019 -_{}()!:.\t\x80\xc3\xa9\xff";
    std::uniform_int_distribution<size_t> length(allowEmpty ? 0 : 1, 12);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::string text;
    for (size_t n = length(random); n > 0; --n) text += alphabet[pick(random)];
    return text;
}

TEST(RoundTrip, WriteThenReadGivesTheSameCommand) {
    std::mt19937 random(20261210);
    std::uniform_int_distribution<uint32_t> anyNumber;
    for (int round = 0; round < 2000; ++round) {
        FakeCommand original;
        original.command = static_cast<int32_t>(anyNumber(random));
        original.task.reset(new DataObjects::TaskDataObject());
        original.task->id = 1 + anyNumber(random) % 20;
        for (uint32_t n = anyNumber(random) % 5; n > 0; --n) original.safesets.push_back(anyNumber(random));
        const std::string guid = randomText(random, false);
        original.poolDescriptor.reset(new FakeDescriptor{guid, original.task->id});
        for (uint32_t n = anyNumber(random) % 4; n > 0; --n) original.parameters.push_back(randomText(random, false));
        if (original.command == 0x7FFFFFFF) continue;

        const std::string text = toText(original);
        FakeCommand copy;
        FakeLookups lookups;
        Veshmoor::detail::assembleCommand(text, copy, lookups);
        ASSERT_EQ(copy.command, original.command) << text;
        ASSERT_EQ(copy.task->id, original.task->id) << text;
        ASSERT_EQ(copy.safesets, original.safesets) << text;
        ASSERT_EQ(copy.poolDescriptor->guid, original.poolDescriptor->guid) << text;
        ASSERT_EQ(copy.parameters, original.parameters) << text;
        ASSERT_EQ(toText(copy), text);
    }
}

}  // namespace

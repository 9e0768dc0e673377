#include "MessageCatalogue.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageCatalogue, RendersEachTemplateShape) {
    struct Case {
        unsigned id;
        std::string text;
        std::string expected;
    } cases[] = {
        {4097, "Tool version: 8.00.7416", "TREVALON-I-0001 Tool version: 8.00.7416"},
        {4098, "w", "TREVALON-W-0002 w"},
        {4099, "e", "TREVALON-E-0003 e"},
        {4100, "f", "TREVALON-F-0004 f"},
        // One "%s" only: the text has nowhere to go.
        {4268, "ignored", "TREVALON-E-0172 submit request failed"},
        {4485, "task 7",
         "TREVALON-W-0384 This feature is disabled by local settings for task 'task 7'. Will not process it."},
        {16385, "trace", "TREVALON-T-1111 trace"},
        // Unknown identifier: still a line, naming the identifier.
        {4321, "lost?", "TREVALON-?-4321 lost?"},
    };
    for (const auto& c : cases) EXPECT_EQ(MessageCatalogue::render(c.id, "TREVALON", c.text), c.expected) << c.id;
}

TEST(MessageCatalogue, ForeignTextIsCopiedLiterally) {
    // Conversion specifiers in the text or prefix must never be interpreted.
    EXPECT_EQ(MessageCatalogue::render(4097, "P%s", "100% %s %n %d%%"), "P%s-I-0001 100% %s %n %d%%");
    const std::string withNul("a\0b", 3);
    EXPECT_EQ(MessageCatalogue::render(4098, "P", withNul), "P-W-0002 " + withNul);
}

TEST(MessageCatalogue, FindTemplateKnowsTheTableOnly) {
    EXPECT_STREQ(MessageCatalogue::findTemplate(4099), "%s-E-0003 %s");
    EXPECT_STREQ(MessageCatalogue::findTemplate(16385), "%s-T-1111 %s");
    EXPECT_EQ(MessageCatalogue::findTemplate(0), nullptr);
    EXPECT_EQ(MessageCatalogue::findTemplate(4101), nullptr);
    EXPECT_EQ(MessageCatalogue::findTemplate(0xFFFFFFFFu), nullptr);
}

}  // namespace

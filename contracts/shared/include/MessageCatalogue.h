// The message catalogue: templates of the vault's log lines by identifier.
#pragma once

#include <string>

#include "SharedApi.h"

namespace MessageCatalogue {

// The template of `messageId`, or nullptr when the catalogue does not hold it.
SHARED_API const char* findTemplate(unsigned messageId);

// Renders a template: its first "%s" receives `prefix`, its second `text`.
// An unknown identifier still gives a readable line naming the identifier.
SHARED_API std::string render(unsigned messageId, const std::string& prefix, const std::string& text);

}  // namespace MessageCatalogue

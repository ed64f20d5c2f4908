#pragma once
// The explanatory sentences of the report, looked up by key. The table is a list of lines in
// sections: a header line "[Key]", the section's text lines, then an empty line.
#include <span>
#include <string>
#include <string_view>

namespace ovista {

// The lines of the message table, headers included, in their fixed order.
std::span<const std::string_view> MessageTableLines();

// The text of the section whose header is "[" + key + "]" (key case-blind): its lines joined
// with single spaces, running up to the next line that holds "[" anywhere or the end of the
// table; empty lines are skipped. A missing key shows "Could not find message for " + key as
// an information message and gives empty text, so the report goes on with a gap.
std::string LookupMessage(std::string_view key);

// The same lookup over any list of lines (the report's own table is MessageTableLines()).
std::string LookupMessage(std::span<const std::string_view> table, std::string_view key);

}  // namespace ovista

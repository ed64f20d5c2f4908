#include "herd/text_decode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovista {
namespace {

TEST(RecordTextToUtf8, KeepsValidUtf8AndReadsEverythingElseAsWindows1252) {
    struct Case {
        std::string bytes;
        std::string utf8;
    };
    const std::vector<Case> cases = {
        {"Smith, J", "Smith, J"},
        {"M\xC3\xBCller", "M\xC3\xBCller"},                // saved as UTF-8
        {"M\xFCller", "M\xC3\xBCller"},                    // saved as Windows-1252
        {"\x80 5 \x96 Kr\xE4he", "\xE2\x82\xAC 5 \xE2\x80\x93 Kr\xC3\xA4he"},
        {"\x81\xC3\xBC", "\xEF\xBF\xBD\xC3\x83\xC2\xBC"},  // neither: undefined byte, then 1252
        {"\xC3", "\xC3\x83"},                              // a cut-off sequence
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                  // an overlong form is not UTF-8
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // nor a surrogate
        {"\xF0\x9F\x90\x84", "\xF0\x9F\x90\x84"},          // four bytes are
    };
    for (const Case& c : cases) EXPECT_EQ(RecordTextToUtf8(c.bytes), c.utf8) << c.bytes;
}

}  // namespace
}  // namespace ovista

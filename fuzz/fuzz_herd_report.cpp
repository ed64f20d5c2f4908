// Stored-result files of any length through LoadHerdReport. A damaged or foreign file must
// load without reading outside the input or the record, every field must come from its own
// offset, and storing what was loaded must reach a fixed point at once.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/herd_report.h"
#include "fuzz/fuzz_support.h"

namespace {

using ovista::HerdReportBytes;
using ovista::kHerdReportSize;

struct TextField {
    std::size_t offset;
    std::size_t max;
};

std::vector<TextField> TextFields() {
    using namespace ovista;
    std::vector<TextField> texts = {{0, kOwnerMax}, {41, kAddressMax}, {292, kSHNOMax}};
    for (std::size_t t = 0; t < kTechnicianCount; ++t) {
        texts.push_back({herd_report_offset::kTechnicians + t * herd_report_offset::kTechnicianEntrySize, kTechMax});
    }
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ovista::fuzz::FixToday();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ovista;
    const HerdReport loaded = LoadHerdReport(data, size);
    FUZZ_CHECK(loaded.Owner.size() <= kOwnerMax, "");
    FUZZ_CHECK(loaded.Address.size() <= kAddressMax, "");
    FUZZ_CHECK(loaded.SHNO.size() <= kSHNOMax, "");
    for (const TechnicianEntry& entry : loaded.Technicians) FUZZ_CHECK(entry.Tech.size() <= kTechMax, "");
    (void)IsReportPrintable(loaded);

    // A store rewrites only a text's length byte (clamped to the field) and the bytes after
    // its characters (zeroed); every other byte must come back as it was read, which a
    // field read from the wrong offset or with the wrong width would not.
    auto given = [&](std::size_t at) -> std::uint8_t { return at < size ? data[at] : 0; };
    const HerdReportBytes stored = StoreHerdReport(loaded);
    std::array<bool, kHerdReportSize> rewritten{};
    static const std::vector<TextField> texts = TextFields();
    for (const TextField& text : texts) {
        const std::size_t length = std::min<std::size_t>(given(text.offset), text.max);
        FUZZ_CHECK(stored[text.offset] == length, "length byte at " + std::to_string(text.offset));
        for (std::size_t k = 0; k <= text.max; ++k) rewritten[text.offset + k] = k == 0 || k > length;
        for (std::size_t k = length + 1; k <= text.max; ++k) {
            FUZZ_CHECK(stored[text.offset + k] == 0, "text tail at " + std::to_string(text.offset + k));
        }
    }
    for (std::size_t at = 0; at < kHerdReportSize; ++at) {
        if (rewritten[at]) continue;
        FUZZ_CHECK(stored[at] == given(at), "byte " + std::to_string(at) + " changed in a load and store");
    }

    // Loading what was stored and storing it again changes nothing. Doubles are compared as
    // bytes, so a stored NaN counts as the same value.
    const HerdReportBytes again = StoreHerdReport(LoadHerdReport(stored.data(), stored.size()));
    FUZZ_CHECK(again == stored, "store(load(x)) is not a fixed point");
    return 0;
}

#pragma once
// Shared pieces of the libFuzzer targets: a fixed "today" (two-digit years and the date
// window depend on it, and a finding must replay the same way tomorrow) and a check that
// aborts with a readable line, which libFuzzer reports as a crash with its input saved.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "herd/textutil.h"

namespace ovista::fuzz {

// The day every target runs on.
inline void FixToday() { SetToday(2026, 1, 15); }

[[noreturn]] inline void Fail(const char* file, int line, const char* condition, const std::string& detail) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    if (!detail.empty()) std::fprintf(stderr, "  %s\n", detail.c_str());
    std::abort();
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace ovista::fuzz

// An invariant of the code under test; a broken one is a finding.
#define FUZZ_CHECK(condition, detail)                                                  \
    do {                                                                               \
        if (!(condition)) ::ovista::fuzz::Fail(__FILE__, __LINE__, #condition, detail); \
    } while (false)

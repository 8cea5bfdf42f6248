#pragma once

// Property checks inside fuzz targets: a failed check aborts with a message,
// which libFuzzer (and the replay runner) reports as a finding.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/json.hpp"

#define FUZZ_CHECK(condition)                                                          \
    do {                                                                               \
        if (!(condition)) ::quorvane::fuzzing::fail(#condition, __FILE__, __LINE__);   \
    } while (false)

namespace quorvane::fuzzing {

[[noreturn]] inline void fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", condition, file, line);
    std::abort();
}

// Parses JSON text keeping every unsigned integer exact, including those that
// need more than 64 bits (which the library's own parser turns into doubles).
// Returns a discarded value when the text is not JSON.
Json parse_json_exactly(std::string_view text);

bool is_lowercase_hex(std::string_view text, std::size_t length);

}  // namespace quorvane::fuzzing

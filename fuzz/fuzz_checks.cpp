#include "fuzz_checks.hpp"

namespace quorvane::fuzzing {

namespace {

// The library's DOM builder, with numbers too long for 64 bits read back as
// the 128-bit integers they were written from.
class ExactSax : public nlohmann::detail::json_sax_dom_parser<Json> {
public:
    explicit ExactSax(Json& result) : json_sax_dom_parser<Json>(result, false) {}

    bool number_float(double value, const std::string& text) {
        const bool all_digits =
            !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
        if (all_digits && text.size() <= 39) {
            uint128 exact = 0;
            bool fits = true;
            for (const char c : text) {
                const uint128 next = exact * 10 + static_cast<unsigned>(c - '0');
                if (next / 10 != exact) fits = false;
                exact = next;
            }
            if (fits) return json_sax_dom_parser<Json>::number_unsigned(exact);
        }
        return json_sax_dom_parser<Json>::number_float(value, text);
    }
};

}  // namespace

Json parse_json_exactly(std::string_view text) {
    Json result;
    ExactSax sax(result);
    if (!Json::sax_parse(text, &sax, nlohmann::detail::input_format_t::json, true, false)) {
        return Json(Json::value_t::discarded);
    }
    return result;
}

bool is_lowercase_hex(std::string_view text, std::size_t length) {
    if (text.size() != length) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

}  // namespace quorvane::fuzzing

#include "config/settings_error.hpp"

namespace quorvane {

std::string_view int_error_reason_name(IntErrorReason reason) {
    switch (reason) {
        case IntErrorReason::Empty: return "Empty";
        case IntErrorReason::InvalidDigit: return "InvalidDigit";
        case IntErrorReason::PosOverflow: return "PosOverflow";
    }
    return "InvalidDigit";
}

std::string_view float_error_reason_name(FloatErrorReason reason) {
    return reason == FloatErrorReason::Empty ? "Empty" : "Invalid";
}

std::string SettingsError::diagnostic() const {
    struct Visitor {
        std::string operator()(const Message& e) const { return quote_for_diagnostic(e.text); }
        std::string operator()(const Integer& e) const {
            return "ParseIntError { kind: " + std::string(int_error_reason_name(e.reason)) + " }";
        }
        std::string operator()(const Boolean&) const { return "ParseBoolError"; }
        std::string operator()(const Decimal& e) const {
            return "ParseFloatError { kind: " + std::string(float_error_reason_name(e.reason)) +
                   " }";
        }
        std::string operator()(const File& e) const { return "Io(" + e.error.diagnostic() + ")"; }
        std::string operator()(const Syntax& e) const {
            return "Parse(ParseError { line: " + std::to_string(e.error.line) +
                   ", col: " + std::to_string(e.error.column) +
                   ", msg: " + quote_for_diagnostic(e.error.message) + " })";
        }
    };
    return std::visit(Visitor{}, shape_);
}

}  // namespace quorvane

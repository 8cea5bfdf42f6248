#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "common/io_error.hpp"
#include "config/ini_reader.hpp"

namespace quorvane {

enum class IntErrorReason { Empty, InvalidDigit, PosOverflow };
enum class FloatErrorReason { Empty, Invalid };

// Why a settings file could not be loaded; only the first failure is kept.
class SettingsError {
public:
    struct Message { std::string text; };
    struct Integer { IntErrorReason reason; };
    struct Boolean {};
    struct Decimal { FloatErrorReason reason; };
    struct File { IoError error; };
    struct Syntax { IniSyntaxError error; };

    using Shape = std::variant<Message, Integer, Boolean, Decimal, File, Syntax>;

    // Implicit from any shape, so that each shape converts to the error.
    template <typename T>
        requires std::is_constructible_v<Shape, T&&>
    SettingsError(T&& shape) : shape_(std::forward<T>(shape)) {}  // NOLINT(google-explicit-constructor)

    static SettingsError message(std::string_view text) {
        return SettingsError(Message{std::string(text)});
    }

    const Shape& shape() const { return shape_; }

    // One line: "message", ParseIntError { kind: R }, ParseBoolError,
    // ParseFloatError { kind: R }, Io(...) or Parse(ParseError { ... }).
    std::string diagnostic() const;

private:
    Shape shape_;
};

std::string_view int_error_reason_name(IntErrorReason reason);
std::string_view float_error_reason_name(FloatErrorReason reason);

}  // namespace quorvane

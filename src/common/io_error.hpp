#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace quorvane {

// The categories a user can tell apart in a diagnostic. Operating-system
// codes are mapped onto these names when rendered; the tools only open, read
// and write files, so codes of other operations (sockets and the like) show
// as Other.
enum class ErrorKind {
    NotFound,
    PermissionDenied,
    AlreadyExists,
    WouldBlock,
    NotADirectory,
    IsADirectory,
    ReadOnlyFilesystem,
    FilesystemLoop,
    StaleNetworkFileHandle,
    InvalidInput,
    InvalidData,
    TimedOut,
    WriteZero,
    StorageFull,
    NotSeekable,
    FilesystemQuotaExceeded,
    FileTooLarge,
    ResourceBusy,
    BrokenPipe,
    InvalidFilename,
    Interrupted,
    Unsupported,
    UnexpectedEof,
    OutOfMemory,
    Other,
};

std::string_view error_kind_name(ErrorKind kind);
ErrorKind error_kind_from_errno(int code);

// The C library's message for an errno value, e.g. "No such file or directory".
std::string os_error_message(int code);

// An I/O error in one of four shapes; each renders to its own diagnostic form.
class IoError {
public:
    struct Os {
        int code;
        friend bool operator==(const Os&, const Os&) = default;
    };
    struct Custom {
        ErrorKind kind;
        std::string message;
        friend bool operator==(const Custom&, const Custom&) = default;
    };
    struct SimpleMessage {
        ErrorKind kind;
        std::string message;
        friend bool operator==(const SimpleMessage&, const SimpleMessage&) = default;
    };
    struct BareKind {
        ErrorKind kind;
        friend bool operator==(const BareKind&, const BareKind&) = default;
    };

    static IoError from_os(int code) { return IoError{Os{code}}; }
    static IoError custom(ErrorKind kind, std::string message) {
        return IoError{Custom{kind, std::move(message)}};
    }
    static IoError simple(ErrorKind kind, std::string message) {
        return IoError{SimpleMessage{kind, std::move(message)}};
    }
    static IoError bare(ErrorKind kind) { return IoError{BareKind{kind}}; }

    ErrorKind kind() const;

    // The one-line diagnostic form: Os { ... }, Custom { ... }, Error { ... } or Kind(...).
    std::string diagnostic() const;

    // The plain printable text: the message alone for custom and simple
    // errors, the system's message for OS errors, the kind name otherwise.
    std::string message() const;

    const std::variant<Os, Custom, SimpleMessage, BareKind>& shape() const { return shape_; }

    friend bool operator==(const IoError&, const IoError&) = default;

private:
    explicit IoError(std::variant<Os, Custom, SimpleMessage, BareKind> shape)
        : shape_(std::move(shape)) {}

    std::variant<Os, Custom, SimpleMessage, BareKind> shape_;
};

// Wraps a text in double quotes, escaping it so that the result stays on one
// line: \\ and \" for backslash and quote, \n \r \t \0, and \u{hex} for any
// other control character.
std::string quote_for_diagnostic(std::string_view text);

}  // namespace quorvane

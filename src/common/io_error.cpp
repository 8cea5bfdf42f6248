#include "common/io_error.hpp"

#include <cerrno>
#include <cstring>

#include "common/utf8.hpp"

namespace quorvane {

std::string_view error_kind_name(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::NotFound: return "NotFound";
        case ErrorKind::PermissionDenied: return "PermissionDenied";
        case ErrorKind::AlreadyExists: return "AlreadyExists";
        case ErrorKind::WouldBlock: return "WouldBlock";
        case ErrorKind::NotADirectory: return "NotADirectory";
        case ErrorKind::IsADirectory: return "IsADirectory";
        case ErrorKind::ReadOnlyFilesystem: return "ReadOnlyFilesystem";
        case ErrorKind::FilesystemLoop: return "FilesystemLoop";
        case ErrorKind::StaleNetworkFileHandle: return "StaleNetworkFileHandle";
        case ErrorKind::InvalidInput: return "InvalidInput";
        case ErrorKind::InvalidData: return "InvalidData";
        case ErrorKind::TimedOut: return "TimedOut";
        case ErrorKind::WriteZero: return "WriteZero";
        case ErrorKind::StorageFull: return "StorageFull";
        case ErrorKind::NotSeekable: return "NotSeekable";
        case ErrorKind::FilesystemQuotaExceeded: return "FilesystemQuotaExceeded";
        case ErrorKind::FileTooLarge: return "FileTooLarge";
        case ErrorKind::ResourceBusy: return "ResourceBusy";
        case ErrorKind::BrokenPipe: return "BrokenPipe";
        case ErrorKind::InvalidFilename: return "InvalidFilename";
        case ErrorKind::Interrupted: return "Interrupted";
        case ErrorKind::Unsupported: return "Unsupported";
        case ErrorKind::UnexpectedEof: return "UnexpectedEof";
        case ErrorKind::OutOfMemory: return "OutOfMemory";
        case ErrorKind::Other: return "Other";
    }
    return "Other";
}

ErrorKind error_kind_from_errno(int code) {
    switch (code) {
        case ENOENT: return ErrorKind::NotFound;
        case EPERM:
        case EACCES: return ErrorKind::PermissionDenied;
        case EEXIST: return ErrorKind::AlreadyExists;
        case EAGAIN: return ErrorKind::WouldBlock;
        case ENOTDIR: return ErrorKind::NotADirectory;
        case EISDIR: return ErrorKind::IsADirectory;
        case EROFS: return ErrorKind::ReadOnlyFilesystem;
        case ELOOP: return ErrorKind::FilesystemLoop;
        case ESTALE: return ErrorKind::StaleNetworkFileHandle;
        case EINVAL: return ErrorKind::InvalidInput;
        case ETIMEDOUT: return ErrorKind::TimedOut;
        case ENOSPC: return ErrorKind::StorageFull;
        case ESPIPE: return ErrorKind::NotSeekable;
        case EDQUOT: return ErrorKind::FilesystemQuotaExceeded;
        case EFBIG: return ErrorKind::FileTooLarge;
        case EBUSY:
        case ETXTBSY: return ErrorKind::ResourceBusy;
        case EPIPE: return ErrorKind::BrokenPipe;
        case ENAMETOOLONG: return ErrorKind::InvalidFilename;
        case EINTR: return ErrorKind::Interrupted;
        case ENOSYS:
        case EOPNOTSUPP: return ErrorKind::Unsupported;
        case ENOMEM: return ErrorKind::OutOfMemory;
        default: return ErrorKind::Other;
    }
}

std::string os_error_message(int code) {
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = ::strerror_r(code, buffer, sizeof buffer);
    return std::string(text);
}

ErrorKind IoError::kind() const {
    struct Visitor {
        ErrorKind operator()(const Os& e) const { return error_kind_from_errno(e.code); }
        ErrorKind operator()(const Custom& e) const { return e.kind; }
        ErrorKind operator()(const SimpleMessage& e) const { return e.kind; }
        ErrorKind operator()(const BareKind& e) const { return e.kind; }
    };
    return std::visit(Visitor{}, shape_);
}

std::string IoError::diagnostic() const {
    struct Visitor {
        std::string operator()(const Os& e) const {
            return "Os { code: " + std::to_string(e.code) + ", kind: " +
                   std::string(error_kind_name(error_kind_from_errno(e.code))) +
                   ", message: " + quote_for_diagnostic(os_error_message(e.code)) + " }";
        }
        std::string operator()(const Custom& e) const {
            return "Custom { kind: " + std::string(error_kind_name(e.kind)) +
                   ", error: " + quote_for_diagnostic(e.message) + " }";
        }
        std::string operator()(const SimpleMessage& e) const {
            return "Error { kind: " + std::string(error_kind_name(e.kind)) +
                   ", message: " + quote_for_diagnostic(e.message) + " }";
        }
        std::string operator()(const BareKind& e) const {
            return "Kind(" + std::string(error_kind_name(e.kind)) + ")";
        }
    };
    return std::visit(Visitor{}, shape_);
}

std::string IoError::message() const {
    struct Visitor {
        std::string operator()(const Os& e) const { return os_error_message(e.code); }
        std::string operator()(const Custom& e) const { return e.message; }
        std::string operator()(const SimpleMessage& e) const { return e.message; }
        std::string operator()(const BareKind& e) const {
            return std::string(error_kind_name(e.kind));
        }
    };
    return std::visit(Visitor{}, shape_);
}

namespace {

void append_hex_escape(std::string& out, char32_t code_point) {
    static constexpr char digits[] = "0123456789abcdef";
    char reversed[8];
    int count = 0;
    do {
        reversed[count++] = digits[code_point & 0xF];
        code_point >>= 4;
    } while (code_point != 0);
    out += "\\u{";
    while (count > 0) out += reversed[--count];
    out += '}';
}

}  // namespace

std::string quote_for_diagnostic(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t start = position;
        const auto decoded = utf8::decode_at(text, position);
        if (!decoded) {
            // Not UTF-8: keep the byte as it is; it is no control character.
            out += text[start];
            position = start + 1;
            continue;
        }
        const char32_t c = *decoded;
        switch (c) {
            case U'\\': out += "\\\\"; break;
            case U'"': out += "\\\""; break;
            case U'\n': out += "\\n"; break;
            case U'\r': out += "\\r"; break;
            case U'\t': out += "\\t"; break;
            case U'\0': out += "\\0"; break;
            default:
                if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
                    append_hex_escape(out, c);
                } else {
                    out.append(text.substr(start, position - start));
                }
        }
    }
    out += '"';
    return out;
}

}  // namespace quorvane

#include "common/io_error.hpp"

#include <gtest/gtest.h>

#include <cerrno>

namespace quorvane {
namespace {

TEST(IoErrorDiagnostic, RendersEachShape) {
    struct Case {
        IoError error;
        std::string diagnostic;
    };
    const std::vector<Case> cases = {
        {IoError::from_os(ENOENT), R"(Os { code: 2, kind: NotFound, message: "No such file or directory" })"},
        {IoError::from_os(EACCES), R"(Os { code: 13, kind: PermissionDenied, message: "Permission denied" })"},
        {IoError::from_os(EISDIR), R"(Os { code: 21, kind: IsADirectory, message: "Is a directory" })"},
        {IoError::from_os(ENOSPC), R"(Os { code: 28, kind: StorageFull, message: "No space left on device" })"},
        {IoError::from_os(EIO), R"(Os { code: 5, kind: Other, message: "Input/output error" })"},
        {IoError::custom(ErrorKind::Other, "Invalid Byte Count for Block"),
         R"(Custom { kind: Other, error: "Invalid Byte Count for Block" })"},
        {IoError::custom(ErrorKind::InvalidData, "Invalid Torrent Byte Count"),
         R"(Custom { kind: InvalidData, error: "Invalid Torrent Byte Count" })"},
        {IoError::simple(ErrorKind::InvalidData, "stream did not contain valid UTF-8"),
         R"(Error { kind: InvalidData, message: "stream did not contain valid UTF-8" })"},
        {IoError::bare(ErrorKind::UnexpectedEof), "Kind(UnexpectedEof)"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.diagnostic(), c.diagnostic);
}

TEST(IoErrorDiagnostic, MapsOperatingSystemCodesToKinds) {
    const std::vector<std::pair<int, std::string_view>> cases = {
        {ENOENT, "NotFound"}, {EPERM, "PermissionDenied"}, {EACCES, "PermissionDenied"},
        {EEXIST, "AlreadyExists"}, {EAGAIN, "WouldBlock"}, {ENOTDIR, "NotADirectory"},
        {EISDIR, "IsADirectory"}, {EROFS, "ReadOnlyFilesystem"}, {ELOOP, "FilesystemLoop"},
        {ESTALE, "StaleNetworkFileHandle"}, {EINVAL, "InvalidInput"}, {ETIMEDOUT, "TimedOut"},
        {ENOSPC, "StorageFull"}, {ESPIPE, "NotSeekable"}, {EDQUOT, "FilesystemQuotaExceeded"},
        {EFBIG, "FileTooLarge"}, {EBUSY, "ResourceBusy"}, {ETXTBSY, "ResourceBusy"},
        {EPIPE, "BrokenPipe"}, {ENAMETOOLONG, "InvalidFilename"}, {EINTR, "Interrupted"},
        {ENOSYS, "Unsupported"}, {EOPNOTSUPP, "Unsupported"}, {ENOMEM, "OutOfMemory"},
        {EIO, "Other"}, {ECONNREFUSED, "Other"}, {EMFILE, "Other"},
    };
    for (const auto& [code, kind] : cases) {
        EXPECT_EQ(error_kind_name(error_kind_from_errno(code)), kind) << code;
    }
    const std::vector<std::pair<ErrorKind, std::string_view>> own = {
        {ErrorKind::InvalidData, "InvalidData"}, {ErrorKind::WriteZero, "WriteZero"},
        {ErrorKind::UnexpectedEof, "UnexpectedEof"}, {ErrorKind::Other, "Other"},
    };
    for (const auto& [kind, name] : own) EXPECT_EQ(error_kind_name(kind), name);
}

TEST(IoErrorDiagnostic, MessageIsThePlainText) {
    EXPECT_EQ(IoError::custom(ErrorKind::InvalidData, "Invalid number of pieces").message(),
              "Invalid number of pieces");
    EXPECT_EQ(IoError::from_os(ENOSPC).message(), "No space left on device");
    EXPECT_EQ(IoError::from_os(ENOENT).kind(), ErrorKind::NotFound);
}

TEST(QuoteForDiagnostic, EscapesSoTheTextStaysOnOneLine) {
    struct Case {
        std::string text;
        std::string quoted;
    };
    const std::vector<Case> cases = {
        {"plain", R"("plain")"},
        {"say \"hi\"", R"("say \"hi\"")"},
        {"back\\slash", R"("back\\slash")"},
        {"line\nbreak\r\ttab", R"("line\nbreak\r\ttab")"},
        {std::string("nul\0x", 5), R"("nul\0x")"},
        {"bell\x07 esc\x1b del\x7f", R"("bell\u{7} esc\u{1b} del\u{7f}")"},
        {"c1 \xC2\x85", R"("c1 \u{85}")"},
        {"last C1 \xC2\x9F, then NBSP \xC2\xA0", "\"last C1 \\u{9f}, then NBSP \xC2\xA0\""},
        {"it's caf\xC3\xA9 \xE2\x82\xAC", "\"it's caf\xC3\xA9 \xE2\x82\xAC\""},
        {"not UTF-8 \xFF\xFE!", "\"not UTF-8 \xFF\xFE!\""},
    };
    for (const auto& c : cases) EXPECT_EQ(quote_for_diagnostic(c.text), c.quoted) << c.text;
}

}  // namespace
}  // namespace quorvane

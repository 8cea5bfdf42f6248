#pragma once

#include <expected>
#include <string_view>

#include "common/io_error.hpp"

namespace quorvane {

enum class Stream { Stdout, Stderr };

std::string_view stream_name(Stream stream);

// Writes every byte of `text` straight to the stream's descriptor, repeating
// short writes. Nothing is buffered, so there is no later flush to fail.
std::expected<void, IoError> write_all(Stream stream, std::string_view text);

}  // namespace quorvane

#include "scan/watch/service_notify.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "common/io_error.hpp"

namespace quorvane {

namespace {

std::optional<unsigned long long> number_in(const char* variable) {
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return value;
}

}  // namespace

ServiceNotifier ServiceNotifier::from_environment() {
    ServiceNotifier notifier;
    const char* name = std::getenv("NOTIFY_SOCKET");
    const std::string_view socket_name = name == nullptr ? std::string_view() : std::string_view(name);
    // A path must be absolute; an abstract name starts with "@", sent as a NUL.
    if (socket_name.size() >= 2 && socket_name.size() < sizeof notifier.address_.sun_path &&
        (socket_name.front() == '/' || socket_name.front() == '@')) {
        notifier.address_.sun_family = AF_UNIX;
        std::memcpy(notifier.address_.sun_path, socket_name.data(), socket_name.size());
        if (socket_name.front() == '@') notifier.address_.sun_path[0] = '\0';
        notifier.length_ = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socket_name.size());
    }
    const auto usec = number_in("WATCHDOG_USEC");
    const auto pid = number_in("WATCHDOG_PID");
    if (usec && *usec > 0 && (!pid || *pid == static_cast<unsigned long long>(::getpid()))) {
        notifier.watchdog_ = std::chrono::microseconds(*usec / 2);
    }
    return notifier;
}

ServiceNotifier::ServiceNotifier(ServiceNotifier&& other) noexcept
    : address_(other.address_), length_(other.length_), socket_(std::exchange(other.socket_, -1)),
      watchdog_(other.watchdog_) {}

ServiceNotifier::~ServiceNotifier() {
    if (socket_ >= 0) ::close(socket_);
}

std::expected<void, std::string> ServiceNotifier::send(std::string_view message) {
    if (!active()) return {};
    if (socket_ < 0) {
        socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (socket_ < 0) return std::unexpected(os_error_message(errno));
    }
    ssize_t sent;
    do {
        sent = ::sendto(socket_, message.data(), message.size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address_), length_);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) return std::unexpected(os_error_message(errno));
    return {};
}

}  // namespace quorvane

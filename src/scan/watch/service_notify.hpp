#pragma once

// systemd's notify protocol, without libsystemd (the tools are static): each
// message one datagram to the AF_UNIX socket that NOTIFY_SOCKET names, a
// path or, after "@", an abstract name. Where it is unset, nothing is sent.

#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

class ServiceNotifier {
public:
    // From NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID.
    static ServiceNotifier from_environment();
    ServiceNotifier() = default;
    ~ServiceNotifier();
    ServiceNotifier(ServiceNotifier&& other) noexcept;
    ServiceNotifier& operator=(ServiceNotifier&&) = delete;

    bool active() const { return length_ > 0; }
    // Sends "READY=1", "STATUS=…" and the like; why not, where the socket
    // cannot be reached.
    std::expected<void, std::string> send(std::string_view message);
    // How often the service manager wants WATCHDOG=1: half its timeout, or
    // nothing where it wants none (or wants it from another process).
    std::optional<std::chrono::microseconds> watchdog_interval() const { return watchdog_; }

private:
    sockaddr_un address_{};
    socklen_t length_ = 0;
    int socket_ = -1;
    std::optional<std::chrono::microseconds> watchdog_;
};

}  // namespace quorvane

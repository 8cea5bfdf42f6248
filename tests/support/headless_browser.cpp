#include "support/headless_browser.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace quorvane::testing {

namespace {

const std::string CHROMIUM = "/usr/bin/chromium";

// The host a proxied request names: "CONNECT host:443 ..." or "GET http://host/...".
std::string host_of(const std::string& request) {
    auto start = request.find(' ');
    if (start == std::string::npos) return {};
    ++start;
    if (request.compare(start, 7, "http://") == 0) start += 7;
    const auto end = request.find_first_of(":/ ", start);
    return request.substr(start, end - start);
}

// Chromium's own traffic (component updates, sign-in, network time, safe
// browsing), which some builds make whatever the flags. Web fonts, the one
// thing of Google's a page might well fetch, still count.
bool browser_traffic(const std::string& request) {
    const std::string host = host_of(request);
    if (host == "fonts.googleapis.com") return false;
    for (const std::string suffix : {".google.com", ".googleapis.com", ".gvt1.com"}) {
        if (host.ends_with(suffix)) return true;
    }
    return false;
}

class PageServer {
public:
    explicit PageServer(std::string page) : page_(std::move(page)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 64) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            throw std::runtime_error("cannot listen on the loopback interface");
        }
        port_ = ntohs(address.sin_port);
        serving_ = std::jthread([this](std::stop_token stop) { serve(stop); });
    }
    ~PageServer() {
        serving_.request_stop();
        serving_.join();
        ::close(listener_);
    }
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    std::string address() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void serve(const std::stop_token& stop) {
        while (!stop.stop_requested()) {
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 50) <= 0) continue;
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) continue;
            answer(connection);
            ::close(connection);
        }
    }

    void answer(int connection) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd readable{connection, POLLIN, 0};
            if (::poll(&readable, 1, 2000) <= 0) break;
            const ssize_t got = ::read(connection, buffer, sizeof buffer);
            if (got <= 0) break;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        const std::string line = request.substr(0, request.find("\r\n"));
        std::string reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        if (line.starts_with("GET /page.html ")) {
            reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(page_.size()) +
                    "\r\nConnection: close\r\n\r\n" + page_;
        } else if (!line.empty() && !browser_traffic(line)) {
            std::lock_guard lock(mutex_);
            requests_.push_back(line);
        }
        for (std::size_t sent = 0; sent < reply.size();) {
            const ssize_t wrote = ::send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (wrote <= 0) break;
            sent += static_cast<std::size_t>(wrote);
        }
    }

    std::string page_;
    int listener_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::jthread serving_;
};

RunResult run_browser(const PageServer& server, const TempDir& work, const std::string& profile,
                      std::vector<std::string> action) {
    std::vector<std::string> arguments = {
        "120", CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
        "--disable-background-networking",
        "--disable-component-update", "--disable-sync", "--disable-extensions", "--no-first-run",
        "--hide-scrollbars", "--user-data-dir=" + (work / profile), "--proxy-server=" + server.address(),
        "--enable-logging=stderr", "--v=0"};
    arguments.insert(arguments.end(), action.begin(), action.end());
    arguments.push_back(server.address() + "/page.html");
    return run_program("/usr/bin/timeout", arguments);
}

}  // namespace

bool browser_available() { return ::access(CHROMIUM.c_str(), X_OK) == 0; }

BrowserView open_in_browser(const std::string& html, const TempDir& work, int width, int height) {
    PageServer server(html);
    BrowserView view;
    const RunResult dom = run_browser(server, work, "dom-profile", {"--dump-dom"});
    view.dom = dom.out;
    const std::string png = work / "page.png";
    const RunResult shot = run_browser(server, work, "shot-profile",
                                       {"--screenshot=" + png, "--window-size=" + std::to_string(width) + "," +
                                                                    std::to_string(height)});
    for (const std::string& log : {dom.err, shot.err}) {
        for (const auto& line : lines_of(log)) {
            if (line.find(":CONSOLE") != std::string::npos) view.console.push_back(line);
        }
    }
    std::ifstream in(png, std::ios::binary);
    view.screenshot.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    view.requests = server.requests();
    return view;
}

}  // namespace quorvane::testing

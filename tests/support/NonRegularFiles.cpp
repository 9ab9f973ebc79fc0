#include "tests/support/NonRegularFiles.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

BoundSocket::BoundSocket(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd >= 0 &&
        (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(m_fd, 1) != 0)) {
        ::close(m_fd);
        m_fd = -1;
    }
}

BoundSocket::~BoundSocket() {
    if (m_fd >= 0) ::close(m_fd);
}

PipeReleaser::PipeReleaser(std::string path, int delay) : m_path(std::move(path)) {
    m_thread = std::thread([this, delay] {
        const auto start = std::chrono::steady_clock::now();
        while (!m_stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(delay)) continue;
            // Without blocking: this succeeds only while a reader has the pipe open.
            const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                ::close(fd);
                m_released.fetch_add(1);
            }
        }
    });
}

PipeReleaser::~PipeReleaser() {
    m_stop.store(true);
    m_thread.join();
}

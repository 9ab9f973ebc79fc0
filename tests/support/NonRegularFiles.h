// Files that are not ordinary files, made in a test's folder: a named pipe, a
// listening socket. Readers must refuse them without ever waiting on them.
#pragma once

#include <atomic>
#include <string>
#include <thread>

// Makes a named pipe at `path`; false when the system refuses.
bool MakeFifo(const std::string& path);

// A Unix socket bound at a path for as long as the object lives.
class BoundSocket {
public:
    explicit BoundSocket(const std::string& path);
    ~BoundSocket();
    BoundSocket(const BoundSocket&) = delete;
    BoundSocket& operator=(const BoundSocket&) = delete;
    bool Bound() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Lets a reader stuck opening a named pipe go on after `delay` milliseconds: the
// pipe's writing end is then opened and closed again, so that the reader's open
// returns and its reads find an empty pipe. A program that refuses pipes never
// waits for this; one that does not is late, instead of stuck for ever.
class PipeReleaser {
public:
    PipeReleaser(std::string path, int delay);
    ~PipeReleaser();
    PipeReleaser(const PipeReleaser&) = delete;
    PipeReleaser& operator=(const PipeReleaser&) = delete;

    // How many readers were released so far.
    int Released() const { return m_released.load(); }

private:
    std::string m_path;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_released{0};
    std::thread m_thread;
};

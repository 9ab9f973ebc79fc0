// Real DICOM servers for the tests, started on 127.0.0.1 with a temporary
// configuration (free ports, their own storage folder, our receiver known as a
// move destination) and stopped when the object goes, whatever the test did.
// Orthanc and DCMTK's dcmqrscp, from Debian's packages.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/ServerSettings.h"
#include "tests/support/TempFiles.h"

enum class ServerKind { Orthanc, Dcmqrscp };
const char* ServerKindName(ServerKind kind);

// A port nothing listens on now, from the kernel's ephemeral range.
std::uint16_t FreePort();

class TestServer {
public:
    // Starts the server and waits until it answers C-ECHO; null with `problem` set
    // when its program is missing or it does not come up.
    static std::unique_ptr<TestServer> Start(ServerKind kind, std::string& problem);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // How to reach it, as our calling AE title "DORVANELLE".
    ServerSettings Settings() const;
    // "AE@127.0.0.1:PORT" for the command line.
    std::string Address() const;
    // The port the server sends to for C-MOVE, to the AE title "DORVANELLE".
    std::uint16_t MovePort() const { return m_movePort; }
    ServerKind Kind() const { return m_kind; }
    // Whether it keeps data compressed in `syntax` as it arrives: Orthanc takes every
    // syntax; dcmqrscp takes one compressed syntax besides the uncompressed ones.
    bool TakesCompressed(const std::string& syntax) const;
    // Ends the server at once (SIGKILL), as a crash would.
    void Kill();

private:
    TestServer(ServerKind kind) : m_kind(kind) {}

    ServerKind m_kind;
    TempFolder m_folder;
    std::string m_aeTitle;
    std::uint16_t m_port = 0;
    std::uint16_t m_movePort = 0;
    pid_t m_pid = -1;
};

// Whether the test may skip when a server program is missing: not in CI, where
// scripts/install-deps has installed both.
bool MaySkipMissingServer();

// A TCP listener on 127.0.0.1 that accepts connections and never says a word,
// or, not `accepting`, with its queue of length 0 filled, never even accepts.
class SilentListener {
public:
    explicit SilentListener(bool accepting);
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    std::uint16_t Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_filler = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::vector<int> m_clients;
    std::thread m_thread;
};

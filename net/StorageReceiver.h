// Our storage receiver for C-MOVE: listens on a port of the user's choice while a
// move runs, takes the files the server sends (one association at a time) into the
// retrieved-file store, and stops when asked.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "io/Reason.h"
#include "net/RetrievedFiles.h"
#include "net/ServerSettings.h"

struct T_ASC_Network;
struct T_ASC_Association;

class StorageReceiver {
public:
    // Called on the receiver's thread for each file kept, or not kept (empty path
    // and the reason).
    using FileHandler = std::function<void(const std::string& path, const Reason& problem)>;

    // Listens on `port` (every interface); null with `why` when the port cannot be had.
    static std::unique_ptr<StorageReceiver> Start(std::uint16_t port, const RetrievedFileStore& store,
                                                  const NetworkTimeouts& timeouts, FileHandler onFile, Reason* why);
    // Stops, as Stop() does, and waits for the thread.
    ~StorageReceiver();
    StorageReceiver(const StorageReceiver&) = delete;
    StorageReceiver& operator=(const StorageReceiver&) = delete;

    // Ends once the association under way, if any, ends or falls idle.
    void Stop();
    // Steady-clock nanoseconds of the last file or association.
    const std::atomic<std::int64_t>& LastSignOfLife() const { return m_lastSignOfLife; }

private:
    StorageReceiver(T_ASC_Network* network, std::uint16_t port, const RetrievedFileStore& store,
                    const NetworkTimeouts& timeouts, FileHandler onFile);
    void Run();
    void Serve(T_ASC_Association* association);

    T_ASC_Network* m_network;
    std::uint16_t m_port;
    const RetrievedFileStore& m_store;
    NetworkTimeouts m_timeouts;
    FileHandler m_onFile;
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_lastSignOfLife;
    std::thread m_thread;
};

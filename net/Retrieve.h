// Retrieving a study or a series into the cache folder, by C-GET (the files come
// back on our own association: no inbound port needed) or by C-MOVE (the server
// sends them to our storage receiver, on a port the user sets and which the server
// knows under our AE title). Files are kept as they arrive, whatever happens
// later; the result counts what arrived, what the server says it could not send,
// and why the retrieve ended early.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "io/Reason.h"
#include "net/CancelToken.h"
#include "net/RetrievedFiles.h"
#include "net/ServerSettings.h"

enum class RetrieveMethod { Get, Move };

struct RetrieveRequest {
    std::string studyUid;   // may be empty when seriesUid is given: a query finds it
    std::string seriesUid;  // empty: the whole study
    std::string folder;     // the cache folder: one folder per study is made under it
    RetrieveMethod method = RetrieveMethod::Get;
    std::uint16_t movePort = 0;        // C-MOVE: the port our receiver listens on
    std::string moveDestination;       // C-MOVE: the AE title the server sends to (default: our calling AE)
    std::uint64_t keepFreeBytes = kDefaultKeepFreeBytes;
};

struct RetrieveProgress {
    std::size_t stored = 0;     // files written so far
    std::size_t total = 0;      // files the server says the retrieve holds; 0 until it says
    std::size_t remaining = 0;  // files the server says it still has to send
    std::size_t failed = 0;     // as the server counts them so far
    bool remainingKnown = false;
};

struct RetrieveResult {
    std::vector<std::string> files;  // the files written, in the order they arrived
    std::size_t notKept = 0;         // files that arrived but could not be kept here
    Reason notKeptReason;            // why the first of them was not
    // The server's own counts of its sub-operations, from its last reply.
    std::size_t completed = 0;
    std::size_t failed = 0;
    std::size_t warnings = 0;
    // Why the retrieve ended early or failed (a connection, a timeout, a refusal,
    // a full disk, a cancel); empty when the server went through with it.
    Reason failure;
    // Set when the server went through but reports failures or warnings.
    Reason warning;
};

struct RetrieveObserver {
    // Both may be called on the receiver's thread during a C-MOVE, never two at once.
    std::function<void(const RetrieveProgress&)> progress;
    std::function<void(const std::string& path)> fileStored;
    const CancelToken* cancel = nullptr;
};

RetrieveResult Retrieve(const ServerSettings& settings, const RetrieveRequest& request,
                        const RetrieveObserver& observer = {});

// One association with a DICOM server, opened with the timeouts of ServerSettings
// and closed (released, or aborted) when the object goes. DCMTK's association
// and message calls are made through it; DCMTK's failures come back as Reasons
// that name the step that failed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmnet/assoc.h"
#include "dcmtk/dcmnet/dimse.h"
#include "io/Reason.h"
#include "net/ServerSettings.h"

// A presentation context to propose. With `weStore`, we take the SCP role: the
// server sends us files of that kind within a C-GET.
struct ProposedContext {
    std::string abstractSyntax;
    std::vector<std::string> transferSyntaxes;
    bool weStore = false;
};

// The largest PDU we receive: large PDUs cost fewer reads per file.
inline constexpr long kMaxReceivePdu = 65536;

class Association {
public:
    // Connects and negotiates the contexts; null with `why` set when that fails.
    // Succeeds when at least one context is accepted.
    static std::unique_ptr<Association> Open(const ServerSettings& settings,
                                             const std::vector<ProposedContext>& contexts, Reason* why);
    ~Association();
    Association(const Association&) = delete;
    Association& operator=(const Association&) = delete;

    // The accepted context for `abstractSyntax` (with `transferSyntax` when given), or 0.
    T_ASC_PresentationContextID AcceptedContext(const std::string& abstractSyntax,
                                                const std::string& transferSyntax = {}) const;
    // The transfer syntax of an accepted context ("" when it is not one).
    std::string ContextTransferSyntax(T_ASC_PresentationContextID id) const;

    T_ASC_Association* Raw() { return m_association; }
    const ServerSettings& Settings() const { return m_settings; }
    int MessageTimeout() const { return m_settings.timeouts.messageSeconds; }
    DIC_US NextMessageId() { return m_nextMessageId++; }

    // Receives the next command, waiting a second at a time: `whileWaiting` runs
    // between waits (it may send a C-CANCEL). Gives DIMSE_NODATAAVAILABLE once
    // nothing has arrived for the message timeout, counted from the later of the
    // call and `*lastSignOfLife` (steady-clock nanoseconds, moved on by work that
    // goes on elsewhere, such as files arriving on another association).
    OFCondition ReceiveCommand(T_ASC_PresentationContextID* context, T_DIMSE_Message* message,
                               const std::function<void()>& whileWaiting = {},
                               const std::atomic<std::int64_t>* lastSignOfLife = nullptr);

    // The words for `condition`, a failure while awaiting `awaited` during `operation`.
    // A lost or broken association is not released afterwards.
    Reason FailureDuring(const OFCondition& condition, const std::string& operation, const std::string& awaited);

    // A message of the wrong kind arrived during `operation`.
    Reason UnexpectedMessage(const std::string& operation);

    // Releases the association; aborts it when the server does not answer.
    void Release();
    void Abort();

private:
    Association(const ServerSettings& settings, T_ASC_Network* network, T_ASC_Association* association);

    ServerSettings m_settings;
    T_ASC_Network* m_network = nullptr;
    T_ASC_Association* m_association = nullptr;
    bool m_broken = false;
    DIC_US m_nextMessageId = 1;
};

// Steady-clock nanoseconds now, for signs of life.
std::int64_t SteadyNow();

// Sets DCMTK up once per process: its own logging off (every failure reaches the
// caller as a Reason), and small packets sent at once (TCP_NODELAY, which DCMTK
// takes from the environment; a TCP_NODELAY=0 already set is respected). Without
// it each message waits for the peer's delayed acknowledgement, 40 ms on Linux.
void SetUpNetworkLibrary();

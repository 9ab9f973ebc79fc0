#include "net/StorageReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmnet/assoc.h"
#include "dcmtk/dcmnet/dimse.h"
#include "net/Association.h"
#include "net/NetFailure.h"
#include "net/ReceiveFile.h"
#include "net/TransferSyntaxes.h"

namespace {

// After Stop(), an association that sends nothing for this long is ended.
constexpr std::int64_t kIdleAfterStopNs = 2'000'000'000;

bool IsStorageKind(const char* uid) {
    for (int i = 0; i < numberOfDcmAllStorageSOPClassUIDs; ++i) {
        if (std::strcmp(uid, dcmAllStorageSOPClassUIDs[i]) == 0) return true;
    }
    return std::strcmp(uid, UID_VerificationSOPClass) == 0;
}

// The syntax to accept among those proposed: the server's first choice that we
// take, since servers put the syntax a file is stored in first and it then arrives
// unchanged; but a lossy syntax only when nothing lossless is proposed, so that
// no server compresses a file lossily on its way to us. Null when none will do.
const char* ChosenSyntax(const T_ASC_PresentationContext& context) {
    const std::vector<std::string> receivable = ReceivableTransferSyntaxes();
    const char* lossy = nullptr;
    for (int t = 0; t < context.transferSyntaxCount; ++t) {
        const char* proposed = context.proposedTransferSyntaxes[t];
        if (std::find(receivable.begin(), receivable.end(), proposed) == receivable.end()) continue;
        if (!IsLossyTransferSyntax(proposed)) return proposed;
        if (lossy == nullptr) lossy = proposed;
    }
    return lossy;
}

void AcceptContexts(T_ASC_Parameters* parameters) {
    for (int i = 0; i < ASC_countPresentationContexts(parameters); ++i) {
        T_ASC_PresentationContext context{};
        if (ASC_getPresentationContext(parameters, i, &context).bad()) continue;
        const bool known = IsStorageKind(context.abstractSyntax);
        const char* chosen = known ? ChosenSyntax(context) : nullptr;
        if (chosen != nullptr) {
            ASC_acceptPresentationContext(parameters, context.presentationContextID, chosen);
        } else {
            ASC_refusePresentationContext(parameters, context.presentationContextID,
                                          known ? ASC_P_TRANSFERSYNTAXESNOTSUPPORTED : ASC_P_ABSTRACTSYNTAXNOTSUPPORTED);
        }
    }
}

}  // namespace

std::unique_ptr<StorageReceiver> StorageReceiver::Start(std::uint16_t port, const RetrievedFileStore& store,
                                                        const NetworkTimeouts& timeouts, FileHandler onFile,
                                                        Reason* why) {
    SetUpNetworkLibrary();
    T_ASC_Network* network = nullptr;
    const OFCondition condition = ASC_initializeNetwork(NET_ACCEPTOR, port, timeouts.associationSeconds, &network);
    if (condition.bad()) {
        SetReason(why, Reason(NetFailure::ReceiverNotOpened).About(condition.text()).Numbers(port));
        return nullptr;
    }
    std::unique_ptr<StorageReceiver> receiver(new StorageReceiver(network, port, store, timeouts, std::move(onFile)));
    receiver->m_thread = std::thread([raw = receiver.get()] { raw->Run(); });
    return receiver;
}

StorageReceiver::StorageReceiver(T_ASC_Network* network, std::uint16_t port, const RetrievedFileStore& store,
                                 const NetworkTimeouts& timeouts, FileHandler onFile)
    : m_network(network), m_port(port), m_store(store), m_timeouts(timeouts), m_onFile(std::move(onFile)),
      m_lastSignOfLife(SteadyNow()) {}

StorageReceiver::~StorageReceiver() {
    Stop();
    if (m_thread.joinable()) m_thread.join();
    ASC_dropNetwork(&m_network);
}

void StorageReceiver::Stop() {
    if (m_stop.exchange(true)) return;
    // The thread waits for the next association a second at a time; a connection
    // that closes at once ends the wait now.
    const int wake = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (wake < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(m_port);
    // Should the connection fail, the thread still ends within its second.
    static_cast<void>(::connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ::close(wake);
}

void StorageReceiver::Run() {
    while (!m_stop.load()) {
        T_ASC_Association* association = nullptr;
        const OFCondition condition =
            ASC_receiveAssociation(m_network, &association, kMaxReceivePdu, nullptr, nullptr, OFFalse, DUL_NOBLOCK, 1);
        if (condition.good()) {
            m_lastSignOfLife.store(SteadyNow());
            AcceptContexts(association->params);
            if (ASC_acknowledgeAssociation(association).good()) Serve(association);
        }
        if (association != nullptr) {
            ASC_dropSCPAssociation(association);
            ASC_destroyAssociation(&association);
        }
    }
}

void StorageReceiver::Serve(T_ASC_Association* association) {
    std::int64_t idleSince = SteadyNow();
    for (;;) {
        T_ASC_PresentationContextID context = 0;
        T_DIMSE_Message message{};
        DcmDataset* statusDetail = nullptr;
        OFCondition condition =
            DIMSE_receiveCommand(association, DIMSE_NONBLOCKING, 1, &context, &message, &statusDetail);
        delete statusDetail;
        if (condition == DIMSE_NODATAAVAILABLE) {
            const std::int64_t idle = SteadyNow() - idleSince;
            if (idle >= std::int64_t{m_timeouts.messageSeconds} * 1000000000 ||
                (m_stop.load() && idle >= kIdleAfterStopNs)) {
                ASC_abortAssociation(association);
                return;
            }
            continue;
        }
        if (condition == DUL_PEERREQUESTEDRELEASE) {
            ASC_acknowledgeRelease(association);
            return;
        }
        if (condition.bad()) return;  // aborted or broken: the server reports what it could not send
        idleSince = SteadyNow();
        m_lastSignOfLife.store(idleSince);
        if (message.CommandField == DIMSE_C_ECHO_RQ) {
            DIMSE_sendEchoResponse(association, context, &message.msg.CEchoRQ, STATUS_Success, nullptr);
        } else if (message.CommandField == DIMSE_C_STORE_RQ) {
            const ReceivedFile file =
                ReceiveFile(association, context, message.msg.CStoreRQ, m_store, m_timeouts.messageSeconds);
            m_lastSignOfLife.store(SteadyNow());
            idleSince = SteadyNow();
            if (!file.path.empty() || file.problem) m_onFile(file.path, file.problem);
            if (file.condition.bad()) return;
        } else {
            ASC_abortAssociation(association);
            return;
        }
    }
}

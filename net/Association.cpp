#include "net/Association.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>

#include "dcmtk/dcmnet/cond.h"
#include "dcmtk/oflog/oflog.h"
#include "net/NetFailure.h"

namespace {

std::string HostAndPort(const ServerAddress& server) { return server.host + ":" + std::to_string(server.port); }

// The words of a failed connection or association request.
Reason OpenFailure(const OFCondition& condition, const ServerSettings& settings, T_ASC_Parameters* parameters,
                   double elapsedSeconds) {
    const ServerAddress& server = settings.server;
    if (condition == DUL_ASSOCIATIONREJECTED) {
        T_ASC_RejectParameters rejection{};
        ASC_getRejectParameters(parameters, &rejection);
        const bool aboutUs = rejection.reason == ASC_REASON_SU_CALLINGAETITLENOTRECOGNIZED;
        return Reason(NetFailure::AssociationRejected)
            .About(aboutUs ? settings.callingAe : server.aeTitle)
            .Numbers(rejection.result, rejection.source, rejection.reason);
    }
    if (condition == DUL_READTIMEOUT) {
        return Reason(NetFailure::AssociationTimedOut).About(server.aeTitle).Numbers(settings.timeouts.associationSeconds);
    }
    if (condition == DUL_PEERABORTEDASSOCIATION || condition == DUL_NETWORKCLOSED) {
        return Reason(NetFailure::AssociationAborted).About(server.aeTitle);
    }
    const std::string words = condition.text();
    if (condition.module() == OFM_dcmnet && condition.code() == DULC_TCPINITERROR) {
        if (words.find("unknown host") != std::string::npos) return Reason(NetFailure::HostNotFound).About(server.host);
        if (words.find("refused") != std::string::npos) return Reason(NetFailure::ConnectRefused).About(HostAndPort(server));
        if (words.find("Timeout") != std::string::npos || words.find("timed out") != std::string::npos ||
            elapsedSeconds >= settings.timeouts.connectSeconds - 0.5) {
            return Reason(NetFailure::ConnectTimedOut).About(HostAndPort(server)).Numbers(settings.timeouts.connectSeconds);
        }
    }
    return Reason(NetFailure::ConnectFailed).About(HostAndPort(server) + " (" + words + ")");
}

}  // namespace

void SetUpNetworkLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        OFLog::configure(OFLogger::OFF_LOG_LEVEL);
        ::setenv("TCP_NODELAY", "1", 0);
    });
}

Association::Association(const ServerSettings& settings, T_ASC_Network* network, T_ASC_Association* association)
    : m_settings(settings), m_network(network), m_association(association) {}

Association::~Association() {
    if (m_association != nullptr) Abort();
    if (m_network != nullptr) ASC_dropNetwork(&m_network);
}

std::unique_ptr<Association> Association::Open(const ServerSettings& settings,
                                               const std::vector<ProposedContext>& contexts, Reason* why) {
    SetUpNetworkLibrary();
    const NetworkTimeouts& timeouts = settings.timeouts;
    T_ASC_Network* network = nullptr;
    OFCondition condition = ASC_initializeNetwork(NET_REQUESTOR, 0, timeouts.associationSeconds, &network);
    if (condition.bad()) {
        SetReason(why, Reason(NetFailure::ConnectFailed).About(condition.text()));
        return nullptr;
    }
    T_ASC_Parameters* parameters = nullptr;
    condition = ASC_createAssociationParameters(&parameters, kMaxReceivePdu);
    const std::string peer = HostAndPort(settings.server);
    if (condition.good()) {
        ASC_setAPTitles(parameters, settings.callingAe.c_str(), settings.server.aeTitle.c_str(), nullptr);
        condition = ASC_setPresentationAddresses(parameters, "localhost", peer.c_str());
    }
    int id = 1;
    for (const ProposedContext& context : contexts) {
        if (condition.bad() || id > 255) break;
        std::vector<const char*> syntaxes;
        for (const std::string& syntax : context.transferSyntaxes)
            syntaxes.push_back(syntax.c_str());
        condition = ASC_addPresentationContext(parameters, static_cast<T_ASC_PresentationContextID>(id),
                                               context.abstractSyntax.c_str(), syntaxes.data(),
                                               static_cast<int>(syntaxes.size()),
                                               context.weStore ? ASC_SC_ROLE_SCP : ASC_SC_ROLE_DEFAULT);
        id += 2;
    }
    if (condition.bad()) {
        if (parameters != nullptr) ASC_destroyAssociationParameters(&parameters);
        ASC_dropNetwork(&network);
        SetReason(why, Reason(NetFailure::ConnectFailed).About(peer + " (" + condition.text() + ")"));
        return nullptr;
    }
    // The TCP connection's own timeout is a process-wide setting of DCMTK's.
    dcmConnectionTimeout.set(timeouts.connectSeconds);
    T_ASC_Association* association = nullptr;
    const auto start = std::chrono::steady_clock::now();
    condition = ASC_requestAssociation(network, parameters, &association, nullptr, nullptr, DUL_NOBLOCK,
                                       timeouts.associationSeconds);
    if (condition.bad()) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        SetReason(why, OpenFailure(condition, settings, parameters, elapsed));
        if (association != nullptr) {
            ASC_dropAssociation(association);
            ASC_destroyAssociation(&association);
        } else {
            ASC_destroyAssociationParameters(&parameters);
        }
        ASC_dropNetwork(&network);
        return nullptr;
    }
    std::unique_ptr<Association> opened(new Association(settings, network, association));
    if (ASC_countAcceptedPresentationContexts(association->params) == 0) {
        std::string what = contexts.empty() ? std::string("our request") : contexts.front().abstractSyntax;
        SetReason(why, Reason(NetFailure::NothingAccepted).About(what));
        opened->Release();
        return nullptr;
    }
    return opened;
}

T_ASC_PresentationContextID Association::AcceptedContext(const std::string& abstractSyntax,
                                                         const std::string& transferSyntax) const {
    if (transferSyntax.empty()) return ASC_findAcceptedPresentationContextID(m_association, abstractSyntax.c_str());
    // DCMTK's lookup by transfer syntax falls back to other syntaxes; this one does not.
    for (int i = 0; i < ASC_countPresentationContexts(m_association->params); ++i) {
        T_ASC_PresentationContext context{};
        if (ASC_getPresentationContext(m_association->params, i, &context).bad()) continue;
        if (context.resultReason == ASC_P_ACCEPTANCE && abstractSyntax == context.abstractSyntax &&
            transferSyntax == context.acceptedTransferSyntax) {
            return context.presentationContextID;
        }
    }
    return 0;
}

std::string Association::ContextTransferSyntax(T_ASC_PresentationContextID id) const {
    T_ASC_PresentationContext context{};
    if (ASC_findAcceptedPresentationContext(m_association->params, id, &context).bad()) return {};
    return context.acceptedTransferSyntax;
}

Reason Association::FailureDuring(const OFCondition& condition, const std::string& operation,
                                  const std::string& awaited) {
    if (condition == DIMSE_NODATAAVAILABLE) {
        // The server may still answer later: the association is given up.
        m_broken = true;
        return Reason(NetFailure::MessageTimedOut).About(awaited).Numbers(MessageTimeout());
    }
    m_broken = true;
    if (condition == DUL_PEERABORTEDASSOCIATION || condition == DUL_NETWORKCLOSED ||
        condition == DUL_PEERREQUESTEDRELEASE || condition == DIMSE_READPDVFAILED) {
        return Reason(NetFailure::ConnectionLost).About(operation);
    }
    return Reason(NetFailure::ProtocolFault).About(operation + " (" + condition.text() + ")");
}

std::int64_t SteadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

OFCondition Association::ReceiveCommand(T_ASC_PresentationContextID* context, T_DIMSE_Message* message,
                                        const std::function<void()>& whileWaiting,
                                        const std::atomic<std::int64_t>* lastSignOfLife) {
    const std::int64_t start = SteadyNow();
    const std::int64_t timeout = std::int64_t{MessageTimeout()} * 1000000000;
    for (;;) {
        DcmDataset* statusDetail = nullptr;
        const OFCondition condition =
            DIMSE_receiveCommand(m_association, DIMSE_NONBLOCKING, 1, context, message, &statusDetail);
        delete statusDetail;
        if (condition != DIMSE_NODATAAVAILABLE) return condition;
        if (whileWaiting) whileWaiting();
        const std::int64_t since = lastSignOfLife != nullptr ? std::max(start, lastSignOfLife->load()) : start;
        if (SteadyNow() - since >= timeout) return condition;
    }
}

Reason Association::UnexpectedMessage(const std::string& operation) {
    m_broken = true;
    return Reason(NetFailure::ProtocolFault).About(operation + " (a message that does not belong there)");
}

void Association::Release() {
    if (m_association == nullptr) return;
    if (m_broken || ASC_releaseAssociation(m_association).bad()) {
        Abort();
        return;
    }
    ASC_destroyAssociation(&m_association);
    m_association = nullptr;
}

void Association::Abort() {
    if (m_association == nullptr) return;
    ASC_abortAssociation(m_association);
    ASC_destroyAssociation(&m_association);
    m_association = nullptr;
}

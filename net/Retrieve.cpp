#include "net/Retrieve.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "net/Association.h"
#include "net/FindExchange.h"
#include "net/NetFailure.h"
#include "net/ReceiveFile.h"
#include "net/StorageReceiver.h"
#include "net/TransferSyntaxes.h"

namespace {

// What the retrieve needs to know before it starts.
struct Target {
    std::string studyUid;
    std::vector<std::string> sopClasses;  // empty when the server does not say
};

std::vector<std::string> SplitValues(const std::string& text) {
    std::vector<std::string> values;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\\', start), text.size());
        if (end > start) values.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return values;
}

QueryKey KeyOf(const DcmTagKey& tag, std::string value) { return {tag.getGroup(), tag.getElement(), std::move(value)}; }

// Finds the study of a series given alone, and the kinds of object in the study
// (for C-GET, which must offer a context for each). A server that cannot say
// leaves the kinds empty.
Reason FindTarget(const ServerSettings& settings, const RetrieveRequest& request, Target& target) {
    target.studyUid = request.studyUid;
    const bool needKinds = request.method == RetrieveMethod::Get;
    if (!target.studyUid.empty() && !needKinds) return {};
    Reason why;
    std::unique_ptr<Association> association = Association::Open(settings, {FindContext()}, &why);
    if (association == nullptr) {
        // A server that answers but takes no C-FIND may still retrieve.
        return why.Is(NetFailure::NothingAccepted) && !target.studyUid.empty() ? Reason() : why;
    }
    if (target.studyUid.empty()) {
        const FindResult series = RunFind(*association, QueryLevel::Series,
                                          {KeyOf(DCM_SeriesInstanceUID, request.seriesUid)}, 1, {}, nullptr);
        const std::string* study = series.matches.empty() ? nullptr : series.matches.front().Value("StudyInstanceUID");
        if (series.failure || study == nullptr || study->empty()) {
            association->Release();
            return series.failure ? series.failure : Reason(NetFailure::SeriesNotFound).About(request.seriesUid);
        }
        target.studyUid = *study;
    }
    if (needKinds) {
        const FindResult study = RunFind(*association, QueryLevel::Study,
                                         {KeyOf(DCM_StudyInstanceUID, target.studyUid), KeyOf(DCM_SOPClassesInStudy, "")},
                                         1, {}, nullptr);
        if (!study.matches.empty()) {
            if (const std::string* kinds = study.matches.front().Value("SOPClassesInStudy")) {
                target.sopClasses = SplitValues(*kinds);
            }
        }
    }
    association->Release();
    return {};
}

// The contexts of a C-GET. For kinds the server named, one context per transfer
// syntax, so that each file can come as it is stored; otherwise, for each common
// kind, one context of the uncompressed syntaxes and one of the compressed ones,
// so that a server that sends each file in its own syntax finds one for both.
std::vector<ProposedContext> GetContexts(const std::vector<std::string>& sopClasses) {
    std::vector<ProposedContext> contexts = {
        {UID_GETStudyRootQueryRetrieveInformationModel, UncompressedTransferSyntaxes(), false}};
    constexpr std::size_t kMostContexts = 127;
    const std::size_t perKind = 1 + CompressedTransferSyntaxes().size();
    if (!sopClasses.empty() && 1 + sopClasses.size() * perKind <= kMostContexts) {
        for (const std::string& kind : sopClasses) {
            contexts.push_back({kind, UncompressedTransferSyntaxes(), true});
            for (const std::string& syntax : CompressedTransferSyntaxes())
                contexts.push_back({kind, {syntax}, true});
        }
        return contexts;
    }
    std::vector<std::string> kinds = sopClasses;
    for (int i = 0; i < numberOfDcmShortSCUStorageSOPClassUIDs; ++i)
        if (std::find(kinds.begin(), kinds.end(), dcmShortSCUStorageSOPClassUIDs[i]) == kinds.end())
            kinds.emplace_back(dcmShortSCUStorageSOPClassUIDs[i]);
    for (const std::string& kind : kinds) {
        if (contexts.size() + 2 > kMostContexts) break;
        contexts.push_back({kind, UncompressedTransferSyntaxes(), true});
        contexts.push_back({kind, CompressedTransferSyntaxes(), true});
    }
    return contexts;
}

std::unique_ptr<DcmDataset> RetrieveIdentifier(const RetrieveRequest& request, const std::string& studyUid) {
    auto identifier = std::make_unique<DcmDataset>();
    const bool series = !request.seriesUid.empty();
    identifier->putAndInsertString(DCM_QueryRetrieveLevel, series ? "SERIES" : "STUDY");
    identifier->putAndInsertString(DCM_StudyInstanceUID, studyUid.c_str());
    if (series) identifier->putAndInsertString(DCM_SeriesInstanceUID, request.seriesUid.c_str());
    return identifier;
}

// The counts and status of the server's replies, shared by C-GET and C-MOVE.
class Session {
public:
    Session(const RetrieveObserver& observer, const char* operation) : m_observer(observer), m_operation(operation) {}

    void FileArrived(const std::string& path, const Reason& problem) {
        std::lock_guard lock(m_mutex);
        if (!path.empty()) {
            m_result.files.push_back(path);
            if (m_observer.fileStored) m_observer.fileStored(path);
        } else {
            if (m_result.notKept++ == 0) m_result.notKeptReason = problem;
            if (problem.Is(NetFailure::DiskNearlyFull) && !m_result.failure) m_result.failure = problem;
        }
        Report();
    }

    void Reply(DIC_US status, unsigned opts, DIC_US remaining, DIC_US completed, DIC_US failed, DIC_US warnings,
               unsigned remainingFlag, unsigned completedFlag, unsigned failedFlag, unsigned warningFlag) {
        std::lock_guard lock(m_mutex);
        if ((opts & remainingFlag) != 0) {
            m_progress.remaining = remaining;
            m_progress.remainingKnown = true;
        }
        if ((opts & completedFlag) != 0) m_result.completed = completed;
        if ((opts & failedFlag) != 0) m_result.failed = failed;
        if ((opts & warningFlag) != 0) m_result.warnings = warnings;
        if (m_progress.remainingKnown) {
            m_progress.total = m_progress.remaining + m_result.completed + m_result.failed + m_result.warnings;
        }
        m_status = status;
        Report();
    }

    // Whether to send a C-CANCEL now: once, when the caller cancelled or the disk filled.
    bool CancelDue() {
        std::lock_guard lock(m_mutex);
        if (m_cancelSent) return false;
        const bool due = (m_observer.cancel != nullptr && m_observer.cancel->Cancelled()) ||
                         m_result.failure.Is(NetFailure::DiskNearlyFull);
        m_cancelSent = due;
        return due;
    }

    // Ends the session with `failure`, or with what the server's last status says.
    RetrieveResult Finish(Reason failure) {
        std::lock_guard lock(m_mutex);
        RetrieveResult result = std::move(m_result);
        if (!result.failure) {
            if (failure) {
                result.failure = std::move(failure);
            } else if (m_observer.cancel != nullptr && m_observer.cancel->Cancelled()) {
                result.failure = NetFailure::Cancelled;
            } else if (!IsCancelStatus(m_status) && !IsWarningStatus(m_status) && m_status != 0) {
                result.failure = Reason(NetFailure::ServerRefused).About(m_operation).Numbers(m_status);
            }
        }
        if (result.failed > 0 || result.warnings > 0 || IsWarningStatus(m_status)) {
            result.warning = Reason(NetFailure::SubOperationsFailed)
                                 .About(m_operation)
                                 .Numbers(static_cast<std::int64_t>(result.failed),
                                          static_cast<std::int64_t>(result.warnings),
                                          static_cast<std::int64_t>(result.completed));
        }
        return result;
    }

private:
    void Report() {
        m_progress.stored = m_result.files.size();
        m_progress.failed = m_result.failed;
        if (m_observer.progress) m_observer.progress(m_progress);
    }

    const RetrieveObserver& m_observer;
    const char* m_operation;
    std::mutex m_mutex;
    RetrieveResult m_result;
    RetrieveProgress m_progress;
    DIC_US m_status = 0;
    bool m_cancelSent = false;
};

Reason SendRequest(Association& association, T_ASC_PresentationContextID context, T_DIMSE_Message& request,
                   DcmDataset& identifier, const char* operation) {
    const OFCondition condition =
        DIMSE_sendMessageUsingMemoryData(association.Raw(), context, &request, nullptr, &identifier, nullptr, nullptr);
    return condition.bad() ? association.FailureDuring(condition, operation, std::string("the server to take ") + operation)
                           : Reason();
}

// The replies' data set (a list of failed instances), which nothing here needs.
OFCondition SkipDataSet(Association& association, T_DIMSE_DataSetType type) {
    if (type == DIMSE_DATASET_NULL) return EC_Normal;
    return SkipIncomingDataSet(association.Raw(), association.MessageTimeout());
}

RetrieveResult RunGet(const ServerSettings& settings, const RetrieveRequest& request, const Target& target,
                      const RetrieveObserver& observer, const RetrievedFileStore& store) {
    Session session(observer, "C-GET");
    Reason why;
    std::unique_ptr<Association> association = Association::Open(settings, GetContexts(target.sopClasses), &why);
    if (association == nullptr) return session.Finish(why);
    const T_ASC_PresentationContextID context = association->AcceptedContext(UID_GETStudyRootQueryRetrieveInformationModel);
    if (context == 0) {
        association->Release();
        return session.Finish(Reason(NetFailure::NothingAccepted).About("C-GET in the Study Root model"));
    }
    T_DIMSE_Message message{};
    message.CommandField = DIMSE_C_GET_RQ;
    T_DIMSE_C_GetRQ& get = message.msg.CGetRQ;
    get.MessageID = association->NextMessageId();
    OFStandard::strlcpy(get.AffectedSOPClassUID, UID_GETStudyRootQueryRetrieveInformationModel,
                        sizeof get.AffectedSOPClassUID);
    get.Priority = DIMSE_PRIORITY_MEDIUM;
    get.DataSetType = DIMSE_DATASET_PRESENT;
    std::unique_ptr<DcmDataset> identifier = RetrieveIdentifier(request, target.studyUid);
    if (Reason sent = SendRequest(*association, context, message, *identifier, "C-GET")) return session.Finish(sent);

    const auto cancelIfDue = [&] {
        if (session.CancelDue()) DIMSE_sendCancelRequest(association->Raw(), context, get.MessageID);
    };
    for (;;) {
        T_ASC_PresentationContextID replyContext = 0;
        T_DIMSE_Message reply{};
        OFCondition condition = association->ReceiveCommand(&replyContext, &reply, cancelIfDue);
        if (condition.bad()) {
            return session.Finish(association->FailureDuring(condition, "C-GET", "the next file or reply of C-GET"));
        }
        if (reply.CommandField == DIMSE_C_STORE_RQ) {
            const ReceivedFile file =
                ReceiveFile(association->Raw(), replyContext, reply.msg.CStoreRQ, store, association->MessageTimeout());
            session.FileArrived(file.path, file.problem);
            if (file.condition.bad()) {
                return session.Finish(association->FailureDuring(file.condition, "C-GET", "the rest of a file"));
            }
            cancelIfDue();
            continue;
        }
        if (reply.CommandField != DIMSE_C_GET_RSP) {
            return session.Finish(association->UnexpectedMessage("C-GET"));
        }
        const T_DIMSE_C_GetRSP& response = reply.msg.CGetRSP;
        condition = SkipDataSet(*association, response.DataSetType);
        if (condition.bad()) return session.Finish(association->FailureDuring(condition, "C-GET", "a reply to C-GET"));
        session.Reply(response.DimseStatus, response.opts, response.NumberOfRemainingSubOperations,
                      response.NumberOfCompletedSubOperations, response.NumberOfFailedSubOperations,
                      response.NumberOfWarningSubOperations, O_GET_NUMBEROFREMAININGSUBOPERATIONS,
                      O_GET_NUMBEROFCOMPLETEDSUBOPERATIONS, O_GET_NUMBEROFFAILEDSUBOPERATIONS,
                      O_GET_NUMBEROFWARNINGSUBOPERATIONS);
        if (!IsPendingStatus(response.DimseStatus)) break;
        cancelIfDue();
    }
    association->Release();
    return session.Finish({});
}

RetrieveResult RunMove(const ServerSettings& settings, const RetrieveRequest& request, const Target& target,
                       const RetrieveObserver& observer, const RetrievedFileStore& store) {
    Session session(observer, "C-MOVE");
    Reason why;
    std::unique_ptr<StorageReceiver> receiver = StorageReceiver::Start(
        request.movePort, store, settings.timeouts,
        [&session](const std::string& path, const Reason& problem) { session.FileArrived(path, problem); }, &why);
    if (receiver == nullptr) return session.Finish(why);
    // The receiver stops before the result is taken, so that no file arrives after.
    const auto finish = [&](Reason failure) {
        receiver.reset();
        return session.Finish(std::move(failure));
    };
    std::unique_ptr<Association> association = Association::Open(
        settings, {{UID_MOVEStudyRootQueryRetrieveInformationModel, UncompressedTransferSyntaxes(), false}}, &why);
    if (association == nullptr) return finish(why);
    const T_ASC_PresentationContextID context = association->AcceptedContext(UID_MOVEStudyRootQueryRetrieveInformationModel);
    T_DIMSE_Message message{};
    message.CommandField = DIMSE_C_MOVE_RQ;
    T_DIMSE_C_MoveRQ& move = message.msg.CMoveRQ;
    move.MessageID = association->NextMessageId();
    OFStandard::strlcpy(move.AffectedSOPClassUID, UID_MOVEStudyRootQueryRetrieveInformationModel,
                        sizeof move.AffectedSOPClassUID);
    const std::string destination = request.moveDestination.empty() ? settings.callingAe : request.moveDestination;
    OFStandard::strlcpy(move.MoveDestination, destination.c_str(), sizeof move.MoveDestination);
    move.Priority = DIMSE_PRIORITY_MEDIUM;
    move.DataSetType = DIMSE_DATASET_PRESENT;
    std::unique_ptr<DcmDataset> identifier = RetrieveIdentifier(request, target.studyUid);
    if (Reason sent = SendRequest(*association, context, message, *identifier, "C-MOVE")) return finish(sent);

    const auto cancelIfDue = [&] {
        if (session.CancelDue()) DIMSE_sendCancelRequest(association->Raw(), context, move.MessageID);
    };
    for (;;) {
        T_ASC_PresentationContextID replyContext = 0;
        T_DIMSE_Message reply{};
        OFCondition condition =
            association->ReceiveCommand(&replyContext, &reply, cancelIfDue, &receiver->LastSignOfLife());
        if (condition.bad()) {
            return finish(association->FailureDuring(condition, "C-MOVE", "the next reply to C-MOVE"));
        }
        if (reply.CommandField != DIMSE_C_MOVE_RSP) {
            return finish(association->UnexpectedMessage("C-MOVE"));
        }
        const T_DIMSE_C_MoveRSP& response = reply.msg.CMoveRSP;
        condition = SkipDataSet(*association, response.DataSetType);
        if (condition.bad()) return finish(association->FailureDuring(condition, "C-MOVE", "a reply to C-MOVE"));
        session.Reply(response.DimseStatus, response.opts, response.NumberOfRemainingSubOperations,
                      response.NumberOfCompletedSubOperations, response.NumberOfFailedSubOperations,
                      response.NumberOfWarningSubOperations, O_MOVE_NUMBEROFREMAININGSUBOPERATIONS,
                      O_MOVE_NUMBEROFCOMPLETEDSUBOPERATIONS, O_MOVE_NUMBEROFFAILEDSUBOPERATIONS,
                      O_MOVE_NUMBEROFWARNINGSUBOPERATIONS);
        if (!IsPendingStatus(response.DimseStatus)) break;
        cancelIfDue();
    }
    association->Release();
    // The server's last files may still be on their way when it answers: the
    // receiver ends once its association does.
    receiver->Stop();
    return finish({});
}

}  // namespace

RetrieveResult Retrieve(const ServerSettings& settings, const RetrieveRequest& request,
                        const RetrieveObserver& observer) {
    RetrievedFileStore store(request.folder, request.keepFreeBytes);
    if (request.studyUid.empty() && request.seriesUid.empty()) {
        RetrieveResult result;
        result.failure = Reason(NetFailure::SeriesNotFound).About("(none given)");
        return result;
    }
    if (Reason room = store.CheckRoom()) {
        RetrieveResult result;
        result.failure = room;
        return result;
    }
    RemoveStaleTemporaries(request.folder);
    Target target;
    if (Reason why = FindTarget(settings, request, target)) {
        RetrieveResult result;
        result.failure = why;
        return result;
    }
    return request.method == RetrieveMethod::Get ? RunGet(settings, request, target, observer, store)
                                                 : RunMove(settings, request, target, observer, store);
}

#include "net/Find.h"

#include <memory>

#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "net/Association.h"
#include "net/BoundedDataSet.h"
#include "net/FindExchange.h"
#include "net/NetFailure.h"
#include "net/TransferSyntaxes.h"

namespace {

QueryKey Key(const DcmTagKey& tag) { return {tag.getGroup(), tag.getElement(), {}}; }

// After a cancel, a server that goes on sending is cut off past this many more.
constexpr std::size_t kMatchesAfterCancel = 1000;

bool HasNonAscii(const std::vector<QueryKey>& keys) {
    for (const QueryKey& key : keys) {
        for (const char c : key.value) {
            if (static_cast<unsigned char>(c) > 0x7F) return true;
        }
    }
    return false;
}

}  // namespace

std::vector<QueryKey> DefaultReturnKeys(QueryLevel level) {
    switch (level) {
    case QueryLevel::Study:
        return {Key(DCM_StudyInstanceUID), Key(DCM_PatientName), Key(DCM_PatientID), Key(DCM_PatientBirthDate),
                Key(DCM_StudyDate), Key(DCM_StudyTime), Key(DCM_AccessionNumber), Key(DCM_StudyDescription),
                Key(DCM_ModalitiesInStudy), Key(DCM_StudyID), Key(DCM_NumberOfStudyRelatedSeries),
                Key(DCM_NumberOfStudyRelatedInstances)};
    case QueryLevel::Series:
        return {Key(DCM_StudyInstanceUID), Key(DCM_SeriesInstanceUID), Key(DCM_Modality), Key(DCM_SeriesNumber),
                Key(DCM_SeriesDescription), Key(DCM_SeriesDate), Key(DCM_BodyPartExamined),
                Key(DCM_NumberOfSeriesRelatedInstances)};
    case QueryLevel::Image:
        return {Key(DCM_StudyInstanceUID), Key(DCM_SeriesInstanceUID), Key(DCM_SOPInstanceUID),
                Key(DCM_SOPClassUID), Key(DCM_InstanceNumber), Key(DCM_Rows), Key(DCM_Columns),
                Key(DCM_NumberOfFrames)};
    }
    return {};
}

std::unique_ptr<DcmDataset> QueryIdentifier(QueryLevel level, const std::vector<QueryKey>& keys) {
    auto identifier = std::make_unique<DcmDataset>();
    identifier->putAndInsertString(DCM_QueryRetrieveLevel, QueryLevelName(level));
    if (HasNonAscii(keys)) identifier->putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 192");
    for (const QueryKey& key : DefaultReturnKeys(level)) {
        identifier->insertEmptyElement(DcmTagKey(key.group, key.element));
    }
    for (const QueryKey& key : keys) {
        identifier->putAndInsertString(DcmTagKey(key.group, key.element), key.value.c_str(), OFTrue);
    }
    return identifier;
}

FindResult RunFind(Association& association, QueryLevel level, const std::vector<QueryKey>& keys,
                   std::size_t maxMatches, const std::function<void(const FindMatch&)>& onMatch,
                   const CancelToken* cancel) {
    FindResult result;
    const T_ASC_PresentationContextID context = association.AcceptedContext(UID_FINDStudyRootQueryRetrieveInformationModel);
    if (context == 0) {
        result.failure = Reason(NetFailure::NothingAccepted).About("C-FIND in the Study Root model");
        return result;
    }
    std::unique_ptr<DcmDataset> identifier = QueryIdentifier(level, keys);
    T_DIMSE_Message request{};
    request.CommandField = DIMSE_C_FIND_RQ;
    T_DIMSE_C_FindRQ& find = request.msg.CFindRQ;
    find.MessageID = association.NextMessageId();
    OFStandard::strlcpy(find.AffectedSOPClassUID, UID_FINDStudyRootQueryRetrieveInformationModel,
                        sizeof find.AffectedSOPClassUID);
    find.DataSetType = DIMSE_DATASET_PRESENT;
    find.Priority = DIMSE_PRIORITY_MEDIUM;
    OFCondition condition =
        DIMSE_sendMessageUsingMemoryData(association.Raw(), context, &request, nullptr, identifier.get(), nullptr, nullptr);
    if (condition.bad()) {
        result.failure = association.FailureDuring(condition, "C-FIND", "the server to take the query");
        return result;
    }
    bool cancelSent = false;
    bool cancelledByUser = false;
    std::size_t afterCancel = 0;
    for (;;) {
        T_DIMSE_Message response{};
        T_ASC_PresentationContextID responseContext = 0;
        DcmDataset* statusDetail = nullptr;
        condition = DIMSE_receiveCommand(association.Raw(), DIMSE_NONBLOCKING, association.MessageTimeout(),
                                         &responseContext, &response, &statusDetail);
        delete statusDetail;
        if (condition.bad()) {
            result.failure = association.FailureDuring(condition, "C-FIND", "the next reply to C-FIND");
            return result;
        }
        if (response.CommandField != DIMSE_C_FIND_RSP) {
            result.failure = association.UnexpectedMessage("C-FIND");
            return result;
        }
        const T_DIMSE_C_FindRSP& reply = response.msg.CFindRSP;
        ReceivedBytes received;
        const bool hasMatch = reply.DataSetType != DIMSE_DATASET_NULL;
        if (hasMatch) {
            condition = ReceiveDataSetBytes(association.Raw(), association.MessageTimeout(), &responseContext,
                                            kMaxMatchBytes, received);
            if (condition.bad()) {
                result.failure = association.FailureDuring(condition, "C-FIND", "the next match of C-FIND");
                return result;
            }
        }
        if (!IsPendingStatus(reply.DimseStatus)) {
            if (cancelledByUser) {
                result.failure = NetFailure::Cancelled;
            } else if (reply.DimseStatus != 0 && !IsCancelStatus(reply.DimseStatus) &&
                       !IsWarningStatus(reply.DimseStatus)) {
                result.failure = Reason(NetFailure::ServerRefused).About("C-FIND").Numbers(reply.DimseStatus);
            }
            return result;
        }
        if (!hasMatch) continue;
        if (cancelSent) {
            if (++afterCancel > kMatchesAfterCancel) {
                // The server ignores the cancel: the association is cut.
                association.Abort();
                if (cancelledByUser) result.failure = NetFailure::Cancelled;
                return result;
            }
            continue;
        }
        if (result.matches.size() >= maxMatches) {
            // One match past the cap tells that there are more than shown.
            result.moreThanShown = true;
            DIMSE_sendCancelRequest(association.Raw(), context, find.MessageID);
            cancelSent = true;
            continue;
        }
        std::optional<FindMatch> match;
        if (!received.tooLarge) {
            match = ReadFindMatchBytes(received.bytes, association.ContextTransferSyntax(responseContext));
        }
        if (!match) {
            ++result.unreadable;
            continue;
        }
        result.matches.push_back(std::move(*match));
        if (onMatch) onMatch(result.matches.back());
        if (cancel != nullptr && cancel->Cancelled()) {
            DIMSE_sendCancelRequest(association.Raw(), context, find.MessageID);
            cancelSent = true;
            cancelledByUser = true;
        }
    }
}

FindResult Find(const ServerSettings& settings, const FindRequest& request,
                const std::function<void(const FindMatch&)>& onMatch, const CancelToken* cancel) {
    FindResult result;
    std::unique_ptr<Association> association =
        Association::Open(settings, {FindContext()}, &result.failure);
    if (association == nullptr) return result;
    result = RunFind(*association, request.level, request.keys, request.maxMatches, onMatch, cancel);
    association->Release();
    return result;
}

ProposedContext FindContext() {
    return {UID_FINDStudyRootQueryRetrieveInformationModel, UncompressedTransferSyntaxes(), false};
}

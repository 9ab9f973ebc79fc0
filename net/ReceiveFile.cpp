#include "net/ReceiveFile.h"

#include <memory>

#include "dcmtk/dcmdata/dcostrmf.h"
#include "net/NetFailure.h"

namespace {

constexpr DIC_US kOutOfResources = 0xA700;
constexpr DIC_US kCannotUnderstand = 0xC000;

OFCondition Answer(T_ASC_Association* association, T_ASC_PresentationContextID context,
                   const T_DIMSE_C_StoreRQ& request, DIC_US status) {
    T_DIMSE_C_StoreRSP response{};
    response.MessageIDBeingRespondedTo = request.MessageID;
    response.DimseStatus = status;
    response.DataSetType = DIMSE_DATASET_NULL;
    OFStandard::strlcpy(response.AffectedSOPClassUID, request.AffectedSOPClassUID, sizeof response.AffectedSOPClassUID);
    OFStandard::strlcpy(response.AffectedSOPInstanceUID, request.AffectedSOPInstanceUID,
                        sizeof response.AffectedSOPInstanceUID);
    response.opts = O_STORE_AFFECTEDSOPCLASSUID | O_STORE_AFFECTEDSOPINSTANCEUID;
    return DIMSE_sendStoreResponse(association, context, &request, &response, nullptr);
}

}  // namespace

OFCondition SkipIncomingDataSet(T_ASC_Association* association, int timeoutSeconds) {
    DIC_UL bytes = 0;
    DIC_UL fragments = 0;
    return DIMSE_ignoreDataSet(association, DIMSE_NONBLOCKING, timeoutSeconds, &bytes, &fragments);
}

ReceivedFile ReceiveFile(T_ASC_Association* association, T_ASC_PresentationContextID context,
                         const T_DIMSE_C_StoreRQ& request, const RetrievedFileStore& store, int timeoutSeconds) {
    ReceivedFile received;
    received.problem = store.CheckRoom();
    std::unique_ptr<TemporaryFile> file;
    if (!received.problem) file = store.NewTemporary(&received.problem);
    if (file == nullptr) {
        received.condition = SkipIncomingDataSet(association, timeoutSeconds);
        if (received.condition.good()) received.condition = Answer(association, context, request, kOutOfResources);
        return received;
    }
    DcmOutputFileStream* rawStream = nullptr;
    received.condition = DIMSE_createFilestream(file->Path().c_str(), &request, association, context, OFTrue, &rawStream);
    std::unique_ptr<DcmOutputFileStream> stream(rawStream);
    if (received.condition.bad()) {
        received.problem = Reason(NetFailure::FileNotWritten).About(file->Path()).Errno(EIO);
        received.condition = SkipIncomingDataSet(association, timeoutSeconds);
        if (received.condition.good()) received.condition = Answer(association, context, request, kOutOfResources);
        return received;
    }
    T_ASC_PresentationContextID dataContext = context;
    received.condition = DIMSE_receiveDataSetInFile(association, DIMSE_NONBLOCKING, timeoutSeconds, &dataContext,
                                                    stream.get(), nullptr, nullptr);
    const bool written = stream->status().good();
    stream.reset();
    if (received.condition.bad()) return received;  // the temporary goes with `file`
    if (!written) {
        received.problem = Reason(NetFailure::FileNotWritten).About(file->Path()).Errno(ENOSPC);
        received.condition = Answer(association, context, request, kOutOfResources);
        return received;
    }
    received.path = store.Place(*file, request.AffectedSOPInstanceUID, &received.problem);
    received.condition = Answer(association, context, request, received.path.empty() ? kCannotUnderstand : 0);
    return received;
}

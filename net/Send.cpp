#include "net/Send.h"

#include <algorithm>
#include <map>
#include <memory>

#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcxfer.h"
#include "net/Association.h"
#include "net/NetFailure.h"
#include "net/RetrievedFiles.h"
#include "net/TransferSyntaxes.h"

namespace {

constexpr std::size_t kMaxContexts = 127;

struct Outgoing {
    std::size_t index = 0;  // in the caller's list
    StoredFileIdentity identity;
    bool hasMeta = false;  // the data set follows a file meta group and can be sent as stored
};

bool IsUncompressed(const std::string& syntax) {
    const std::vector<std::string>& plain = UncompressedTransferSyntaxes();
    return std::find(plain.begin(), plain.end(), syntax) != plain.end();
}

// The context a file needs: its kind with its own syntax, and for uncompressed
// data every uncompressed syntax, to convert to one the server takes.
ProposedContext ContextFor(const StoredFileIdentity& identity) {
    if (IsUncompressed(identity.transferSyntaxUid)) return {identity.sopClassUid, UncompressedTransferSyntaxes(), false};
    return {identity.sopClassUid, {identity.transferSyntaxUid}, false};
}

std::string ContextKey(const ProposedContext& context) {
    return context.abstractSyntax + "|" + context.transferSyntaxes.front() + "|" +
           std::to_string(context.transferSyntaxes.size());
}

// Reads what a file needs to be sent; false with `problem` when it cannot be.
bool Prepare(const std::string& path, Outgoing& outgoing, Reason& problem) {
    DcmFileFormat file;
    if (!ReadStoredFileIdentity(path, outgoing.identity)) {
        problem = Reason(NetFailure::NotDicom).About(path);
        return false;
    }
    if (outgoing.identity.sopClassUid.empty() || outgoing.identity.sopInstanceUid.empty()) {
        // Without a meta group and a SOP Class, the bytes merely parsed as elements.
        const bool dicom = !outgoing.identity.transferSyntaxUid.empty() || !outgoing.identity.sopClassUid.empty();
        problem = Reason(dicom ? NetFailure::NoSopIdentity : NetFailure::NotDicom).About(path);
        return false;
    }
    outgoing.hasMeta = !outgoing.identity.transferSyntaxUid.empty();
    if (!outgoing.hasMeta) {
        // A data set without a meta group: its syntax as DCMTK detects it.
        if (file.loadFileUntilTag(path.c_str(), EXS_Unknown, EGL_noChange, DCM_MaxReadLength, ERM_autoDetect,
                                  DCM_SOPInstanceUID)
                .bad()) {
            problem = Reason(NetFailure::NotDicom).About(path);
            return false;
        }
        outgoing.identity.transferSyntaxUid = DcmXfer(file.getDataset()->getOriginalXfer()).getXferID();
    }
    return true;
}

// Sends one file on an open association; the condition is bad when the association failed.
OFCondition SendOne(Association& association, const std::string& path, const Outgoing& outgoing, SentFile& sent) {
    const StoredFileIdentity& identity = outgoing.identity;
    T_ASC_PresentationContextID context = association.AcceptedContext(identity.sopClassUid, identity.transferSyntaxUid);
    const bool asStored = context != 0 && outgoing.hasMeta;
    if (context == 0 && IsUncompressed(identity.transferSyntaxUid)) context = association.AcceptedContext(identity.sopClassUid);
    if (context == 0) {
        sent.problem = Reason(NetFailure::SyntaxNotAccepted).About(path);
        return EC_Normal;
    }
    T_DIMSE_C_StoreRQ request{};
    request.MessageID = association.NextMessageId();
    OFStandard::strlcpy(request.AffectedSOPClassUID, identity.sopClassUid.c_str(), sizeof request.AffectedSOPClassUID);
    OFStandard::strlcpy(request.AffectedSOPInstanceUID, identity.sopInstanceUid.c_str(),
                        sizeof request.AffectedSOPInstanceUID);
    request.DataSetType = DIMSE_DATASET_PRESENT;
    request.Priority = DIMSE_PRIORITY_MEDIUM;
    T_DIMSE_C_StoreRSP response{};
    DcmDataset* statusDetail = nullptr;
    OFCondition condition;
    if (asStored) {
        // The data set's bytes go as they are in the file.
        condition = DIMSE_storeUser(association.Raw(), context, &request, path.c_str(), nullptr, nullptr, nullptr,
                                    DIMSE_NONBLOCKING, association.MessageTimeout(), &response, &statusDetail);
    } else {
        DcmFileFormat file;
        if (file.loadFile(path.c_str()).bad()) {
            sent.problem = Reason(NetFailure::NotDicom).About(path);
            return EC_Normal;
        }
        const E_TransferSyntax target = DcmXfer(association.ContextTransferSyntax(context).c_str()).getXfer();
        if (file.getDataset()->chooseRepresentation(target, nullptr).bad() ||
            !file.getDataset()->canWriteXfer(target)) {
            sent.problem = Reason(NetFailure::SyntaxNotAccepted).About(path);
            return EC_Normal;
        }
        condition = DIMSE_storeUser(association.Raw(), context, &request, nullptr, file.getDataset(), nullptr, nullptr,
                                    DIMSE_NONBLOCKING, association.MessageTimeout(), &response, &statusDetail);
    }
    delete statusDetail;
    if (condition.bad()) return condition;
    if (response.DimseStatus == 0 || IsWarningStatus(response.DimseStatus)) {
        sent.stored = true;
        if (response.DimseStatus != 0) {
            sent.problem = Reason(NetFailure::ServerWarned).About(path).Numbers(response.DimseStatus);
        }
    } else {
        sent.problem = Reason(NetFailure::StoreRefused).About(path).Numbers(response.DimseStatus);
    }
    return EC_Normal;
}

}  // namespace

SendResult Send(const ServerSettings& settings, const std::vector<std::string>& files, const SendObserver& observer) {
    SendResult result;
    result.files.resize(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        result.files[i].index = i;
    std::size_t done = 0;
    const auto finishFile = [&](std::size_t index) {
        SentFile& sent = result.files[index];
        sent.path = files[index];
        if (sent.stored) {
            ++result.stored;
        } else {
            ++result.refused;
        }
        ++done;
        if (observer.fileDone) observer.fileDone(sent, done, files.size());
    };

    // Batches of files whose contexts fit in one association, in the order given.
    std::vector<std::vector<Outgoing>> batches;
    std::vector<std::map<std::string, ProposedContext>> batchContexts;
    for (std::size_t i = 0; i < files.size(); ++i) {
        Outgoing outgoing;
        outgoing.index = i;
        if (!Prepare(files[i], outgoing, result.files[i].problem)) {
            finishFile(i);
            continue;
        }
        const ProposedContext context = ContextFor(outgoing.identity);
        const std::string key = ContextKey(context);
        if (batches.empty() ||
            (batchContexts.back().count(key) == 0 && batchContexts.back().size() >= kMaxContexts)) {
            batches.emplace_back();
            batchContexts.emplace_back();
        }
        batchContexts.back().emplace(key, context);
        batches.back().push_back(std::move(outgoing));
    }

    for (std::size_t b = 0; b < batches.size(); ++b) {
        std::vector<ProposedContext> contexts;
        for (const auto& [key, context] : batchContexts[b])
            contexts.push_back(context);
        std::unique_ptr<Association> association;
        bool nothingTaken = false;
        if (!result.failure) {
            association = Association::Open(settings, contexts, &result.failure);
            // A server that takes none of these kinds refuses these files, not the rest.
            nothingTaken = result.failure.Is(NetFailure::NothingAccepted);
            if (nothingTaken) result.failure = {};
        }
        for (const Outgoing& outgoing : batches[b]) {
            if (association != nullptr && observer.cancel != nullptr && observer.cancel->Cancelled()) {
                result.failure = NetFailure::Cancelled;
                association->Release();
                association.reset();
            }
            if (nothingTaken) {
                result.files[outgoing.index].problem = Reason(NetFailure::SyntaxNotAccepted).About(files[outgoing.index]);
                finishFile(outgoing.index);
                continue;
            }
            if (association == nullptr) {
                ++result.notSent;
                result.files[outgoing.index].path = files[outgoing.index];
                continue;
            }
            SentFile& sent = result.files[outgoing.index];
            const OFCondition condition = SendOne(*association, files[outgoing.index], outgoing, sent);
            if (condition.bad()) {
                result.failure = association->FailureDuring(condition, "C-STORE of " + files[outgoing.index],
                                                            "the reply to C-STORE of " + files[outgoing.index]);
                association.reset();
                ++result.notSent;
                sent.path = files[outgoing.index];
                continue;
            }
            finishFile(outgoing.index);
        }
        if (association != nullptr) association->Release();
    }
    return result;
}

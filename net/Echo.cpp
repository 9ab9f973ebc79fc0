#include "net/Echo.h"

#include "dcmtk/dcmdata/dcuid.h"
#include "net/Association.h"
#include "net/NetFailure.h"
#include "net/TransferSyntaxes.h"

Reason Echo(const ServerSettings& settings) {
    Reason why;
    std::unique_ptr<Association> association =
        Association::Open(settings, {{UID_VerificationSOPClass, UncompressedTransferSyntaxes(), false}}, &why);
    if (association == nullptr) return why;
    DIC_US status = 0;
    DcmDataset* statusDetail = nullptr;
    const OFCondition condition = DIMSE_echoUser(association->Raw(), association->NextMessageId(), DIMSE_NONBLOCKING,
                                                 association->MessageTimeout(), &status, &statusDetail);
    delete statusDetail;
    if (condition.bad()) {
        why = association->FailureDuring(condition, "C-ECHO", "the reply to C-ECHO");
    } else if (status != 0) {
        why = Reason(NetFailure::ServerRefused).About("C-ECHO").Numbers(status);
    }
    association->Release();
    return why;
}

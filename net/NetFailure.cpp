#include "net/NetFailure.h"

#include <cstdio>

namespace {

std::string Number(const Reason& reason, std::size_t index) { return std::to_string(reason.Number(index)); }

std::string Hex(std::int64_t status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(status & 0xFFFF));
    return text;
}

std::string Seconds(const Reason& reason) {
    return reason.First() == 1 ? "1 second" : Number(reason, 0) + " seconds";
}

// The rejection's reason code as the server's words would mean it.
std::string RejectionText(const Reason& reason) {
    const std::string title = "\"" + reason.Subject() + "\"";
    switch (reason.Number(2)) {
    case 0x0101: return "no reason given";
    case 0x0102: return "it does not support the DICOM application context";
    case 0x0103: return "it does not know our AE title " + title;
    case 0x0107: return "it does not answer to the AE title " + title;
    case 0x0201: return "no reason given";
    case 0x0202: return "it does not support our protocol version";
    case 0x0301: return "it is too busy";
    case 0x0302: return "it has reached its limit of associations";
    default: break;
    }
    return "reason " + Hex(reason.Number(2));
}

}  // namespace

std::string DimseStatusText(std::uint16_t status) {
    if (status == 0x0000) return "success";
    if (IsPendingStatus(status)) return "pending";
    if (IsCancelStatus(status)) return "cancelled";
    switch (status) {
    case 0x0001: return "some values were changed";
    case 0x0107: return "some attributes were not stored";
    case 0x0116: return "some values are out of range";
    case 0x0110: return "processing failed";
    case 0x0111: return "the instance exists already";
    case 0x0112: return "no such instance";
    case 0x0117: return "the instance UID is invalid";
    case 0x0122: return "the kind of object is not supported";
    case 0x0124: return "not authorised";
    case 0x0210: return "a duplicate message";
    case 0x0211: return "the operation is not recognised";
    case 0x0212: return "a mistyped argument";
    case 0x0213: return "the server has too many operations running";
    case 0xA700: return "the server is out of resources";
    case 0xA701: return "the server is out of resources to count the matches";
    case 0xA702: return "the server is out of resources for the sub-operations";
    case 0xA801: return "the server does not know the move destination";
    case 0xA900: return "the query does not match the information model";
    case 0xB000: return "some sub-operations failed or gave warnings";
    case 0xB006: return "some elements were discarded";
    case 0xB007: return "the data set does not match the kind of object";
    default: break;
    }
    if ((status & 0xF000) == 0xA000) return "refused";
    if ((status & 0xF000) == 0xC000) return "the server was unable to process it";
    if ((status & 0xF000) == 0xB000) return "a warning";
    return "failure";
}

std::string ReasonText(NetFailure code, const Reason& reason) {
    const std::string& subject = reason.Subject();
    switch (code) {
    case NetFailure::HostNotFound: return "the host \"" + subject + "\" is not known";
    case NetFailure::ConnectRefused: return subject + " refused the connection (no DICOM server on that port)";
    case NetFailure::ConnectTimedOut:
        return "timed out connecting to " + subject + ": no answer within " + Seconds(reason);
    case NetFailure::ConnectFailed: return "could not connect to " + subject;
    case NetFailure::AssociationTimedOut:
        return "timed out waiting for " + subject + " to accept the association: no answer within " +
               Seconds(reason);
    case NetFailure::AssociationRejected:
        return std::string("the server rejected the association") + (reason.Number(0) == 2 ? " for now" : "") + ": " +
               RejectionText(reason);
    case NetFailure::AssociationAborted: return subject + " aborted the association as it was being set up";
    case NetFailure::NothingAccepted: return "the server does not accept " + subject;
    case NetFailure::MessageTimedOut:
        return "timed out waiting for " + subject + ": nothing arrived within " + Seconds(reason);
    case NetFailure::ConnectionLost: return "the server closed the connection during " + subject;
    case NetFailure::ProtocolFault: return "the exchange broke down during " + subject;
    case NetFailure::ServerRefused:
        return subject + " failed: " + DimseStatusText(static_cast<std::uint16_t>(reason.First())) + " (status " +
               Hex(reason.First()) + ")";
    case NetFailure::ServerWarned:
        return subject + " ended with a warning: " + DimseStatusText(static_cast<std::uint16_t>(reason.First())) +
               " (status " + Hex(reason.First()) + ")";
    case NetFailure::SubOperationsFailed:
        return subject + ": the server reports " + Number(reason, 0) + " failed, " + Number(reason, 1) +
               " with warnings, " + Number(reason, 2) + " completed";
    case NetFailure::ReceiverNotOpened:
        return "could not listen for the server's files on port " + Number(reason, 0) + ": " +
               (reason.ErrorNumber() != 0 ? SystemErrorText(reason.ErrorNumber()) : subject);
    case NetFailure::DiskNearlyFull:
        return "the disk holding " + subject + " is nearly full (" + Number(reason, 0) +
               " bytes free, at least " + Number(reason, 1) + " kept free)";
    case NetFailure::FileNotWritten:
        return subject + " could not be written: " + SystemErrorText(reason.ErrorNumber());
    case NetFailure::Cancelled: return "cancelled";
    case NetFailure::NotDicom: return subject + " is not a DICOM file";
    case NetFailure::NoSopIdentity: return subject + " gives no SOP Class UID or SOP Instance UID";
    case NetFailure::SyntaxNotAccepted:
        return "the server accepts neither the kind of object nor the transfer syntax of " + subject;
    case NetFailure::StoreRefused:
        return "the server refused " + subject + ": " + DimseStatusText(static_cast<std::uint16_t>(reason.First())) +
               " (status " + Hex(reason.First()) + ")";
    case NetFailure::SeriesNotFound: return "the server knows no series " + subject;
    }
    return "the network operation failed";
}

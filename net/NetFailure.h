// Why a network operation, or one file of it, failed, as codes with their plain
// words. The details travel in the Reason: the subject and numbers listed beside
// each code.
#pragma once

#include <cstdint>
#include <string>

#include "io/Reason.h"

enum class NetFailure {
    HostNotFound,         // Subject: the host
    ConnectRefused,       // Subject: host:port
    ConnectTimedOut,      // Subject: host:port; seconds
    ConnectFailed,        // Subject: host:port and the library's words
    AssociationTimedOut,  // Subject: the server's AE title; seconds
    AssociationRejected,  // Subject: the AE title the reason is about; result, source, reason as sent
    AssociationAborted,   // Subject: the server's AE title
    NothingAccepted,      // Subject: what was proposed ("C-FIND in the Study Root model")
    MessageTimedOut,      // Subject: what was awaited ("the reply to C-FIND"); seconds
    ConnectionLost,       // Subject: what was under way ("C-GET")
    ProtocolFault,        // Subject: what was under way, then the library's words
    ServerRefused,        // Subject: the operation ("C-FIND"); its status
    ServerWarned,         // Subject: the operation; its status
    SubOperationsFailed,  // Subject: the operation; failed, warnings, completed
    ReceiverNotOpened,    // port; Errno or Subject: the library's words
    DiskNearlyFull,       // Subject: the folder; bytes free, bytes to keep free
    FileNotWritten,       // Subject: the path; Errno
    Cancelled,            //
    NotDicom,             // Subject: the path
    NoSopIdentity,        // Subject: the path (no SOP Class or SOP Instance UID)
    SyntaxNotAccepted,    // Subject: the path; the server takes neither its kind nor its transfer syntax
    StoreRefused,         // Subject: the path; the status
    SeriesNotFound,       // Subject: the series UID
};
std::string ReasonText(NetFailure code, const Reason& reason);

// The plain words for a DIMSE status: "out of resources", "cancelled".
std::string DimseStatusText(std::uint16_t status);

// DIMSE status classes.
inline bool IsPendingStatus(std::uint16_t status) { return status == 0xFF00 || status == 0xFF01; }
inline bool IsWarningStatus(std::uint16_t status) {
    return status == 0x0001 || (status & 0xF000) == 0xB000 || status == 0x0107 || status == 0x0116;
}
inline bool IsCancelStatus(std::uint16_t status) { return status == 0xFE00; }

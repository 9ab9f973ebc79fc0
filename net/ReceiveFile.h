// Takes the data set of one C-STORE request, from a server sending within a C-GET
// or to our receiver within a C-MOVE, into the retrieved-file store, and answers
// the request. The bytes go to disk as they arrive, never held whole in memory.
#pragma once

#include <string>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmnet/assoc.h"
#include "dcmtk/dcmnet/dimse.h"
#include "io/Reason.h"
#include "net/RetrievedFiles.h"

struct ReceivedFile {
    std::string path;       // where the file now is; empty when it was not kept
    Reason problem;         // why not
    OFCondition condition;  // bad when the association itself failed
};

ReceivedFile ReceiveFile(T_ASC_Association* association, T_ASC_PresentationContextID context,
                         const T_DIMSE_C_StoreRQ& request, const RetrievedFileStore& store, int timeoutSeconds);

// Reads and drops the data set that follows a command.
OFCondition SkipIncomingDataSet(T_ASC_Association* association, int timeoutSeconds);

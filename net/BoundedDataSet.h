// An incoming data set received as bytes, kept up to a cap, and checked before it
// is parsed. DCMTK's parser allocates each value at the length its header claims,
// before the bytes arrive: a C-FIND match of a few bytes claiming a value of 4 GiB
// would have it allocate 4 GiB. Here the bytes are held first, and only a data set
// whose every length fits within them is handed to DCMTK.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmnet/assoc.h"
#include "dcmtk/dcmnet/dimse.h"

struct ReceivedBytes {
    std::vector<std::uint8_t> bytes;
    bool tooLarge = false;  // more than the cap arrived; the rest was read and dropped
};

// Receives the data set that follows a command, keeping at most `cap` bytes.
OFCondition ReceiveDataSetBytes(T_ASC_Association* association, int timeoutSeconds,
                                T_ASC_PresentationContextID* context, std::size_t cap, ReceivedBytes& received);

// Whether every element's length, at every depth, fits within the bytes after its
// header, for a data set in an uncompressed transfer syntax, read with the nesting
// DCMTK will read it with; a data set whose structure DCMTK would read otherwise
// than this check does is refused.
bool ElementLengthsFit(std::span<const std::uint8_t> bytes, bool explicitVr, bool bigEndian);

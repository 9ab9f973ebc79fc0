// Loads the decoder module (dorvanelle-codecs.so) the first time it is asked for,
// once per process and safely from any thread. It is looked for in the folder
// named by DORVANELLE_CODECS_DIR when that is set (and only there), otherwise in
// the running program's own folder (the build tree), then in the folder it is
// installed to, found from the program's folder and as configured.
#pragma once

#include "io/Reason.h"

struct DecoderTable;

// The module's table, or null with DecodeFailure::DecodersNotLoaded in `why`
// (its subject says what was tried or what the loader said).
const DecoderTable* LoadedDecoders(Reason* why);

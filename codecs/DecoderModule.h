// Loads the decoder module of a library (DecoderLibrary.h) the first time a frame
// needs it, once per process and safely from any thread. Modules are looked for in
// the folder named by DORVANELLE_CODECS_DIR when that is set (and only there),
// otherwise in the running program's own folder (the build tree), then in the
// folder they are installed to, found from the program's folder and as configured.
#pragma once

#include "codecs/DecoderLibrary.h"
#include "io/Reason.h"

// The module's table, or null with DecodeFailure::DecodersNotLoaded in `why`
// (its subject says what was tried or what the loader said).
const DecoderTable* LoadedDecoders(DecoderLibrary library, Reason* why);

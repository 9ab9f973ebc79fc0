// The DICOM stream builder moved to tools/dicomstream, where the study generator
// links it without the tests; this name stays for code written before the move.
#pragma once

#include "tools/dicomstream/DicomStreamBuilder.h"

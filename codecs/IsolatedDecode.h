// Runs a decode in a child process, for a library that stops the whole process on
// some corrupt streams: OpenJPEG 2.5.0 asserts in its High-Throughput block decoder
// (mel_init) on code-block data it does not expect, and libjxl stops on its own
// assertions and prints as it fails. The child writes the samples into memory
// shared with the caller and its outcome beside them; a child that dies gives a
// reason instead of taking the viewer with it, and what it prints is not shown.
#pragma once

#include <functional>

#include "codecs/DecoderParts.h"

// Runs `decode` on an output of out.size bytes in a child process and copies what
// it wrote into `out`. False with a reason when `decode` fails, or when the child
// is stopped by a signal (`kind` names the stream in the words).
bool DecodeInChildProcess(const char* kind, FrameOutput& out,
                          const std::function<bool(FrameOutput& out, Reason* why)>& decode, Reason* why);

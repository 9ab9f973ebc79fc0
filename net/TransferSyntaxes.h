// The transfer syntaxes we take files in: every one our reader shows, uncompressed
// first, then lossless, then lossy compression: the order in which we offer them
// for C-GET.
#pragma once

#include <string>
#include <vector>

// Explicit VR little endian, implicit VR little endian, explicit VR big endian.
const std::vector<std::string>& UncompressedTransferSyntaxes();
// The others we decode, one at a time: deflated, lossless, then lossy compression.
const std::vector<std::string>& CompressedTransferSyntaxes();
// Both lists, uncompressed first.
std::vector<std::string> ReceivableTransferSyntaxes();

// Whether `uid` is one of the lossy compressed syntaxes we take.
bool IsLossyTransferSyntax(const std::string& uid);

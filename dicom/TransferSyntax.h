// The transfer syntaxes the reader knows: how the data set after the file meta
// group is encoded, and for encapsulated pixel data which decoder shows it, or in
// plain words why it is not shown.
#pragma once

#include <string_view>

#include "codecs/FrameDecoder.h"

enum class SyntaxKind : unsigned char {
    ImplicitLittle,
    ExplicitLittle,
    ExplicitBig,
    DeflatedLittle,  // explicit VR little endian, the data set deflated
    Encapsulated,    // compressed frames a decoder of ours shows
    NotShown,        // compressed frames nothing here decodes
};

struct TransferSyntax {
    const char* uid;
    const char* name;
    SyntaxKind kind;
    FrameCodec codec;        // for Encapsulated
    const char* notShownAs;  // for NotShown: "compressed as ..., which is not shown"
};

// The entry of `uid` (trailing zero bytes and blanks ignored), or null for a UID
// that is not in the table.
const TransferSyntax* FindTransferSyntax(std::string_view uid);

// Why a document cannot open a file, or why an open document holds no image when no
// reader gave a reason of its own.
#pragma once

#include <string>

#include "io/Reason.h"

enum class DocumentOpenFailure {
    IsFolder,
    NotFound,
    CannotOpen,  // ErrorNumber says why
};
std::string ReasonText(DocumentOpenFailure code, const Reason& reason);

enum class DocumentNoImage {
    NotConverted,     // the picture was read but could not be converted (memory)
    SingleFrameOnly,  // First: the frame asked of a bitmap or PCX picture
    NoPixels,         // First x Second: the width and height of a picture with none
};
std::string ReasonText(DocumentNoImage code, const Reason& reason);

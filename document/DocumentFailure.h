// Why a document cannot open a file, why an open document holds no image when no
// reader gave a reason of its own, and why a save wrote nothing.
#pragma once

#include <string>

#include "io/Reason.h"

enum class DocumentOpenFailure {
    IsFolder,
    NotFound,
    CannotOpen,  // ErrorNumber says why
};
std::string ReasonText(DocumentOpenFailure code, const Reason& reason);
const char* ReasonSummary(DocumentOpenFailure code);
const char* ReasonName(DocumentOpenFailure code);
// Why `path` cannot be opened at all, from the reason its reader gave (a folder, a
// file not found, a system error); empty when the reader's reason is about what the
// file holds. The viewer, the header dialog and dump say it in these words.
Reason OpenFailureOf(const Reason& read, const std::string& path);

enum class DocumentNoImage {
    NotConverted,     // the picture was read but could not be converted (memory)
    SingleFrameOnly,  // First: the frame asked of a bitmap or PCX picture
    NoPixels,         // First x Second: the width and height of a picture with none
};
std::string ReasonText(DocumentNoImage code, const Reason& reason);
const char* ReasonSummary(DocumentNoImage code);
const char* ReasonName(DocumentNoImage code);

// Why a save wrote nothing before any writer was asked.
enum class DocumentSaveFailure {
    NothingToSave,    // the document holds no image
    NothingSelected,  // Save Selected Image without a selected image
};
std::string ReasonText(DocumentSaveFailure code, const Reason& reason);

// The sentence that tells the user the file `fileTitle` shows no image, and why.
std::string NoImageText(const std::string& fileTitle, const Reason& why);
// The sentence that tells the user a save under `fileTitle` failed for `why`.
std::string SaveProblemText(const std::string& fileTitle, const Reason& why);

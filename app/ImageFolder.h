// The folder where file dialogs start: "Images" beside the executables' folder.
#pragma once

#include <QString>

// Makes <executable folder>/../Images the current directory, creating it (one level)
// when it is missing. A second failure is ignored: the dialog then opens wherever
// the system puts it. Returns the folder's path.
QString PrepareImageFolder();

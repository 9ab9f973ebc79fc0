// Where the program's loadable parts (the decoder module, the network helper) are
// looked for: the folder named by DORVANELLE_CODECS_DIR when that is set (and only
// there), otherwise the running program's own folder (the build tree), then the
// folder they are installed to, found from the program's folder and as configured.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> ModuleFolders();

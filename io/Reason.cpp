#include "io/Reason.h"

#include <cstring>

std::string SystemErrorText(int error) { return std::strerror(error); }

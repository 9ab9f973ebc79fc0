// C-ECHO: whether the server answers, and if not, why.
#pragma once

#include "io/Reason.h"
#include "net/ServerSettings.h"

// Empty when the server answered the verification with success.
Reason Echo(const ServerSettings& settings);

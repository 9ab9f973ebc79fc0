// The program's own names, as windows, settings and the about box show them.
#pragma once

inline constexpr char kProgramName[] = "Dorvanelle";
// The organisation the settings are stored under.
inline constexpr char kOrganisationName[] = "Davov Adivir";

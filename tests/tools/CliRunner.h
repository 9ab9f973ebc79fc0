// Runs dorvanelle-cli as a separate process and collects what it printed.
#pragma once

#include <string>
#include <vector>

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

CliRun RunCli(const std::vector<std::string>& args);
// Whether `text` is one well-formed JSON value; true without checking when no
// python3 is at hand to check it.
bool IsWellFormedJson(const std::string& text);

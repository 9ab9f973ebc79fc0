#include "tests/tools/CliRunner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tests/support/TempFiles.h"

namespace {

std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int ExitStatus(int raw) { return (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1; }

}  // namespace

CliRun RunCli(const std::vector<std::string>& args) {
    TempFolder scratch;
    std::string command = Quote(DORVANELLE_CLI);
    for (const std::string& arg : args)
        command += " " + Quote(arg);
    command += " >" + Quote(scratch.File("out")) + " 2>" + Quote(scratch.File("err"));
    CliRun run;
    run.status = ExitStatus(std::system(command.c_str()));
    run.out = Slurp(scratch.File("out"));
    run.err = Slurp(scratch.File("err"));
    return run;
}

bool IsWellFormedJson(const std::string& text) {
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) return true;
    TempFolder scratch;
    std::string path = scratch.File("json");
    std::ofstream(path, std::ios::binary) << text;
    std::string command =
        "python3 -c 'import json,sys; json.load(open(sys.argv[1], encoding=\"utf-8\"))' " + Quote(path);
    return ExitStatus(std::system(command.c_str())) == 0;
}

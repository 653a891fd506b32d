#pragma once

#include "support/TestData.h"

#include <cstdio>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace testsupport {

// What a command-line tool printed and how it ended.
struct ToolRun {
    int status = -1;  // exit status; -1 when it could not be started or was killed
    std::string out;
    std::string err;
};

// The argument in single quotes for the shell.
inline std::string ShellQuoted(const std::string& argument)
{
    std::string quoted = "'";
    for (char c : argument)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs the program with the arguments and collects its standard output and error.
inline ToolRun RunTool(const std::string& program, const std::vector<std::string>& arguments)
{
    ToolRun run;
    const ScratchDir scratch;
    std::string command = ShellQuoted(program);
    for (const std::string& argument : arguments)
        command += " " + ShellQuoted(argument);
    command += " 2>" + ShellQuoted(scratch.File("stderr").string());
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadWholeFile(scratch.File("stderr"));
    return run;
}

}  // namespace testsupport

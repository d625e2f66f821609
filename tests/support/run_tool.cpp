#include "support/run_tool.h"

#include <sys/wait.h>

#include <cstdio>

namespace testsupport {

ToolRun runTool(const char *tool, const std::string &dir, const std::string &arguments, const std::string &environment)
{
    const std::string command = "cd '" + dir + "' && " + environment + " '" + tool + "' " + arguments + " 2>/dev/null";
    ToolRun run{"", -1};
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[256];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace testsupport

#include "support/run_tool.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testsupport {

namespace {

#ifdef _WIN32

std::wstring wide(const std::string &text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring result(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), result.data(), length);
    return result;
}

// Quotes one argument so that the C runtime's command-line parsing gives it back unchanged.
std::string quoted(const std::string &argument)
{
    std::string out = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes double only before a quote, the argument's own or the closing one.
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, '\\');
    return out + "\"";
}

// The C runtime writes text with "\r\n" line ends; reads them as a text-mode pipe would.
std::string withUnixLineEnds(const std::string &raw)
{
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i)
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n'))
            text += raw[i];
    return text;
}

// A handle that closes itself.
struct Handle {
    HANDLE value = nullptr;
    ~Handle()
    {
        if (value != nullptr && value != INVALID_HANDLE_VALUE)
            CloseHandle(value);
    }
};

#else

// Quotes one argument for the POSIX shell.
std::string quoted(const std::string &argument)
{
    std::string out = "'";
    for (const char c : argument)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

#endif

} // namespace

#ifdef _WIN32

namespace {

// One start of the tool; startError is the system's error when it could not be started, else 0.
ToolRun runOnce(const char *tool, const std::string &dir, const std::vector<std::string> &arguments,
                DWORD &startError)
{
    ToolRun run{"", -1, ""};
    startError = 0;
    // argv[0] is the tool as given; the program file is found from this process's folder,
    // since under Wine a build path such as /work/x lies on a drive of its own.
    std::string commandLine = quoted(tool);
    for (const std::string &argument : arguments)
        commandLine += " " + quoted(argument);
    const std::wstring program = std::filesystem::absolute(std::filesystem::u8path(tool)).wstring();
    std::wstring command = wide(commandLine);
    const std::wstring folder = wide(dir);

    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    Handle readEnd, writeEnd, nul;
    if (!CreatePipe(&readEnd.value, &writeEnd.value, &inherited, 0) ||
        !SetHandleInformation(readEnd.value, HANDLE_FLAG_INHERIT, 0)) {
        startError = GetLastError();
        return run;
    }
    // Standard input comes from nowhere, as with no terminal.
    nul.value = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                            OPEN_EXISTING, 0, nullptr);
    // Standard error goes to a file that is read once the tool has ended, so neither stream can block the other.
    Handle errors;
    wchar_t folderOfErrors[MAX_PATH + 1], errorsPath[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folderOfErrors) == 0 ||
        GetTempFileNameW(folderOfErrors, L"err", 0, errorsPath) == 0) {
        startError = GetLastError();
        return run;
    }
    errors.value = CreateFileW(errorsPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                               nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.value;
    startup.hStdOutput = writeEnd.value;
    startup.hStdError = errors.value;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        startError = GetLastError();
        return run;
    }
    Handle processHandle{process.hProcess}, threadHandle{process.hThread};
    // Only the child holds the write end now, so the reads below end when it does.
    CloseHandle(writeEnd.value);
    writeEnd.value = nullptr;

    char buffer[256];
    DWORD got = 0;
    while (ReadFile(readEnd.value, buffer, sizeof buffer, &got, nullptr) && got > 0)
        run.output.append(buffer, got);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code))
        run.status = int(code);
    SetFilePointer(errors.value, 0, nullptr, FILE_BEGIN);
    while (ReadFile(errors.value, buffer, sizeof buffer, &got, nullptr) && got > 0)
        run.errors.append(buffer, got);
    run.output = withUnixLineEnds(run.output);
    run.errors = withUnixLineEnds(run.errors);
    return run;
}

} // namespace

ToolRun runTool(const char *tool, const std::string &dir, const std::vector<std::string> &arguments)
{
    // Under Wine on a loaded machine a process now and then fails to start for a moment;
    // the tool under test never ran then, so its start is tried again. A lasting failure
    // still fails the test, with the system's error in the output.
    constexpr int attempts = 3;
    DWORD startError = 0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) {
            std::fprintf(stderr, "could not start %s (error %lu), trying again\n", tool, startError);
            Sleep(200);
        }
        ToolRun run = runOnce(tool, dir, arguments, startError);
        if (startError == 0)
            return run;
    }
    return ToolRun{"could not start " + std::string(tool) + ": error " + std::to_string(startError) + "\n", -1, ""};
}

#else

ToolRun runTool(const char *tool, const std::string &dir, const std::vector<std::string> &arguments,
                const std::string &environment)
{
    ToolRun run{"", -1, ""};
    // Standard error goes to a file that is read once the tool has ended, so neither stream can block the other.
    std::string pattern = (std::filesystem::temp_directory_path() / "quarnel-errors-XXXXXX").string();
    const int errorsFile = mkstemp(pattern.data());
    if (errorsFile < 0)
        return run;
    close(errorsFile);
    const std::string errorsPath = pattern;
    std::string command = "cd " + quoted(dir) + " && " + environment + " " + quoted(tool);
    for (const std::string &argument : arguments)
        command += " " + quoted(argument);
    command += " 2>" + quoted(errorsPath);
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe != nullptr) {
        char buffer[256];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            run.output.append(buffer, n);
        const int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (FILE *errors = fopen(errorsPath.c_str(), "rb")) {
            while ((n = fread(buffer, 1, sizeof buffer, errors)) > 0)
                run.errors.append(buffer, n);
            fclose(errors);
        }
    }
    std::remove(errorsPath.c_str());
    return run;
}

ToolRun runTool(const char *tool, const std::string &dir, const std::vector<std::string> &arguments)
{
    return runTool(tool, dir, arguments, "");
}

#endif

std::vector<std::string> words(const std::string &text)
{
    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find(' ', start), text.size());
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

} // namespace testsupport

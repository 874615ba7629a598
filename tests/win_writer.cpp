// A Windows program that writes, renames and deletes files on a test's
// command, so that the tests under Wine can show how ferrik.exe behaves
// next to another Windows process.  It reads one command a line from
// standard input, fields separated by tabs, and answers each with a line:
// "ok", or "error N" with the Windows error code.
//
//   open PATH           opens PATH for appending (created if missing) and
//                       keeps it open, sharing read access only, as a
//                       program that holds its log open does
//   lock PATH           opens PATH (created if missing) for reading and
//                       writing and keeps it open, sharing nothing
//   write TEXT          appends TEXT through that handle; \r, \n, \0 and
//                       \\ in TEXT stand for CR, LF, NUL and a backslash
//   close               closes the handle of open or lock
//   rename FROM TO      MoveFileExW(FROM, TO)
//   delete PATH         DeleteFileW(PATH)
//   head1 PROGRAM ARG.. runs PROGRAM with its standard output on a pipe made
//                       by CreatePipe, reads one byte, closes the reading
//                       end and waits up to 20 s for PROGRAM to end;
//                       answers "exit N" with its exit code, or "running"
//   exit                ends the program
//
// Names are converted from the ANSI code page, as ferrik converts them.
#include <windows.h>

#include <string>

namespace {

HANDLE held = INVALID_HANDLE_VALUE;

void answer(const std::string& text)
{
    std::string line = text + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()),
              &written, nullptr);
}

bool reply(bool ok)
{
    if (ok)
        answer("ok");
    else
        answer("error " + std::to_string(GetLastError()));
    return ok;
}

// One line from standard input without its line end; false at the end.
bool read_line(std::string& line)
{
    line.clear();
    char c;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got == 1) {
        if (c == '\n')
            return true;
        if (c != '\r')
            line += c;
    }
    return !line.empty();
}

std::wstring wide(const std::string& name)
{
    wchar_t buffer[MAX_PATH + 1];
    int n = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, buffer, MAX_PATH + 1);
    return n > 0 ? std::wstring(buffer) : std::wstring();
}

std::string unescape(const std::string& text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes += text[i];
            continue;
        }
        char c = text[++i];
        bytes += c == 'r' ? '\r' : c == 'n' ? '\n' : c == '0' ? '\0' : c;
    }
    return bytes;
}

// Splits "verb\tfirst\tsecond".
void split(const std::string& line, std::string& verb, std::string& first, std::string& second)
{
    std::size_t a = line.find('\t');
    verb = line.substr(0, a);
    first = second = "";
    if (a == std::string::npos)
        return;
    std::size_t b = line.find('\t', a + 1);
    first = line.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
    if (b != std::string::npos)
        second = line.substr(b + 1);
}

// `ferrik -f QUIET | head -c 1` with a pipe made by Windows, whose state
// Windows can tell: the first byte is read and the reader goes away.
std::string head1(const std::string& command_line)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read_end, write_end;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0))
        return "error " + std::to_string(GetLastError());
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = write_end;
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    start.hStdInput = nullptr;
    PROCESS_INFORMATION child;
    std::wstring line = wide(command_line);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                        &child))
        return "error " + std::to_string(GetLastError());
    CloseHandle(write_end);
    char byte;
    DWORD got = 0;
    ReadFile(read_end, &byte, 1, &got, nullptr);
    CloseHandle(read_end);
    DWORD code = 0;
    bool ended = WaitForSingleObject(child.hProcess, 20000) == WAIT_OBJECT_0 &&
                 GetExitCodeProcess(child.hProcess, &code);
    if (!ended)
        TerminateProcess(child.hProcess, 1);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    return ended ? "exit " + std::to_string(static_cast<int>(code)) : "running";
}

}  // namespace

int main()
{
    std::string line, verb, first, second;
    while (read_line(line)) {
        split(line, verb, first, second);
        if (verb == "open") {
            held = CreateFileW(wide(first).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            reply(held != INVALID_HANDLE_VALUE);
        } else if (verb == "lock") {
            held = CreateFileW(wide(first).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            reply(held != INVALID_HANDLE_VALUE);
        } else if (verb == "write") {
            std::string bytes = unescape(first);
            DWORD written = 0;
            reply(WriteFile(held, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr) != 0 && written == bytes.size());
        } else if (verb == "close") {
            reply(CloseHandle(held) != 0);
            held = INVALID_HANDLE_VALUE;
        } else if (verb == "rename") {
            reply(MoveFileExW(wide(first).c_str(), wide(second).c_str(), 0) != 0);
        } else if (verb == "delete") {
            reply(DeleteFileW(wide(first).c_str()) != 0);
        } else if (verb == "head1") {
            answer(head1(line.substr(line.find('\t') + 1)));
        } else if (verb == "exit") {
            answer("ok");
            return 0;
        } else {
            answer("error unknown command: " + verb);
        }
    }
    return 0;
}

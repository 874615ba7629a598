// Windows implementation of the raw platform operations.  Everything goes
// through the kernel's handles; the C runtime's streams are not used, so
// nothing between the file and the output translates a byte.
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace ferrik {

const char line_end[] = "\r\n";

namespace {

// A console takes a limited amount in one write on older systems; a file or
// pipe takes anything that fits a DWORD.
constexpr DWORD console_piece = 32 * 1024;
constexpr DWORD handle_piece = 1u << 30;

// Room for the longest name the command line accepts, converted: a narrow
// name never converts to more UTF-16 units than it has bytes.
constexpr int wide_name_size = MAX_PATH + 1;

struct StandardStreams {
    bool started;
    HANDLE in;        // null when the process was given no usable handle
    HANDLE out;
    HANDLE err;
    bool console;     // standard output is a console
};

StandardStreams streams;
DWORD kept_error;     // GetLastError() of the last failed write
wchar_t wide_name[wide_name_size];
char error_line[512];

// Returns the standard handle `which`, or null when there is none or it is
// not a handle of this process.  A handle value that was never valid here
// could otherwise be handed out again by the next open, and standard output
// or input would then be aimed at the shown file.
HANDLE usable_handle(DWORD which)
{
    HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE)
        return nullptr;
    SetLastError(NO_ERROR);
    if (GetFileType(h) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR)
        return nullptr;
    return h;
}

const StandardStreams& standard()
{
    if (!streams.started)
        platform_start();
    return streams;
}

HANDLE handle_of(FileHandle file)
{
    return reinterpret_cast<HANDLE>(file);
}

}  // namespace

/*
** Looks up the three standard handles once, before any file is opened.  A
** missing or invalid one is remembered as absent: every write to it then
** fails with ERROR_INVALID_HANDLE and every read sees the end of input.
** Returns 0.
*/
int platform_start()
{
    streams.started = true;
    streams.in = usable_handle(STD_INPUT_HANDLE);
    streams.out = usable_handle(STD_OUTPUT_HANDLE);
    streams.err = usable_handle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    streams.console = streams.out != nullptr && GetConsoleMode(streams.out, &mode) != 0;
    return 0;
}

/*
** Converts `name` from the ANSI code page (not byte by byte, so that a
** double-byte or non-Latin name reaches the file system as the user typed
** it) and opens it for reading, sharing read, write and delete: a writer
** may go on appending, and may rename or delete the file while it is shown.
** A name that does not convert, and anything that is not a file on a disk
** (directory, console, device, pipe), is refused.  Returns the handle, or
** no_file.
*/
FileHandle open_shared(const char* name)
{
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide_name,
                            wide_name_size) == 0)
        return no_file;
    HANDLE h = CreateFileW(wide_name, GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return no_file;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h) != FILE_TYPE_DISK || GetFileInformationByHandle(h, &info) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(h);
        return no_file;
    }
    return reinterpret_cast<FileHandle>(h);
}

/*
** Reads up to buffer.size() bytes at `position`, which travels in the
** OVERLAPPED record.  The handle is synchronous, so the read is complete on
** return; it moves only this handle's own file pointer, which nothing here
** uses, and never a writer's.  Returns 0 with *delivered set (0 at or past
** the end, which ReadFile reports as ERROR_HANDLE_EOF), or -1.
*/
int read_at(FileHandle file, std::uint64_t position,
            std::span<unsigned char> buffer, std::size_t* delivered)
{
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(position);
    where.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD request = buffer.size() > handle_piece ? handle_piece
                                                 : static_cast<DWORD>(buffer.size());
    DWORD got = 0;
    if (ReadFile(handle_of(file), buffer.data(), request, &got, &where) == 0) {
        if (GetLastError() != ERROR_HANDLE_EOF)
            return -1;
        got = 0;
    }
    *delivered = got;
    return 0;
}

/*
** Windows has no general file-to-handle transfer (TransmitFile serves only
** sockets), so the caller always copies.  Returns 1.
*/
int send_to_stdout(FileHandle, std::uint64_t, std::uint64_t, std::uint64_t*)
{
    return 1;
}

/* Stores the file's full 64-bit size in *size.  Returns 0, or -1. */
int file_size(FileHandle file, std::uint64_t* size)
{
    LARGE_INTEGER value;
    if (GetFileSizeEx(handle_of(file), &value) == 0)
        return -1;
    *size = static_cast<std::uint64_t>(value.QuadPart);
    return 0;
}

/* Sleeps for `milliseconds`. */
void pause_ms(unsigned milliseconds)
{
    Sleep(milliseconds);
}

/* Sounds 500 Hz for 500 ms; returns when it has sounded.  Writes nothing to
   standard output.  A system without a speaker simply stays silent. */
void sound_beep()
{
    Beep(500, 500);
}

/* True when `byte` starts a double-byte character in the ANSI code page. */
bool is_lead_byte(unsigned char byte)
{
    return IsDBCSLeadByte(byte) != 0;
}

/* True when standard output is a console. */
bool stdout_is_terminal()
{
    return standard().console;
}

/*
** Writes all `count` bytes to the standard output handle as they are.
** Returns 0, or -1 with GetLastError() kept for report_error().
*/
int raw_write(const void* data, std::size_t count)
{
    const StandardStreams& s = standard();
    if (s.out == nullptr) {
        kept_error = ERROR_INVALID_HANDLE;
        return -1;
    }
    const DWORD most = s.console ? console_piece : handle_piece;
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        DWORD piece = count > most ? most : static_cast<DWORD>(count);
        DWORD written = 0;
        if (WriteFile(s.out, p, piece, &written, nullptr) == 0) {
            kept_error = GetLastError();
            return -1;
        }
        if (written == 0) {   // nothing taken and no error: do not spin
            kept_error = ERROR_WRITE_FAULT;
            return -1;
        }
        p += written;
        count -= written;
    }
    return 0;
}

/*
** Reads one byte from the standard input handle.  A console hands over the
** typed line once Enter is pressed; Ctrl-Z at the start of a line, the end
** of a pipe or file, and a missing handle all give -1.
*/
int read_stdin_char()
{
    const StandardStreams& s = standard();
    unsigned char c = 0;
    DWORD got = 0;
    if (s.in == nullptr || ReadFile(s.in, &c, 1, &got, nullptr) == 0 || got != 1)
        return -1;
    return c;
}

/*
** Writes "ferrik: <what>: <system's text for the kept error>" and CR LF to
** the standard error handle, the text without its closing period and line
** end so that the line reads like the POSIX one.
*/
void report_error(const char* what)
{
    const StandardStreams& s = standard();
    if (s.err == nullptr)
        return;
    char text[256];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, kept_error, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == ' ' || text[length - 1] == '.'))
        --length;
    text[length] = '\0';
    int n = length > 0
        ? std::snprintf(error_line, sizeof error_line, "ferrik: %s: %s%s", what, text, line_end)
        : std::snprintf(error_line, sizeof error_line, "ferrik: %s: error %lu%s", what,
                        static_cast<unsigned long>(kept_error), line_end);
    if (n <= 0)
        return;
    DWORD size = static_cast<std::size_t>(n) < sizeof error_line
        ? static_cast<DWORD>(n) : static_cast<DWORD>(sizeof error_line - 1);
    DWORD written = 0;
    WriteFile(s.err, error_line, size, &written, nullptr);
}

}  // namespace ferrik

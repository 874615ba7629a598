// Windows implementation of the raw platform operations.  Everything goes
// through the kernel's handles; the C runtime's streams are not used, so
// nothing between the file and the output translates a byte.
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace ferrik {

const char line_end[] = "\r\n";
const int max_name_length = 255;
const bool dot_names_are_files = false;

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
DWORD kept_error;     // GetLastError() of the last failed open or write
wchar_t wide_name[wide_name_size];
char error_text[256];

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

// The three standard handles are looked up once, before any file is
// opened.  A missing or invalid one is remembered as absent: every write to
// it then fails with ERROR_INVALID_HANDLE and every read sees the end of
// input.
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

OutputKind stdout_kind()
{
    const StandardStreams& s = standard();
    if (s.console)
        return OutputKind::terminal;
    if (s.out == nullptr)
        return OutputKind::pipe;
    DWORD type = GetFileType(s.out);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_CHAR ? OutputKind::file
                                                            : OutputKind::pipe;
}

// Names the failure of CreateFileW, or of what it opened.
static OpenFailure open_failure(DWORD error)
{
    kept_error = error;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return OpenFailure::missing;
    case ERROR_ACCESS_DENIED:
        return OpenFailure::denied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return OpenFailure::in_use;
    case 433:   // ERROR_NO_SUCH_DEVICE, what Wine says of a socket
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_DEVICE:
    case ERROR_PIPE_BUSY:
        return OpenFailure::not_regular;
    default:
        return OpenFailure::other;
    }
}

// The name is converted from the ANSI code page (not byte by byte, so that
// a double-byte or non-Latin name reaches the file system as the user typed
// it).  Sharing read, write and delete lets a writer go on appending, and
// rename or delete the file while it is shown.  A directory is looked for
// first, since CreateFileW refuses one as access denied.
FileHandle open_shared(const char* name, OpenFailure* why)
{
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide_name,
                            wide_name_size) == 0) {
        *why = open_failure(GetLastError());
        return no_file;
    }
    DWORD attributes = GetFileAttributesW(wide_name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *why = OpenFailure::directory;
        return no_file;
    }
    HANDLE h = CreateFileW(wide_name, GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *why = open_failure(GetLastError());
        return no_file;
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    if (GetFileType(h) != FILE_TYPE_DISK || GetFileInformationByHandle(h, &info) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *why = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? OpenFailure::directory
                                                                       : OpenFailure::not_regular;
        CloseHandle(h);
        return no_file;
    }
    return reinterpret_cast<FileHandle>(h);
}

// The position travels in the OVERLAPPED record.  The handle is synchronous,
// so the read is complete on return; it moves only this handle's own file
// pointer, which nothing here uses, and never a writer's.  ReadFile reports
// the end of the file as ERROR_HANDLE_EOF.
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

// Windows has no general file-to-handle transfer (TransmitFile serves only
// sockets), so the caller always copies.
Send send_to_stdout(FileHandle, std::uint64_t, std::uint64_t, std::uint64_t*)
{
    return Send::copy;
}

int file_size(FileHandle file, std::uint64_t* size)
{
    LARGE_INTEGER value;
    if (GetFileSizeEx(handle_of(file), &value) == 0)
        return -1;
    *size = static_cast<std::uint64_t>(value.QuadPart);
    return 0;
}

void pause_ms(unsigned milliseconds)
{
    Sleep(milliseconds);
}

// Returns when it has sounded.  A system without a speaker stays silent.
void sound_beep()
{
    Beep(500, 500);
}

bool is_lead_byte(unsigned char byte)
{
    return IsDBCSLeadByte(byte) != 0;
}

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

// A console hands over the typed line once Enter is pressed; Ctrl-Z at the
// start of a line, the end of a pipe or file, and a missing handle all
// give -1.
int read_stdin_char()
{
    const StandardStreams& s = standard();
    unsigned char c = 0;
    DWORD got = 0;
    if (s.in == nullptr || ReadFile(s.in, &c, 1, &got, nullptr) == 0 || got != 1)
        return -1;
    return c;
}

int raw_write_error(const void* data, std::size_t count)
{
    const StandardStreams& s = standard();
    if (s.err == nullptr)
        return -1;
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        DWORD piece = count > console_piece ? console_piece : static_cast<DWORD>(count);
        DWORD written = 0;
        if (WriteFile(s.err, p, piece, &written, nullptr) == 0 || written == 0)
            return -1;
        p += written;
        count -= written;
    }
    return 0;
}

// The system's text without its closing period and line end, so that a
// line reads like the POSIX one.
const char* last_error_text()
{
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, kept_error, 0, error_text, sizeof error_text,
                                  nullptr);
    while (length > 0 && (error_text[length - 1] == '\r' || error_text[length - 1] == '\n' ||
                          error_text[length - 1] == ' ' || error_text[length - 1] == '.'))
        --length;
    if (length == 0)
        std::snprintf(error_text, sizeof error_text, "error %lu",
                      static_cast<unsigned long>(kept_error));
    else
        error_text[length] = '\0';
    return error_text;
}

// ---- Following a file by its name -----------------------------------------

namespace {

FileIdentity identity_of(const BY_HANDLE_FILE_INFORMATION& info)
{
    return {info.dwVolumeSerialNumber,
            (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// The layout of FILE_PIPE_LOCAL_INFORMATION, which the user-mode headers
// do not declare, and the one state of it that matters here.
struct PipeLocalInformation {
    ULONG type, configuration, maximum_instances, current_instances;
    ULONG inbound_quota, read_data_available, outbound_quota, write_quota_available;
    ULONG state, end;
};
constexpr ULONG pipe_closing_state = 4;        // FILE_PIPE_CLOSING_STATE
constexpr int pipe_local_information = 24;     // FilePipeLocalInformation

using QueryFile = LONG(WINAPI*)(HANDLE, void*, void*, ULONG, int);

}  // namespace

int file_identity(FileHandle file, FileIdentity* id)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle_of(file), &info) == 0)
        return -1;
    *id = identity_of(info);
    return 0;
}

// Opened with no access rights and every kind of sharing, the name can be
// looked at even while a writer holds it without sharing, and the look
// keeps no one from renaming or deleting it.  Without backup semantics a
// directory does not open, which is what is wanted.
int name_identity(const char* name, FileIdentity* id)
{
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide_name,
                            wide_name_size) == 0)
        return -1;
    HANDLE h = CreateFileW(wide_name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    BY_HANDLE_FILE_INFORMATION info = {};
    bool regular = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) != 0 &&
                   (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(h);
    if (!regular)
        return -1;
    *id = identity_of(info);
    return 0;
}

bool delete_pending(FileHandle file)
{
    FILE_STANDARD_INFO info = {};
    return GetFileInformationByHandleEx(handle_of(file), FileStandardInfo, &info, sizeof info) != 0 &&
           info.DeletePending;
}

void close_file(FileHandle file)
{
    CloseHandle(handle_of(file));
}

// A pipe whose reading end is closed is in the closing state.  Asking the
// state writes nothing, not even the zero-byte write that would also tell
// (and that a pipe in message mode would pass on as an empty message).
// Wine answers for a pipe made by Windows' CreatePipe, but not for a host
// pipe handed over by a POSIX parent: there the query fails and nothing is
// known.
bool stdout_reader_gone()
{
    static QueryFile query = reinterpret_cast<QueryFile>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    const StandardStreams& s = standard();
    if (query == nullptr || s.out == nullptr)
        return false;
    struct {
        void* status;
        ULONG_PTR information;
    } io = {};
    PipeLocalInformation pipe = {};
    if (query(s.out, &io, &pipe, sizeof pipe, pipe_local_information) < 0 ||
        pipe.state != pipe_closing_state)
        return false;
    kept_error = ERROR_NO_DATA;   // what WriteFile would give: "The pipe is being closed"
    return true;
}

}  // namespace ferrik

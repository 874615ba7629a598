// Windows implementation of the raw platform operations.  Everything goes
// through the kernel's handles; the C runtime's streams are not used, so
// nothing between the file and the output translates a byte.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>

#include "platform/platform.h"

namespace ferrik {

const char line_end[] = "\r\n";
const int max_name_length = 255;
const bool dot_names_are_files = false;
const bool quoted_names = true;

namespace {

// A console takes a limited amount in one write on older systems; a file or
// pipe takes anything that fits a DWORD.
constexpr DWORD console_piece = 32 * 1024;
constexpr DWORD handle_piece = 1u << 30;

// Room for the longest name the command line accepts (255 characters, each
// at most two UTF-16 units), converted, and its NUL.
constexpr int wide_name_size = 2 * 255 + 1;

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

// Writes all `count` bytes to `h`.  Returns 0, or -1 with the error kept.
int write_handle(HANDLE h, const char* p, DWORD count)
{
    while (count > 0) {
        DWORD written = 0;
        if (WriteFile(h, p, count, &written, nullptr) == 0) {
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

int write_program_text(HANDLE h, bool console, const char* utf8, std::size_t count);

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

// The name is UTF-8 (take_command_line()) and is converted to the UTF-16 the
// file system takes, so that any name reaches it as the user typed it.  Sharing read, write and delete lets a writer go on appending, and
// rename or delete the file while it is shown.  A directory is looked for
// first, since CreateFileW refuses one as access denied.
FileHandle open_shared(const char* name, OpenFailure* why)
{
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide_name,
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
        if (write_handle(s.out, p, piece) != 0)
            return -1;
        p += piece;
        count -= piece;
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
    DWORD mode = 0;
    return write_program_text(s.err, GetConsoleMode(s.err, &mode) != 0,
                              static_cast<const char*>(data), count);
}

// The system's text without its closing period and line end, so that a
// line reads like the POSIX one.
// The program's text is UTF-8 inside, so the system's words are fetched in
// UTF-16 and converted.
const char* last_error_text()
{
    wchar_t wide[256];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, kept_error, 0, wide, 256, nullptr);
    if (length > 0)
        length = static_cast<DWORD>(WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length),
                                                        error_text, sizeof error_text - 1,
                                                        nullptr, nullptr));
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
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide_name,
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

// ---- Text beyond ASCII: the UTF-16 display's output, the command line and
// ---- file names, the program's own text.

const bool program_text_converted = true;

namespace {

// Room for a piece of text on its way to a console or to the ANSI code
// page: UTF-8 never gives more UTF-16 units than it has bytes.
constexpr std::size_t text_piece = 8 * 1024;

struct TextPieces {
    wchar_t wide[text_piece];
    char narrow[3 * text_piece];   // the ANSI code page: at most 3 bytes a unit
};

TextPieces pieces;

// The command line, converted to UTF-8 once at start.  A command line has
// at most 32767 UTF-16 units; each gives at most 3 bytes of UTF-8, and each
// argument takes at least one unit of it.
constexpr std::size_t command_line_units = 32768;

struct CommandLine {
    char text[3 * command_line_units];
    const char* arguments[command_line_units / 2 + 1];
};

CommandLine command_line;

// The bytes at the front of `utf8` (at most `most`) that end on a whole
// character.
std::size_t whole_piece(const char* utf8, std::size_t count, std::size_t most)
{
    if (count <= most)
        return count;
    std::size_t n = most;
    while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80)
        --n;
    return n > 0 ? n : most;
}

int write_console(HANDLE h, const wchar_t* units, DWORD count)
{
    while (count > 0) {
        DWORD written = 0;
        if (WriteConsoleW(h, units, count, &written, nullptr) == 0) {
            kept_error = GetLastError();
            return -1;
        }
        if (written == 0) {
            kept_error = ERROR_WRITE_FAULT;
            return -1;
        }
        units += written;
        count -= written;
    }
    return 0;
}

// The first `units` of pieces.wide in the ANSI code page, '?' for what it
// cannot hold.  Returns the bytes written to `out`.
std::size_t narrow(int units, char* out, int room)
{
    // A code page of UTF-8 holds everything and takes no default.
    const char* unknown = GetACP() == CP_UTF8 ? nullptr : "?";
    return static_cast<std::size_t>(
        WideCharToMultiByte(CP_ACP, 0, pieces.wide, units, out, room, unknown, nullptr));
}

// UTF-8 text to a console as UTF-16, or to anything else in the ANSI code
// page with '?' for what it cannot hold; piece by piece, whole characters.
int write_program_text(HANDLE h, bool console, const char* utf8, std::size_t count)
{
    while (count > 0) {
        std::size_t n = whole_piece(utf8, count, text_piece);
        int units = MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(n), pieces.wide,
                                        static_cast<int>(text_piece));
        int result;
        if (console) {
            result = write_console(h, pieces.wide, static_cast<DWORD>(units));
        } else {
            std::size_t bytes = narrow(units, pieces.narrow, sizeof pieces.narrow);
            result = write_handle(h, pieces.narrow, static_cast<DWORD>(bytes));
        }
        if (result != 0)
            return -1;
        utf8 += n;
        count -= n;
    }
    return 0;
}

}  // namespace

// A console shows every character it can draw; a file or pipe gets what
// programs that read ferrik's output have always got.
TextForm text_form()
{
    return standard().console ? TextForm::converted : TextForm::latin1;
}

int write_text(const unsigned char* utf8, std::size_t count)
{
    const StandardStreams& s = standard();
    if (s.out == nullptr) {
        kept_error = ERROR_INVALID_HANDLE;
        return -1;
    }
    return write_program_text(s.out, true, reinterpret_cast<const char*>(utf8), count);
}

// The runtime's arguments are in the ANSI code page, which loses every
// character outside it; the system's UTF-16 command line keeps them.
int take_command_line(int* argc, const char* const** argv)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return -1;
    std::size_t used = 0;
    int taken = 0;
    for (; taken < count && taken < static_cast<int>(command_line_units / 2); ++taken) {
        int n = WideCharToMultiByte(CP_UTF8, 0, wide[taken], -1, command_line.text + used,
                                    static_cast<int>(sizeof command_line.text - used),
                                    nullptr, nullptr);
        if (n == 0)
            break;
        command_line.arguments[taken] = command_line.text + used;
        used += static_cast<std::size_t>(n);
    }
    LocalFree(wide);
    if (taken != count)
        return -1;
    command_line.arguments[taken] = nullptr;
    *argc = taken;
    *argv = command_line.arguments;
    return 0;
}

// Characters: every byte that does not continue a UTF-8 character starts one.
std::size_t name_length(std::string_view name)
{
    std::size_t characters = 0;
    for (char c : name)
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return characters;
}

std::size_t narrow_program_text(const char* utf8, std::size_t count, char* out)
{
    std::size_t produced = 0;
    while (count > 0) {
        std::size_t n = whole_piece(utf8, count, text_piece);
        int units = MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(n), pieces.wide,
                                        static_cast<int>(text_piece));
        produced += narrow(units, out + produced, static_cast<int>(3 * n));
        utf8 += n;
        count -= n;
    }
    return produced;
}

}  // namespace ferrik

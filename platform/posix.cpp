// POSIX implementation of the platform operations (Linux).
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace ferrik {

const char line_end[] = "\n";
const int max_name_length = PATH_MAX - 1;
const bool dot_names_are_files = true;
const bool quoted_names = false;

namespace {

int kept_error;   // errno of the last failed open or write
int tty = -2;     // descriptor of /dev/tty for the beep; -2 until opened

// Reopens a closed standard descriptor on /dev/null, opened so that every
// use of it fails (standard output read-only, standard input write-only).
// Without this the next file opened would take the number and, for
// descriptor 1, the program's output would be aimed at the shown file.
void hold_closed(int fd, int flags)
{
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
        return;
    int held = open("/dev/null", flags | O_CLOEXEC);
    if (held != -1 && held != fd) {
        dup2(held, fd);
        close(held);
    }
}

// Gives a pipe on standard output a buffer of pipe_size bytes, where it has
// less and the system allows; a larger one is left as it is.  Through the
// default 64 KiB pipe the reader and ferrik take turns every few KiB, each
// turn a wake-up and a system call; with 1 MiB they hand over far larger
// pieces (bench/run.sh, figure b).  Anything but a pipe fails the query.
void widen_pipe(int fd)
{
    constexpr int pipe_size = 1024 * 1024;
    int size = fcntl(fd, F_GETPIPE_SZ);
    if (size > 0 && size < pipe_size && fcntl(fd, F_SETPIPE_SZ, pipe_size) == -1) {
        // Refused (a limit of the system or of the user): the pipe stays.
    }
}

void choose_text_form();

}  // namespace

int platform_start()
{
    hold_closed(0, O_WRONLY);
    hold_closed(1, O_RDONLY);
    hold_closed(2, O_RDONLY);
    widen_pipe(1);
    choose_text_form();
    return 0;
}

OutputKind stdout_kind()
{
    if (isatty(1) == 1)
        return OutputKind::terminal;
    struct stat st;
    if (fstat(1, &st) == 0 && (S_ISREG(st.st_mode) || S_ISCHR(st.st_mode)))
        return OutputKind::file;
    return OutputKind::pipe;
}

FileHandle open_shared(const char* name, OpenFailure* why)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer.  It has no
    // effect on the regular files that are kept.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd == -1) {
        kept_error = errno;
        if (errno == ENOENT || errno == ENOTDIR)
            *why = OpenFailure::missing;
        else if (errno == EACCES || errno == EPERM)
            *why = OpenFailure::denied;
        else if (errno == ENXIO || errno == ENODEV)   // a socket, a device without a driver
            *why = OpenFailure::not_regular;
        else
            *why = OpenFailure::other;
        return no_file;
    }
    struct stat st;
    bool known = fstat(fd, &st) == 0;
    if (!known || !S_ISREG(st.st_mode)) {
        kept_error = errno;
        *why = !known                ? OpenFailure::other
               : S_ISDIR(st.st_mode) ? OpenFailure::directory
                                     : OpenFailure::not_regular;
        close(fd);
        return no_file;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

int read_at(FileHandle file, std::uint64_t position,
            std::span<unsigned char> buffer, std::size_t* delivered)
{
    for (;;) {
        ssize_t n = pread(static_cast<int>(file), buffer.data(), buffer.size(),
                          static_cast<off_t>(position));
        if (n >= 0) {
            *delivered = static_cast<std::size_t>(n);
            return 0;
        }
        if (errno != EINTR)
            return -1;
    }
}

Send send_to_stdout(FileHandle file, std::uint64_t position,
                    std::uint64_t count, std::uint64_t* sent)
{
    off_t offset = static_cast<off_t>(position);
    for (;;) {
        ssize_t n = sendfile(1, static_cast<int>(file), &offset,
                             static_cast<std::size_t>(count));
        if (n >= 0) {
            *sent = static_cast<std::uint64_t>(n);
            return Send::sent;
        }
        if (errno != EINTR)
            return Send::copy;
    }
}

int file_size(FileHandle file, std::uint64_t* size)
{
    struct stat st;
    if (fstat(static_cast<int>(file), &st) != 0)
        return -1;
    *size = static_cast<std::uint64_t>(st.st_size);
    return 0;
}

void pause_ms(unsigned milliseconds)
{
    struct timespec left = {static_cast<time_t>(milliseconds / 1000),
                            static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// The terminal bell, on the controlling terminal: standard output may be a
// file or pipe that must carry nothing but the shown bytes.
void sound_beep()
{
    if (tty == -2)
        tty = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0 && write(tty, "\a", 1) < 0) {
        // Nothing to report: a bell that cannot sound is not an error.
    }
}

int raw_write(const void* data, std::size_t count)
{
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        ssize_t n = write(1, p, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            kept_error = errno;
            return -1;
        }
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return 0;
}

int read_stdin_char()
{
    unsigned char c;
    for (;;) {
        ssize_t n = read(0, &c, 1);
        if (n == 1)
            return c;
        if (n == 0 || errno != EINTR)
            return -1;
    }
}

int raw_write_error(const void* data, std::size_t count)
{
    const char* p = static_cast<const char*>(data);
    while (count > 0) {
        ssize_t n = write(2, p, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        p += n;
        count -= static_cast<std::size_t>(n);
    }
    return 0;
}

const char* last_error_text()
{
    return std::strerror(kept_error);
}

// ---- Following a file by its name -----------------------------------------

int file_identity(FileHandle file, FileIdentity* id)
{
    struct stat st;
    if (fstat(static_cast<int>(file), &st) != 0)
        return -1;
    *id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return 0;
}

int name_identity(const char* name, FileIdentity* id)
{
    struct stat st;
    if (stat(name, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    *id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return 0;
}

// A deleted file gives up its name at once, whoever holds it open.
bool delete_pending(FileHandle)
{
    return false;
}

void close_file(FileHandle file)
{
    close(static_cast<int>(file));
}

// Asked with no events, poll() still reports POLLERR on the write end of a
// pipe whose reader has gone, and POLLHUP on a Unix-domain socket whose
// peer has closed it.  A TCP peer's close is only a FIN, which tells
// nothing until the next write; POLLRDHUP is not asked for, since it would
// also end ferrik when a reader merely shuts down its own sending side.
bool stdout_reader_gone()
{
    struct pollfd out = {1, 0, 0};
    if (poll(&out, 1, 0) != 1 || (out.revents & (POLLERR | POLLHUP)) == 0)
        return false;
    kept_error = EPIPE;
    raise(SIGPIPE);
    return true;
}

// ---- Text beyond ASCII: the UTF-16 display's output, the command line and
// ---- file names.

const bool program_text_converted = false;

namespace {

struct TextOutput {
    TextForm form;
    iconv_t converter;                  // UTF-8 to the locale's encoding
    char converted[64 * 1024];
};

TextOutput text_output = {TextForm::latin1, reinterpret_cast<iconv_t>(-1), {}};

bool same_name(const char* a, const char* b)
{
    return strcasecmp(a, b) == 0;
}

// The character type comes from the environment; nothing else of the locale
// is taken, so the program's own messages stay as they are.  The C and POSIX
// locales (ASCII) and a Latin-1 locale keep one byte per unit.  A converter
// that cannot be had leaves the same.
void choose_text_form()
{
    setlocale(LC_CTYPE, "");
    const char* codeset = nl_langinfo(CODESET);
    if (same_name(codeset, "UTF-8") || same_name(codeset, "UTF8")) {
        text_output.form = TextForm::utf8;
        return;
    }
    if (same_name(codeset, "ANSI_X3.4-1968") || same_name(codeset, "ASCII") ||
        same_name(codeset, "US-ASCII") || same_name(codeset, "ISO-8859-1") ||
        same_name(codeset, "ISO8859-1"))
        return;
    text_output.converter = iconv_open(codeset, "UTF-8");
    if (text_output.converter != reinterpret_cast<iconv_t>(-1))
        text_output.form = TextForm::converted;
}

// The length of the UTF-8 character that starts with `lead`.
std::size_t utf8_length(unsigned char lead)
{
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

int write_converted(std::size_t count)
{
    return count == 0 ? 0 : raw_write(text_output.converted, count);
}

}  // namespace

TextForm text_form()
{
    return text_output.form;
}

// A character the encoding cannot hold becomes '?', which every encoding a
// locale names holds as the ASCII byte; the rest of the text goes on.
int write_text(const unsigned char* utf8, std::size_t count)
{
    char* in = const_cast<char*>(reinterpret_cast<const char*>(utf8));
    std::size_t in_left = count;
    char* out = text_output.converted;
    std::size_t out_left = sizeof text_output.converted;
    while (in_left > 0) {
        if (iconv(text_output.converter, &in, &in_left, &out, &out_left) != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG || out_left == 0) {
            if (write_converted(sizeof text_output.converted - out_left) != 0)
                return -1;
            out = text_output.converted;
            out_left = sizeof text_output.converted;
            continue;
        }
        // EILSEQ (or a cut character, which the caller never gives).
        std::size_t skip = utf8_length(static_cast<unsigned char>(*in));
        skip = skip < in_left ? skip : in_left;
        in += skip;
        in_left -= skip;
        *out++ = '?';
        --out_left;
    }
    // Back to the initial shift state, for the encodings that have one.
    if (iconv(text_output.converter, nullptr, nullptr, &out, &out_left) == static_cast<std::size_t>(-1) &&
        errno == E2BIG) {
        if (write_converted(sizeof text_output.converted - out_left) != 0)
            return -1;
        out = text_output.converted;
        out_left = sizeof text_output.converted;
        iconv(text_output.converter, nullptr, nullptr, &out, &out_left);
    }
    return write_converted(sizeof text_output.converted - out_left);
}

int take_command_line(int*, const char* const**)
{
    return 0;
}

std::size_t name_length(std::string_view name)
{
    return name.size();
}

std::size_t narrow_program_text(const char* text, std::size_t count, char* out)
{
    std::memcpy(out, text, count);
    return count;
}

}  // namespace ferrik

// libFuzzer target for the displays.  The input chooses the flags (-u, -b,
// -f), an offset, the answer to the UTF-16 question, the file's content and,
// with -f, what happens to the file at each poll (appends, truncations,
// rewrites).  run_display runs against the fake platform, and its output
// must be exactly what the documented rules give:
//   - the byte display writes the file's bytes from the chosen start, each
//     once, as they are;
//   - the UTF-16 display (the fake's Latin-1 form) writes one byte per unit
//     (the unit's value up to 0xFF, else '?'), leaves the mark out only at
//     file position 0, holds an odd last byte back until its pair arrives
//     and a first half of a surrogate pair at the end until what follows it
//     arrives, and without -f shows a first half still held as '?';
//   - the question goes to standard error unless standard output is a
//     terminal;
//   - in follow mode, each wait ends when the size differs from what was
//     shown, and a size below the read position restarts at position 0.
// A follow run ends when the script is done: two bytes are appended and
// every write from then on fails, which must end the run with -1.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "display/display.h"
#include "tests/fake_platform.h"
#include "tests/support.h"
#include "version.h"

using namespace ferrik;

namespace {

const std::string banner = "ferrik " FERRIK_VERSION "\n";
const std::string question = "This file probably a unicode file. Display as unicode ? (y/n)";

struct Step {
    enum Kind { append, truncate, rewrite, nothing } kind;
    std::string data;   // append, rewrite
    std::size_t size;   // truncate: the new size, at most the current one
};

// What the program should do, worked out from the rules above.  `file` is
// the fake's file itself: the model sees every change the program sees.
struct Model {
    std::string& file;
    bool unicode;
    std::uint64_t position;
    std::uint64_t held;
    std::string output;
    std::string questions = "";   // on standard error

    void show()
    {
        std::uint64_t size = file.size();
        if (!unicode) {
            output.append(file, position, size - position);
            position = size;
            return;
        }
        std::uint64_t even = (size - position) & ~std::uint64_t{1};
        // A first half of a surrogate pair waits for its second half.
        if (even >= 2 && (static_cast<unsigned char>(file[position + even - 1]) & 0xFC) == 0xD8)
            even -= 2;
        output += support::utf16_view(file.substr(position, even), position);
        position += even;
        held = size - position;
    }
};

[[noreturn]] void fail(const char* what, const std::string& args, const std::string& expected,
                       const std::string& actual)
{
    std::fprintf(stderr, "display_fuzz: %s\n  arguments: %s\n%s\n", what, args.c_str(),
                 support::first_difference(expected, actual).c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
    const bool unicode = flags & 1, beep = flags & 2, follow = flags & 4;
    const bool transfer = flags & 8, terminal = flags & 16;
    // A file of several reads makes a run slow: one in 32.
    const bool big = (flags & 32) && in.ConsumeIntegralInRange(0, 15) == 0;
    const int offset_kind = flags >> 6;   // none, '+', '-', either with any value
    std::uint64_t offset = offset_kind == 3
                               ? in.ConsumeIntegralInRange<std::uint64_t>(0, 4294967295u)
                               : in.ConsumeIntegral<std::uint16_t>();
    char sign = offset_kind == 1 ? '+' : '-';
    if (offset_kind == 3 && in.ConsumeBool())
        sign = '+';
    const char answer = in.ConsumeIntegral<char>();
    std::string content = in.ConsumeRandomLengthString(4096);
    if (big && !content.empty()) {
        // Into the third read of read_size.
        std::size_t target = 2 * read_size + content.size();
        content.reserve(2 * target);
        while (content.size() < target)
            content.append(content.data(), content.size());
        content.resize(target);
    }
    std::vector<Step> steps;
    while (follow && in.remaining_bytes() > 0 && steps.size() < 40) {
        Step s{static_cast<Step::Kind>(in.ConsumeIntegralInRange(0, 3)), "", 0};
        if (s.kind == Step::append || s.kind == Step::rewrite)
            s.data = in.ConsumeRandomLengthString(700);
        else if (s.kind == Step::truncate)
            s.size = in.ConsumeIntegral<std::uint16_t>();
        steps.push_back(s);
    }

    std::vector<std::string> args{"ferrik"};
    if (unicode)
        args.push_back("-u");
    if (beep)
        args.push_back("-b");
    if (follow)
        args.push_back("-f");
    if (offset_kind != 0)
        args.push_back(sign + std::to_string(offset));
    args.push_back("f");
    std::string shown_args;
    for (const std::string& a : args)
        shown_args += a + " ";
    shown_args += "(" + std::to_string(content.size()) + " bytes, " +
                  std::to_string(steps.size()) + " steps)";

    fake::Platform& p = fake::reset_file(content);
    p.transfer = transfer;
    p.terminal = terminal;
    p.input = std::string(1, answer);
    p.max_pauses = static_cast<int>(steps.size()) + 2;

    // The expected run, step by step alongside the real one.
    Model m{p.content, unicode, 0, 0, banner};
    bool marked = content.size() >= 2 && content.compare(0, 2, "\xff\xfe") == 0;
    if (marked && !unicode) {
        (terminal ? m.output : m.questions) += question;
        m.unicode = answer == 'y' || answer == 'Y';
    }
    std::uint64_t file_size = content.size();
    if (offset_kind == 0) {
        offset = default_offset;
        sign = '-';
    }
    if (sign == '+' && offset > file_size) {
        offset = default_offset;
        sign = '-';
    }
    m.position = sign == '+' ? offset : offset <= file_size ? file_size - offset : 0;
    if (m.unicode)
        m.position &= ~std::uint64_t{1};
    m.show();
    if (!follow && m.unicode && m.held >= 2)
        m.output += '?';

    int wakes = 0;
    p.on_pause = [&](int n) {
        std::uint64_t baseline = m.position + m.held;
        if (static_cast<std::size_t>(n) <= steps.size()) {
            const Step& s = steps[static_cast<std::size_t>(n) - 1];
            if (s.kind == Step::append)
                m.file += s.data;
            else if (s.kind == Step::rewrite)
                m.file = s.data;
            else if (s.kind == Step::truncate && s.size < m.file.size())
                m.file.resize(s.size);
        } else {
            m.file += "ab";
            p.fail_writes = true;
        }
        if (m.file.size() == baseline)
            return;
        ++wakes;
        if (m.file.size() < m.position)
            m.position = 0;
        if (!p.fail_writes)
            m.show();
    };

    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    int result = run_display(static_cast<int>(argv.size()), argv.data());
    out_flush();

    if (result != (follow ? -1 : 0))
        fail("unexpected result", shown_args, std::to_string(follow ? -1 : 0),
             std::to_string(result));
    if (p.output != m.output)
        fail(m.unicode ? "UTF-16 display differs" : "byte display differs", shown_args,
             m.output, p.output);
    if (follow && p.errors != m.questions + "ferrik: standard output: error\n")
        fail("the failed output was not reported once", shown_args, "one report", p.errors);
    if (!follow && (p.errors != m.questions || p.pauses != 0))
        fail("a run without -f waited or reported an error", shown_args, m.questions, p.errors);
    if (p.beeps != (beep ? wakes : 0))
        fail("beeps differ from the ends of waits", shown_args,
             std::to_string(beep ? wakes : 0), std::to_string(p.beeps));
    return 0;
}

// Benchmark helper, not part of ferrik (bench/run.sh builds it): reads
// standard input to its end, then prints how many bytes came and a 64-bit
// hash of them.  The hash is FNV-1a over 8-byte little-endian words (a final
// partial word zero-padded), so it does not depend on how the bytes were
// split between reads.
//
//   sink [EXPECTED_BYTES]
//
// With EXPECTED_BYTES, the moment the count first reaches it is printed at
// once, as "arrival_ns=T" (CLOCK_REALTIME in nanoseconds), before reading
// goes on to the end.  The last line is "bytes=N hash=HEX".
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <unistd.h>

namespace {

constexpr std::size_t buffer_size = 1 << 20;
unsigned char buffer[buffer_size + 8];

std::uint64_t now_ns()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(ts.tv_nsec);
}

}  // namespace

int main(int argc, char** argv)
{
    std::uint64_t expected = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 0;
    std::uint64_t total = 0;
    bool arrived = false;
    std::uint64_t hash = 0xcbf29ce484222325u;
    std::size_t carry = 0;   // bytes at the start of buffer not yet hashed
    for (;;) {
        ssize_t n = read(0, buffer + carry, buffer_size);
        if (n < 0)
            return 1;
        if (n == 0)
            break;
        total += static_cast<std::uint64_t>(n);
        if (!arrived && expected != 0 && total >= expected) {
            arrived = true;
            std::printf("arrival_ns=%" PRIu64 "\n", now_ns());
            std::fflush(stdout);
        }
        std::size_t have = carry + static_cast<std::size_t>(n);
        std::size_t words = have / 8;
        for (std::size_t i = 0; i < words; ++i) {
            std::uint64_t w;
            std::memcpy(&w, buffer + 8 * i, 8);
            hash = (hash ^ w) * 0x100000001b3u;
        }
        carry = have - 8 * words;
        std::memmove(buffer, buffer + 8 * words, carry);
    }
    if (carry != 0) {
        std::uint64_t w = 0;
        std::memcpy(&w, buffer, carry);
        hash = (hash ^ w) * 0x100000001b3u;
    }
    std::printf("bytes=%" PRIu64 " hash=%016" PRIx64 "\n", total, hash);
    return 0;
}

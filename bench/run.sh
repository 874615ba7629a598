#!/usr/bin/env bash
# The ferrik benchmark.  It is not a test: no test or CI step runs
# it, and it passes or fails nothing; it prints a Markdown table of figures
# against the targets and writes it, with the machine it ran on, to
# bench/results.md.
#
#   bench/run.sh
#
# It builds the release build of ferrik (preset "release"), generates its
# data in a temporary directory under $BENCH_DIR (default /tmp; it needs
# about 2.2 GiB of space and as much free memory for the page cache) and
# removes it afterwards.  It takes two to four minutes.  Tools: cmake,
# ninja, g++, hyperfine, GNU time (/usr/bin/time), jq and python3; missing ones are
# installed with apt-get, as root or through sudo (setup/packages, groups
# build and bench).
#
# The machine may be shared and busy: each pair of commands is timed in
# rounds of a few runs, the pair's order swapped every round, so that a
# change of load weighs on both alike; the median is that of all the runs.
#
# Runs (medians; BIG is 1 GiB of log lines, SMALL its first KiB):
#   a) ferrik +0 BIG > /dev/null           against  cat BIG > /dev/null
#   b) ferrik +0 BIG | wc -c               against  cat BIG | wc -c
#   c) ferrik BIG (the last 400 bytes)     against  ferrik SMALL
#   d) ferrik -0 -f FILE into a pipe while a writer appends 1 GiB to FILE in
#      1 MiB writes as fast as it can: total time, lag between the writer's
#      end and the arrival of the last byte, and whether every byte arrived
#      (count and hash); and the CPU time of a follower of an idle file
#      over 10 s
#   e) the peak RSS of every command above (GNU time %M)
#   f) log rotation under a follower (bench/rotation.py): over 12 rotations
#      by rename or delete and create, the time from the first write to the
#      new file to its first byte on ferrik's output, median and largest
#   g) ferrik -u +0 U16 | wc -c in a UTF-8 locale (C.UTF-8), against
#      iconv -f UTF-16LE -t UTF-8 U16 | wc -c; U16 is 256 MiB of UTF-16LE
#      log lines, mostly ASCII with some accented and CJK characters.  The
#      same in the C locale (one byte per unit), and the peak RSS of both
set -euo pipefail
export LC_ALL=C

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

say() { printf '%s\n' "$*" >&2; }
die() { say "bench: $*"; exit 1; }

# ---------------------------------------------------------------- tools ---
setup/install-packages.sh build bench >&2 || die "cannot install the tools it needs"

# ---------------------------------------------------------------- build ---
say "bench: building (preset release)"
cmake --preset release > /dev/null
cmake --build --preset release > /dev/null
ferrik=$root/build/release/ferrik
sink=$root/build/release/sink
g++ -O2 -std=c++20 -Wall -Wextra -Werror -o "$sink" bench/sink.cpp

# ----------------------------------------------------------------- data ---
base=${BENCH_DIR:-/tmp}
[ -d "$base" ] || die "BENCH_DIR $base is not a directory"
dir=$(mktemp -d "$base/ferrik-bench.XXXXXX")
case "$dir$root" in *[[:space:]]*) rm -rf "$dir"; die "paths with spaces are not supported" ;; esac
started=()   # processes this script started that may still run
cleanup() {
    local pid
    for pid in "${started[@]}"; do
        kill "$pid" 2> /dev/null || true
    done
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

gib=$((1024 * 1024 * 1024))
avail_kib=$(df -Pk "$dir" | awk 'NR == 2 { print $4 }')
[ "$avail_kib" -gt $((2600 * 1024)) ] || die "$dir needs about 2.6 GiB free"

big=$dir/BIG
small=$dir/SMALL
say "bench: generating 1 GiB of log lines in $dir"
# Numbered lines, so that no two 1 MiB pieces are alike.  seq ends on
# SIGPIPE when head has had enough.
{ seq -f '%010.0f 2025-06-01T12:00:00Z INFO worker: request served in 12 ms, status 200, ok' \
      1 15000000 || true; } | head -c "$gib" > "$big"
[ "$(stat -c %s "$big")" -eq "$gib" ] || die "could not generate $big"
head -c 1024 "$big" > "$small"
cat "$big" > /dev/null   # now in the page cache

# The banner that precedes every display; -0 on SMALL shows nothing else.
"$ferrik" -0 "$small" > "$dir/banner"
banner_bytes=$(stat -c %s "$dir/banner")
expected_bytes=$((banner_bytes + gib))
expected_hash=$(cat "$dir/banner" "$big" | "$sink" | sed -n 's/.* hash=//p')
got=$("$ferrik" +0 "$big" | "$sink")
[ "$got" = "bytes=$expected_bytes hash=$expected_hash" ] ||
    die "ferrik +0 BIG is not the banner and BIG: $got"

load_before=$(cut -d ' ' -f 1-3 /proc/loadavg)

# ---------------------------------------------------------- helpers ---
# Times two commands with hyperfine in ROUNDS rounds of WARMUP + RUNS runs,
# their order swapped every round; keeps each round's JSON as NAME.N.json.
#   compare NAME ROUNDS WARMUP RUNS SHELL(yes|no) COMMAND1 COMMAND2
compare() {
    local name=$1 rounds=$2 warmup=$3 runs=$4 shell=$5 first=$6 second=$7 r
    local options=(--warmup "$warmup" --runs "$runs")
    [ "$shell" = no ] && options+=(-N)
    for r in $(seq "$rounds"); do
        if [ $((r % 2)) -eq 1 ]; then set -- "$first" "$second"; else set -- "$second" "$first"; fi
        hyperfine "${options[@]}" --export-json "$dir/$name.$r.json" "$@" >> "$dir/$name.log" 2>&1
    done
}
# "median mean sd min max" in seconds of all the runs of COMMAND in NAME.
stats() {
    jq -rs --arg c "$2" '[.[].results[] | select(.command == $c) | .times[]] | sort
        | length as $n | (add / $n) as $m
        | [(if $n % 2 == 1 then .[($n - 1) / 2] else (.[$n / 2 - 1] + .[$n / 2]) / 2 end),
           $m, ((map((. - $m) * (. - $m)) | add) / ([$n - 1, 1] | max) | sqrt),
           .[0], .[-1], $n] | map(tostring) | join(" ")' "$dir/$1".*.json
}
median() { stats "$1" "$2" | cut -d ' ' -f 1; }
# Seconds as milliseconds with three significant figures or more.
ms() { [ "$1" = inf ] && { echo never; return; }; awk -v s="$1" 'BEGIN { v = s * 1000; printf(v < 10 ? "%.2f ms" : (v < 100 ? "%.1f ms" : "%.0f ms"), v) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
le() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }
verdict() { if le "$1" "$2"; then echo yes; else echo "**no**"; fi; }
# A row of the details section: COMMAND of NAME, times in ms.
hyper_details() {
    local shown=${2//$dir\//}
    shown=${shown//$ferrik/ferrik}
    stats "$1" "$2" | awk -v c="${shown//|/\\|}" '{ printf "| `%s` | %.2f | %.2f | %.2f | %.2f | %.2f | %d |\n",
                                                   c, $1 * 1000, $2 * 1000, $3 * 1000, $4 * 1000, $5 * 1000, $6 }'
}

# Peak RSS in KiB of a command (largest of three runs); stdout to /dev/null,
# or, with "pipe" first, into wc -c.
peak_rss() {
    local mode=$1 peak=0 kib i
    shift
    for i in 1 2 3; do
        if [ "$mode" = pipe ]; then
            /usr/bin/time -f %M -o "$dir/rss" "$@" | wc -c > /dev/null
        else
            /usr/bin/time -f %M -o "$dir/rss" "$@" > /dev/null
        fi
        kib=$(sed -n '$p' "$dir/rss")
        [ "$kib" -gt "$peak" ] && peak=$kib
    done
    echo "$peak"
}

now_us() { local t=${EPOCHREALTIME:-}; if [ -n "$t" ]; then echo "${t/./}"; else echo $(($(date +%s%N) / 1000)); fi; }

# CPU time of a process so far, in nanoseconds: schedstat where the kernel
# keeps it, else utime + stime in clock ticks.
cpu_ns() {
    if [ -r "/proc/$1/schedstat" ]; then
        cut -d ' ' -f 1 "/proc/$1/schedstat"
    else
        awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); print ($12 + $13) * 1000000000 / hz }' "/proc/$1/stat"
    fi
}

# The pid of the single child of a process, once it exists.
child_of() {
    local i kids
    for i in $(seq 100); do
        kids=$(cat "/proc/$1/task/$1/children" 2> /dev/null || pgrep -P "$1" || true)
        [ -n "$kids" ] && { echo "${kids%% *}"; return; }
        sleep 0.02
    done
    die "no child of $1"
}

# ------------------------------------------------------ a) b) c) timing ---
say "bench: a) ferrik +0 BIG > /dev/null against cat"
a_cat_cmd="cat $big" a_fer_cmd="$ferrik +0 $big"
compare a 8 2 5 no "$a_cat_cmd" "$a_fer_cmd"
say "bench: b) the same into wc -c"
b_cat_cmd="cat $big | wc -c" b_fer_cmd="$ferrik +0 $big | wc -c"
compare b 8 1 5 yes "$b_cat_cmd" "$b_fer_cmd"
say "bench: c) ferrik BIG against ferrik SMALL"
c_big_cmd="$ferrik $big" c_small_cmd="$ferrik $small"
compare c 6 20 100 no "$c_big_cmd" "$c_small_cmd"

a_cat=$(median a "$a_cat_cmd"); a_fer=$(median a "$a_fer_cmd"); a_ratio=$(ratio "$a_fer" "$a_cat")
b_cat=$(median b "$b_cat_cmd"); b_fer=$(median b "$b_fer_cmd"); b_ratio=$(ratio "$b_fer" "$b_cat")
c_big=$(median c "$c_big_cmd"); c_small=$(median c "$c_small_cmd"); c_ratio=$(ratio "$c_big" "$c_small")

# ------------------------------------------------------ f) UTF-16 text ---
u16=$dir/U16
say "bench: f) generating 256 MiB of UTF-16LE text"
{ { seq -f '%010.0f 2025-06-01T12:00:00Z INFO café Straße naïve 日本語 served in 12 ms, ok' \
        1 5000000 || true; } | iconv -f UTF-8 -t UTF-16LE || true; } |
    head -c $((256 * 1024 * 1024)) > "$u16"
[ "$(stat -c %s "$u16")" -eq $((256 * 1024 * 1024)) ] || die "could not generate $u16"
u16_expected=$({ cat "$dir/banner"; iconv -f UTF-16LE -t UTF-8 "$u16"; } | "$sink")
u16_got=$(LC_ALL=C.UTF-8 "$ferrik" -u +0 "$u16" | "$sink")
[ "$u16_got" = "$u16_expected" ] || die "ferrik -u +0 U16 is not the banner and iconv's UTF-8: $u16_got"
say "bench: g) ferrik -u +0 U16 | wc -c against iconv, UTF-8 locale and C locale"
g_iconv_cmd="iconv -f UTF-16LE -t UTF-8 $u16 | wc -c"
g_utf8_cmd="LC_ALL=C.UTF-8 $ferrik -u +0 $u16 | wc -c"
g_latin1_cmd="LC_ALL=C $ferrik -u +0 $u16 | wc -c"
compare g 4 1 3 yes "$g_iconv_cmd" "$g_utf8_cmd"
compare g1 4 1 3 yes "$g_iconv_cmd" "$g_latin1_cmd"
g_iconv=$(median g "$g_iconv_cmd"); g_utf8=$(median g "$g_utf8_cmd"); g_ratio=$(ratio "$g_utf8" "$g_iconv")
g1_iconv=$(median g1 "$g_iconv_cmd"); g_latin1=$(median g1 "$g_latin1_cmd"); g1_ratio=$(ratio "$g_latin1" "$g1_iconv")
rss_g_utf8=$(peak_rss pipe env LC_ALL=C.UTF-8 "$ferrik" -u +0 "$u16")
rss_g_latin1=$(peak_rss pipe env LC_ALL=C "$ferrik" -u +0 "$u16")
rss_g_iconv=$(peak_rss pipe iconv -f UTF-16LE -t UTF-8 "$u16")
rm -f "$u16"

# ------------------------------------------------------------ d) follow ---
growing=$dir/growing
fifo=$dir/fifo
mkfifo "$fifo"
follow_runs=7
lags=() totals=() writes=() follow_cpu=() follow_rss=0 complete=0
for run in $(seq "$follow_runs"); do
    say "bench: d) follow, run $run of $follow_runs"
    rm -f "$growing"
    : > "$growing"
    "$sink" "$expected_bytes" < "$fifo" > "$dir/sink.out" &
    sink_pid=$!
    started+=("$sink_pid")
    /usr/bin/time -f %M -o "$dir/follow.rss" "$ferrik" -0 -f "$growing" > "$fifo" &
    time_pid=$!
    started+=("$time_pid")
    follower=$(child_of "$time_pid")
    started+=("$follower")
    # Start the writer at a different point of the follower's poll each run.
    sleep "1.$((run * 13 % 10))"
    write_start=$(now_us)
    dd if="$big" of="$growing" bs=1M count=1024 oflag=append conv=notrunc status=none
    write_end=$(now_us)
    # Wait up to 20 s for the last byte, then one poll more for any extra.
    arrival=
    for i in $(seq 400); do
        arrival=$(sed -n 's/^arrival_ns=//p' "$dir/sink.out")
        [ -n "$arrival" ] && break
        sleep 0.05
    done
    sleep 1.2
    follow_cpu+=("$(cpu_ns "$follower")")
    kill "$follower"
    wait "$time_pid" "$sink_pid" || true
    result=$(sed -n '$p' "$dir/sink.out")
    [ "$result" = "bytes=$expected_bytes hash=$expected_hash" ] && complete=$((complete + 1))
    kib=$(sed -n '$p' "$dir/follow.rss")
    [ "$kib" -gt "$follow_rss" ] && follow_rss=$kib
    writes+=("$(awk -v a="$write_start" -v b="$write_end" 'BEGIN { print (b - a) / 1e6 }')")
    if [ -n "$arrival" ]; then
        lags+=("$(awk -v w="$write_end" -v a="$arrival" 'BEGIN { print (a / 1000 - w) / 1e6 }')")
        totals+=("$(awk -v w="$write_start" -v a="$arrival" 'BEGIN { print (a / 1000 - w) / 1e6 }')")
    else
        lags+=(inf) totals+=(inf)
    fi
    say "bench:    write $(ms "${writes[-1]}"), lag $(ms "${lags[-1]}"), $result"
    rm -f "$growing"
    started=()   # all of them ended and waited for
done
# Median and largest of a list of numbers.
list_median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
list_max() { printf '%s\n' "$@" | sort -g | sed -n '$p'; }
lag_median=$(list_median "${lags[@]}"); lag_max=$(list_max "${lags[@]}")
total_median=$(list_median "${totals[@]}")
write_median=$(list_median "${writes[@]}")
follow_cpu_median=$(list_median "${follow_cpu[@]}")

say "bench: d) idle follower, 10 s"
"$ferrik" -f "$small" > "$fifo" &
idle_pid=$!
started+=("$idle_pid")
cat "$fifo" > /dev/null &
started+=("$!")
sleep 1
idle_cpu_start=$(cpu_ns "$idle_pid")
sleep 10
idle_cpu_end=$(cpu_ns "$idle_pid")
idle_rss=$(awk '/^VmHWM:/ { print $2 }' "/proc/$idle_pid/status")
kill "$idle_pid"
wait || true
started=()
idle_cpu_ms=$(awk -v a="$idle_cpu_start" -v b="$idle_cpu_end" 'BEGIN { printf "%.2f", (b - a) / 1e6 }')
idle_pct=$(awk -v c="$idle_cpu_ms" 'BEGIN { printf "%.4f", c / 10000 * 100 }')

# ---------------------------------------------------------- f) rotation ---
say "bench: f) rotation under a follower, 12 rotations"
mkdir "$dir/rotation"
python3 "$root/bench/rotation.py" "$ferrik" "$dir/rotation" 12 > "$dir/rotation.out" ||
    die "rotation run failed: $(cat "$dir/rotation.out")"
rotation_median=$(sed -n 's/^median_s=\([^ ]*\) .*/\1/p' "$dir/rotation.out")
rotation_max=$(sed -n 's/.* max_s=\([^ ]*\) .*/\1/p' "$dir/rotation.out")
rotation_all=$(sed -n 's/^latency_s=//p' "$dir/rotation.out" | tr '\n' ' ')

# --------------------------------------------------------------- e) RSS ---
say "bench: e) peak RSS"
rss_cat_null=$(peak_rss null cat "$big")
rss_fer_null=$(peak_rss null "$ferrik" +0 "$big")
rss_cat_pipe=$(peak_rss pipe cat "$big")
rss_fer_pipe=$(peak_rss pipe "$ferrik" +0 "$big")
rss_fer_big=$(peak_rss null "$ferrik" "$big")
rss_fer_small=$(peak_rss null "$ferrik" "$small")
load_after=$(cut -d ' ' -f 1-3 /proc/loadavg)

# -------------------------------------------------------------- report ---
rss_limit=2048
rss_row() {   # letter, command, KiB, what to compare with
    echo "| $1 | peak RSS of \`${2//|/\\|}\` | $3 KiB${4:+ ($4)} | ≤ $rss_limit KiB | $(verdict "$3" "$rss_limit") |"
}
lag_ok=$(verdict "$lag_median" 1.5)
[ "$complete" -eq "$follow_runs" ] && complete_ok=yes || complete_ok="**no**"
idle_ok=$(awk -v p="$idle_pct" 'BEGIN { print (p < 0.1) ? "yes" : "**no**" }')
commit=$(git -C "$root" rev-parse --short HEAD 2> /dev/null || echo unknown)
dirty=$(git -C "$root" status --porcelain --untracked-files=no 2> /dev/null | grep -q . && echo " (with uncommitted changes)" || true)

table=$(cat << EOF
| | what | measured | target | met |
| --- | --- | --- | --- | --- |
| a | \`ferrik +0 BIG > /dev/null\` against \`cat BIG > /dev/null\` | $(ms "$a_fer") against $(ms "$a_cat"): **${a_ratio}×** | ≤ 1.0× | $(verdict "$a_ratio" 1.0) |
| b | \`ferrik +0 BIG \| wc -c\` against \`cat BIG \| wc -c\` | $(ms "$b_fer") against $(ms "$b_cat"): **${b_ratio}×** | ≤ 1.0× | $(verdict "$b_ratio" 1.0) |
| c | \`ferrik BIG\` against \`ferrik SMALL\` (the last 400 bytes) | $(ms "$c_big") against $(ms "$c_small"): **${c_ratio}×** | ≤ 1.2× | $(verdict "$c_ratio" 1.2) |
| d | follow: every byte arrived (count and hash) | **$complete of $follow_runs runs** | all | $complete_ok |
| d | follow: lag from the writer's end to the last byte | **$(ms "$lag_median")** (largest $(ms "$lag_max")) | ≤ 1.5 s | $lag_ok |
| d | follow: total, writer's start to the last byte | $(ms "$total_median") (the writer alone $(ms "$write_median")) | | |
| d | follow: ferrik's CPU time for 1 GiB | $(ms "$(awk -v n="$follow_cpu_median" 'BEGIN { print n / 1e9 }')") | | |
| d | idle follower's CPU time over 10 s | $idle_cpu_ms ms: **${idle_pct}%** of one core | < 0.1% | $idle_ok |
| f | follow: rotation, first write to the new file to its first byte shown | **$(ms "$rotation_median")** (largest $(ms "$rotation_max"), 12 rotations) | ≤ 2.2 s | $(verdict "$rotation_max" 2.2) |
$(rss_row e "ferrik +0 BIG > /dev/null" "$rss_fer_null" "cat: $rss_cat_null KiB")
$(rss_row e "ferrik +0 BIG | wc -c" "$rss_fer_pipe" "cat: $rss_cat_pipe KiB")
$(rss_row e "ferrik BIG" "$rss_fer_big")
$(rss_row e "ferrik SMALL" "$rss_fer_small")
$(rss_row e "ferrik -0 -f FILE" "$follow_rss" "while following 1 GiB")
$(rss_row e "ferrik -f SMALL" "$idle_rss" "idle, VmHWM")
| g | \`ferrik -u +0 U16 \| wc -c\` in C.UTF-8 against \`iconv -f UTF-16LE -t UTF-8 U16 \| wc -c\` | $(ms "$g_utf8") against $(ms "$g_iconv"): **${g_ratio}×** | ≤ 0.5× | $(verdict "$g_ratio" 0.5) |
| g | the same in the C locale (one byte per unit) against iconv | $(ms "$g_latin1") against $(ms "$g1_iconv"): **${g1_ratio}×** | | |
$(rss_row g "ferrik -u +0 U16 | wc -c" "$rss_g_utf8" "C.UTF-8; iconv: $rss_g_iconv KiB")
$(rss_row g "ferrik -u +0 U16 | wc -c" "$rss_g_latin1" "C locale")
EOF
)

cpu_model=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
mem_gib=$(awk '/^MemTotal:/ { printf "%.1f", $2 / 1048576 }' /proc/meminfo)
fs_type=$(stat -f -c %T "$dir")

{
    echo "# ferrik benchmark results"
    echo
    echo "Written by \`bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), ferrik at commit $commit$dirty."
    echo "BIG is 1 GiB of numbered log lines, in the page cache; SMALL is its first KiB; U16 is 256 MiB of UTF-16LE log lines with accented and CJK characters."
    echo "Every figure of a), b) and c) is the median of all the runs of hyperfine rounds in which the two commands took turns; d) is the median of $follow_runs runs."
    echo "ferrik's output starts with its banner ($banner_bytes bytes), so it sends $expected_bytes bytes where cat sends $gib."
    echo
    echo "$table"
    echo
    echo "## Machine"
    echo
    echo "| | |"
    echo "| --- | --- |"
    echo "| CPU | $cpu_model |"
    echo "| cores | $(nproc) |"
    echo "| memory | $mem_gib GiB |"
    echo "| kernel | $(uname -sr) |"
    echo "| data on | $fs_type ($base) |"
    echo "| load average | $load_before before, $load_after after |"
    echo "| tools | $(hyperfine --version), $(cat --version | head -n 1), $(g++ --version | head -n 1) |"
    echo
    echo "## hyperfine details (ms)"
    echo
    echo "| command | median | mean | σ | min | max | runs |"
    echo "| --- | --- | --- | --- | --- | --- | --- |"
    hyper_details a "$a_cat_cmd"
    hyper_details a "$a_fer_cmd"
    hyper_details b "$b_cat_cmd"
    hyper_details b "$b_fer_cmd"
    hyper_details c "$c_big_cmd"
    hyper_details c "$c_small_cmd"
    hyper_details g "$g_iconv_cmd"
    hyper_details g "$g_utf8_cmd"
    hyper_details g1 "$g_iconv_cmd"
    hyper_details g1 "$g_latin1_cmd"
    echo
    echo "## follow runs"
    echo
    echo "| run | writer (s) | lag (s) | total (s) | ferrik CPU (ms) |"
    echo "| --- | --- | --- | --- | --- |"
    for i in "${!lags[@]}"; do
        printf '| %d | %.3f | %.3f | %.3f | %.0f |\n' $((i + 1)) "${writes[$i]}" \
            "${lags[$i]}" "${totals[$i]}" "$(awk -v n="${follow_cpu[$i]}" 'BEGIN { print n / 1e6 }')"
    done
    echo
    echo "## rotations"
    echo
    echo "Seconds from the first write to the new file to its first byte on the output: $rotation_all"
} > "$root/bench/results.md"

echo "$table"
say "bench: written to bench/results.md"

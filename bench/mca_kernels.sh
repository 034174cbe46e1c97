#!/bin/sh
# Modelled throughput of the kernels' inner loops on processors this machine
# may not be: the compiled loops are cut from the objects of a build
# (objdump -d) and given to llvm-mca, whose figures are predictions of its
# scheduling models, not measurements. Needs llvm-mca-19
# (`apt-get install -y llvm-19` on Debian 12).
#
#   bench/mca_kernels.sh [BUILD_DIR]      default build/release
#
# For each model and loop it prints the cycles per iteration and the share
# of the model's peak, where the peak is the model's throughput for the
# peak loop of bench/peak.cpp (independent multiplications and additions)
# and a loop's useful work is one multiplication and one addition per
# accumulator update (the windowing multiplication of frame lanes is
# overhead). llvm-mca 19 schedules znver5 with the znver4 model (512-bit
# operations as two halves) and icelake-server with one 512-bit port, so
# neither shows a full-width core; skylake-avx512 and sapphirerapids do.
set -eu
build=${1:-build/release}
mca=${LLVM_MCA:-llvm-mca-19}
command -v "$mca" >/dev/null || { echo "$mca not found: apt-get install -y llvm-19" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
objects="$build/core/CMakeFiles/spectrogrid_core_shared.dir/accumulate"
peak=$(find "$build/bench" -name 'peak.cpp.o' | head -n 1)

# The innermost loop of the first function whose name contains $2 in the
# listing $1: of its loops (spans closed by a backward conditional jump,
# with no other jump inside) of under 200 instructions, the shortest of
# those with the most vmulpd.
cut_loop() {
    awk -v want="$2" '
        function hex(text,    value, i) {
            value = 0
            for (i = 1; i <= length(text); i++) value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
            return value
        }
        /^[0-9a-f]+ </ { inside = !done && index($0, want) > 0; if (inside) done = 1; next }
        inside && /^ *[0-9a-f]+:/ {
            address = hex(substr($1, 1, length($1) - 1))
            $1 = ""; text = substr($0, 2); sub(/ *#.*$/, "", text)
            n++; at[n] = address; ins[n] = text
        }
        END {
            best = 0
            for (e = 1; e <= n; e++) {
                if (ins[e] !~ /^j[a-z]+ / || ins[e] ~ /^jmp/) continue
                split(ins[e], parts, " "); target = hex(parts[2])
                if (target > at[e]) continue
                first = 0; muls = 0
                for (b = 1; b <= e; b++) if (at[b] >= target && !first) first = b
                if (e - first + 1 >= 200) continue
                inner = 1
                for (b = first; b < e; b++) if (ins[b] ~ /^j[a-z]+ /) inner = 0
                if (!inner) continue
                for (b = first; b <= e; b++) if (ins[b] ~ /^vmulpd/) muls++
                if (muls > bestMuls || (muls == bestMuls && e - first < bestLength)) {
                    bestMuls = muls; bestLength = e - first; bestFirst = first; best = e
                }
            }
            print ".Lloop:"
            for (b = bestFirst; b < best; b++) print ins[b]
            split(ins[best], parts, " "); print parts[1] " .Lloop"
        }' "$1"
}

objdump -d --no-show-raw-insn "$objects/avx512.cpp.o" | c++filt > "$work/avx512.s"
objdump -d --no-show-raw-insn "$objects/avx2.cpp.o" | c++filt > "$work/avx2.s"
objdump -d --no-show-raw-insn "$peak" | c++filt > "$work/peak.s"
cut_loop "$work/peak.s" "avx512Loop" > "$work/peak-avx512.s"
cut_loop "$work/peak.s" "avx2Loop" > "$work/peak-avx2.s"
cut_loop "$work/avx512.s" "avx512::(anonymous namespace)::accumulateFrequencyRow<6>" > "$work/avx512-frequency.s"
cut_loop "$work/avx512.s" "avx512::(anonymous namespace)::accumulateFrameGroups<2>" > "$work/avx512-frame.s"
cut_loop "$work/avx512.s" "fullWidth::(anonymous namespace)::accumulateFrequencyRow<6>" > "$work/avx512full-frequency.s"
cut_loop "$work/avx512.s" "fullWidth::(anonymous namespace)::accumulateFrameGroups<2>" > "$work/avx512full-frame.s"
cut_loop "$work/avx2.s" "avx2::(anonymous namespace)::accumulateFrequencyRow<6>" > "$work/avx2-frequency.s"
cut_loop "$work/avx2.s" "avx2::(anonymous namespace)::accumulateFrameGroups<2>" > "$work/avx2-frame.s"
# One frequency straight from the signal: the turn of the samples in the loop.
direct="accumulateDirectGroups<2>(spectrogrid::SET::(anonymous namespace)::GroupTask const&)::{lambda(auto:1)#1}::operator()<spectrogrid::SET::(anonymous namespace)::Count<1> >"
cut_loop "$work/avx512.s" "avx512::(anonymous namespace)::$(echo "$direct" | sed 's/SET/avx512/g')" > "$work/avx512-direct1.s"
cut_loop "$work/avx2.s" "avx2::(anonymous namespace)::$(echo "$direct" | sed 's/SET/avx2/g')" > "$work/avx2-direct1.s"
# A window for each frequency: a full block, where every bin's window covers the row.
cut_loop "$work/avx512.s" "avx512::(anonymous namespace)::accumulateOwnGroups<2>" > "$work/avx512-own.s"
cut_loop "$work/avx2.s" "avx2::(anonymous namespace)::accumulateOwnGroups<2>" > "$work/avx2-own.s"

cycles() {
    "$mca" -mtriple=x86_64 -mcpu="$1" -iterations=300 "$2" 2>/dev/null |
        awk '/^Total Cycles:/ { printf "%.2f", $3 / 300 }'
}
count() { grep -cE "$1" "$2" || true; }

printf "%-15s %-22s %5s %5s %5s %6s %8s %6s\n" model loop mul add bcast load cyc/iter %peak
for cpu in znver4 znver5 skylake-avx512 icelake-server sapphirerapids; do
    for loop in avx512-frequency avx512full-frequency avx512-frame avx512full-frame avx512-direct1 avx512-own \
        avx2-frequency avx2-frame avx2-direct1 avx2-own; do
        file="$work/$loop.s"
        case $loop in avx2*) peakFile="$work/peak-avx2.s" ;; *) peakFile="$work/peak-avx512.s" ;; esac
        peakOps=$(count '^v(mul|add)pd' "$peakFile")
        peakCycles=$(cycles "$cpu" "$peakFile")
        loopCycles=$(cycles "$cpu" "$file")
        adds=$(count '^v(add|sub)pd' "$file")
        printf "%-15s %-22s %5s %5s %5s %6s %8s %5.0f%%\n" "$cpu" "$loop" "$(count '^vmulpd' "$file")" "$adds" \
            "$(count 'vbroadcastsd|1to' "$file")" "$(count '\(' "$file")" "$loopCycles" \
            "$(echo "100 * 2 * $adds / $loopCycles / ($peakOps / $peakCycles)" | bc -l)"
    done
done

#!/usr/bin/env bash
# Reading a cube file: `tintavo-cli info` (the whole process: start, read, range of the table)
# beside numpy.loadtxt's parse of the same file inside a running Python (no start-up counted),
# on a 65-point and a 101-point cube written by our own Cube 3D writer. The runs alternate, so
# both sides see the same machine load; the medians and their ratio are printed.
#
#   bash bench/compare_loadtxt.sh [path/to/tintavo-cli] [runs]
#
# A third column runs tintavo-cli with glibc's malloc on transparent huge pages
# (GLIBC_TUNABLES=glibc.malloc.hugetlb=1). A TLUT takes its 27 MB in huge pages itself, so the
# two columns should agree; a gap means the table is being faulted in page by page again.
set -euo pipefail
cd "$(dirname "$0")/.."
cli="${1:-build/cli/tintavo-cli}"
runs="${2:-9}"
python=/usr/bin/python3  # Debian's numpy belongs to the system Python
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A smooth 3-point LUT, brought to 65 and 101 points by our writer (resampled through the LUT).
{
  echo "LUT_3D_SIZE 3"
  for b in 0 1 2; do for g in 0 1 2; do for r in 0 1 2; do
    echo "0.$((r * 4 + g + 1))13579 0.$((g * 3 + b + 1))24680 0.$((b * 4 + r + 1))97531"
  done; done; done
} >"$work/small.cube"
for n in 65 101; do
  "$cli" convert "$work/small.cube" "$work/c$n.cube" --profile "Cube 3D Davinci" --size "$n" >/dev/null
done

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

for n in 65 101; do
  file="$work/c$n.cube"
  skip=$(grep -n -m1 '^LUT_3D_SIZE' "$file" | cut -d: -f1)
  : >"$work/np$n" ; : >"$work/cli$n" ; : >"$work/huge$n"
  for ((i = 0; i < runs; i++)); do
    "$python" -c "import sys, time, numpy
t = time.perf_counter(); a = numpy.loadtxt(sys.argv[1], skiprows=int(sys.argv[2]))
print(round((time.perf_counter() - t) * 1e3, 2))
assert a.shape == ($n ** 3, 3)" "$file" "$skip" >>"$work/np$n"
    s=$(now); "$cli" info "$file" >/dev/null; e=$(now)
    echo "scale=2; ($e - $s) / 1000000" | bc >>"$work/cli$n"
    s=$(now); GLIBC_TUNABLES=glibc.malloc.hugetlb=1 "$cli" info "$file" >/dev/null; e=$(now)
    echo "scale=2; ($e - $s) / 1000000" | bc >>"$work/huge$n"
  done
  np=$(median <"$work/np$n"); c=$(median <"$work/cli$n"); h=$(median <"$work/huge$n")
  printf '%3d-point cube (%s bytes), median of %d runs: numpy.loadtxt %s ms, tintavo-cli info %s ms (%.2fx), with huge pages %s ms (%.2fx)\n' \
    "$n" "$(stat -c %s "$file")" "$runs" "$np" "$c" "$(echo "$c / $np" | bc -l)" "$h" "$(echo "$h / $np" | bc -l)"
done

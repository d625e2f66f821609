#!/usr/bin/env bash
# Times packcli against bsdiff on firmware-like image pairs, side by side: median
# seconds of several alternating runs, their ratio, peak memory and output sizes,
# then pack_bench's stage times for the same pair (the LZMA share among them).
#
# usage: bench/pack_vs_bsdiff.sh [-n RUNS] [--reference] [SIZE[+ERASED]...]
#   SIZE         old image size in bytes (default: 0x80000 0x200000 0x400000
#                0x300000+0x100000); the pair comes from examples/make_firmware_pair.py
#                with seed 1; +ERASED appends that many bytes of erased flash to both
#   -n RUNS      runs of each program per pair (default 3)
#   --reference  also time once the reference planner, which sorts the working
#                image afresh for every chunk (slow), and check its pack is the same
set -euo pipefail
cd "$(dirname "$0")/.."

runs=3
reference=0
sizes=()
while [ $# -gt 0 ]; do
  case "$1" in
    -n) runs="$2"; shift 2 ;;
    --reference) reference=1; shift ;;
    *) sizes+=("$1"); shift ;;
  esac
done
[ ${#sizes[@]} -gt 0 ] || sizes=(0x80000 0x200000 0x400000 0x300000+0x100000)

for tool in bsdiff python3 cmake; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (./scripts/install-deps installs it)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "missing: /usr/bin/time (Debian package 'time')" >&2; exit 1; }

build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUARNEL_BUILD_GUI=OFF -DQUARNEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target packcli pack_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
largest() { sort -g | tail -n 1; }

echo "runs per program: $runs (alternating); times in seconds, memory as peak RSS"
printf '%-17s %8s %8s %6s %10s %10s %10s %10s\n' size bsdiff packcli ratio bsdiffRSS packRSS patch pack
for size in "${sizes[@]}"; do
  python3 examples/make_firmware_pair.py "${size%%+*}" 1 "$work/old.lod" "$work/new.lod" --raw \
    --erased "$([ "${size#*+}" = "$size" ] && echo 0 || echo "${size#*+}")"
  : >"$work/bsdiff.times"
  : >"$work/packcli.times"
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %M' -o "$work/t" bsdiff "$work/old.lod.bin" "$work/new.lod.bin" "$work/patch"
    cat "$work/t" >>"$work/bsdiff.times"
    /usr/bin/time -f '%e %M' -o "$work/t" "$build/cli/packcli" 0x800000 0x10000 "$work/old.lod" "$work/new.lod" "$work/out.pack"
    cat "$work/t" >>"$work/packcli.times"
  done
  bsdiffTime=$(cut -d' ' -f1 "$work/bsdiff.times" | median)
  packTime=$(cut -d' ' -f1 "$work/packcli.times" | median)
  bsdiffMem=$(cut -d' ' -f2 "$work/bsdiff.times" | largest)
  packMem=$(cut -d' ' -f2 "$work/packcli.times" | largest)
  printf '%-17s %8.2f %8.2f %6.2f %7.1f MiB %6.1f MiB %10d %10d\n' "$size" "$bsdiffTime" "$packTime" \
    "$(echo "$packTime $bsdiffTime" | awk '{ print $1 / $2 }')" \
    "$(echo "$bsdiffMem" | awk '{ print $1 / 1024 }')" "$(echo "$packMem" | awk '{ print $1 / 1024 }')" \
    "$(stat -c %s "$work/patch")" "$(stat -c %s "$work/out.pack")"

  echo "          stages: $("$build/bench/pack_bench" incremental "$work/old.lod" "$work/new.lod" "$work/stages.pack")"
  cmp -s "$work/stages.pack" "$work/out.pack" || { echo "pack_bench and packcli packs differ" >&2; exit 1; }
  if [ "$reference" -eq 1 ]; then
    echo "          reference: $("$build/bench/pack_bench" reference "$work/old.lod" "$work/new.lod" "$work/reference.pack")"
    cmp -s "$work/reference.pack" "$work/out.pack" || { echo "the reference planner's pack differs" >&2; exit 1; }
    echo "          reference pack is byte-identical"
  fi
done

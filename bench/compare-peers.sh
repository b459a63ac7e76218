#!/usr/bin/env bash
# Times the command-line enlarger against ImageMagick's Lanczos resize of the
# same photo in one run (hyperfine), then the reference engine against the
# fast engine for every setup. Benchmarks, not tests: run on demand, on a
# machine as quiet as can be had, and record the figures in docs/performance.md.
# Usage: bench/compare-peers.sh [RUNS]   (default 5 runs per command)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}

bash scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target fractal-enlarge
enlarge=$PWD/build/native/src/tools/fractal-enlarge

# A photograph from Debian's MATE backgrounds (GPL-2+), cut to the sizes
# compared: 1024 x 768 and 512 x 384, 24-bit BMP.
photos=build/bench-photos
mkdir -p "$photos"
if [ ! -s "$photos/photo-512x384.bmp" ]; then
  # apt warns that it downloads as root into a folder its sandbox user cannot enter.
  (cd "$photos" && apt-get download mate-backgrounds >/dev/null 2>&1)
  dpkg-deb --fsys-tarfile "$photos"/mate-backgrounds_*.deb |
    tar -xO ./usr/share/backgrounds/mate/nature/Dune.jpg > "$photos/Dune.jpg"
  for size in 1024x768 512x384; do
    convert "$photos/Dune.jpg" -resize "$size^" -gravity center -extent "$size" -type TrueColor \
      "BMP3:$photos/photo-$size.bmp"
  done
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Mean seconds of the named command in a hyperfine CSV export.
mean() { awk -F, -v name="$2" '$1 == name { print $2 }' "$1"; }

echo "=== 2x of a 1024 x 768 photo, BMP to BMP: the plug-in's default and the best preset against Lanczos ==="
big=$photos/photo-1024x768.bmp
hyperfine --warmup 1 --runs "$runs" --export-csv "$out/peers.csv" \
  -n fractal-enlarge "$enlarge $big -o $out/fractal.bmp -q --preset dialog" \
  -n reference-engine "FI_ENGINE=reference $enlarge $big -o $out/reference.bmp -q --preset dialog" \
  -n best "$enlarge $big -o $out/best.bmp -q --preset best" \
  -n lanczos "convert $big -filter Lanczos -resize 200% $out/lanczos.bmp"
cmp -s "$out/fractal.bmp" "$out/reference.bmp" || { echo "the engines' results differ" >&2; exit 1; }
awk -v f="$(mean "$out/peers.csv" fractal-enlarge)" -v r="$(mean "$out/peers.csv" reference-engine)" \
  -v b="$(mean "$out/peers.csv" best)" -v l="$(mean "$out/peers.csv" lanczos)" \
  'BEGIN { printf "dialog / Lanczos: %.2f; best / Lanczos: %.2f; reference / fast: %.1f\n", f / l, b / l, r / f }'

echo "=== each setup on a 512 x 384 photo: reference engine against fast engine ==="
for setup in 0 1 2 3 4 5 6; do
  hyperfine --warmup 1 --runs "$runs" --export-csv "$out/setup.csv" --style basic \
    -n reference "FI_ENGINE=reference $enlarge $photos/photo-512x384.bmp -o $out/reference.bmp -q --setup $setup" \
    -n fast "$enlarge $photos/photo-512x384.bmp -o $out/fast.bmp -q --setup $setup" >/dev/null
  cmp -s "$out/reference.bmp" "$out/fast.bmp" || { echo "setup $setup: the engines' results differ" >&2; exit 1; }
  awk -v s="$setup" -v r="$(mean "$out/setup.csv" reference)" -v f="$(mean "$out/setup.csv" fast)" \
    'BEGIN { printf "setup %d: reference %.3f s, fast %.3f s, %.1f times sooner\n", s, r, f, r / f }'
done

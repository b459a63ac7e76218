#!/usr/bin/env bash
# Enlargement quality on photographs: every photo is reduced 2x, 3x and 4x in
# two ways (means of blocks; bicubic), enlarged back by each method, and
# compared with the original: mean PSNR of the BT.601 luma and of RGB, mean
# SSIM of the luma, 4-pixel border left out; with each method's total time.
# Run on demand, not by the tests; the table goes into docs/quality.md.
# Usage: bench/quality.sh [PRESET...]   (default: best dialog)
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(best dialog)

bash scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target fractal-enlarge fi_quality
enlarge=$PWD/build/native/src/tools/fractal-enlarge
quality=$PWD/build/native/bench/fi_quality

# The twelve nature photographs of Debian's MATE backgrounds (GPL-2+), cut
# to 720 x 480, which every factor divides; they stay out of the repository.
photos=build/quality-photos
mkdir -p "$photos"
if [ ! -s "$photos/.complete" ]; then
  # apt warns that it downloads as root into a folder its sandbox user cannot enter.
  (cd "$photos" && apt-get download mate-backgrounds >/dev/null 2>&1)
  dpkg-deb --fsys-tarfile "$photos"/mate-backgrounds_*.deb | tar -x -C "$photos" ./usr/share/backgrounds/mate/nature
  for jpg in "$photos"/usr/share/backgrounds/mate/nature/*.jpg; do
    convert "$jpg" -resize '720x480^' -gravity center -extent 720x480 -type TrueColor \
      "$photos/$(basename "$jpg" .jpg).png"
  done
  touch "$photos/.complete"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# enlarge METHOD SCALE IN OUT
enlarge_with() {
  case "$1" in
    lanczos) convert "$3" -filter Lanczos -resize "$((100 * $2))%" "$4" ;;
    bicubic) convert "$3" -filter Catrom -resize "$((100 * $2))%" "$4" ;;
    *) "$enlarge" "$3" -o "$4" -q --preset "$1" --scale "$2" >/dev/null ;;
  esac
}

methods=("${presets[@]}" lanczos bicubic)
echo "| Reduction | Scale | Method | PSNR luma (dB) | PSNR RGB (dB) | SSIM luma | Time (s) |"
echo "|---|---|---|---|---|---|---|"
for reduction in means bicubic; do
  for scale in 2 3 4; do
    for method in "${methods[@]}"; do
      : > "$work/scores"
      seconds=0
      for truth in "$photos"/*.png; do
        small="$work/small.png"
        if [ "$reduction" = means ]; then
          convert "$truth" -scale "$((720 / scale))x$((480 / scale))!" "$small"
        else
          convert "$truth" -filter Catrom -resize "$((720 / scale))x$((480 / scale))!" "$small"
        fi
        start=$EPOCHREALTIME
        enlarge_with "$method" "$scale" "$small" "$work/large.png"
        seconds=$(awk -v a="$seconds" -v b="$start" -v c="$EPOCHREALTIME" 'BEGIN { print a + c - b }')
        "$quality" "$truth" "$work/large.png" >> "$work/scores"
      done
      awk -v r="$reduction" -v s="$scale" -v m="$method" -v t="$seconds" \
        '{ y += $1; c += $2; q += $3; n++ } END { printf "| %s | %d | %s | %.2f | %.2f | %.4f | %.1f |\n", r, s, m, y / n, c / n, q / n, t }' \
        "$work/scores"
    done
  done
done

#!/usr/bin/env bash
# Builds the bundled sample card image: a 128 MiB FAT32 memory card with a
# camera folder, photos, a document and a recording, some of them deleted,
# as a user would find a card after deleting pictures by mistake.
#
#   tools/make-sample-card.sh [OUTPUT.img.xz]   (default: samples/sample-card.img.xz)
#
# Needs mkfs.fat (dosfstools), mtools, ImageMagick and python3. The result is
# committed compressed; regenerate it only when the sample should change.
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-samples/sample-card.img.xz}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
image="$work/sample-card.img"

truncate -s 128M "$image"
mkfs.fat -F 32 -s 2 -n VEXLO_CARD --invariant "$image" >/dev/null
export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0

photo() {  # name, seed, size, label
  convert -seed "$2" -size "$3" plasma:fractal -blur 0x1 \
    -fill white -pointsize 28 -gravity south -annotate +0+12 "$4" \
    -quality 85 "$work/$1"
  touch -d "2026-06-${2} 10:${2}:00" "$work/$1"
}
photo IMG_0001.JPG 11 800x600 "Beach"
photo IMG_0002.JPG 12 800x600 "Sunset"
photo IMG_0003.JPG 13 640x480 "Harbour"
photo IMG_0004.JPG 14 640x480 "Lighthouse"
photo IMG_0005.JPG 15 1024x768 "Birthday cake"
photo IMG_0006.JPG 16 640x480 "Garden"
photo DSC_0101.JPG 17 640x480 "Holiday 1"
photo DSC_0102.JPG 18 640x480 "Holiday 2"
convert -size 400x300 gradient:skyblue-navy "$work/Panorama.png"

cat > "$work/Shopping list.txt" <<'TXT'
Shopping list
- SD card reader
- spare batteries
- photo album
TXT
python3 - "$work/Voice memo.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
    w.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(2 * math.pi * 440 * i / 8000)))
                           for i in range(8000 * 2)))
PY
touch -d "2026-06-20 09:05:00" "$work/Shopping list.txt" "$work/Voice memo.wav" "$work/Panorama.png"

mmd -i "$image" ::/DCIM ::/DCIM/100VEXLO ::/Holiday ::/Documents
for n in 1 2 3 4 5 6; do mcopy -m -i "$image" "$work/IMG_000$n.JPG" ::/DCIM/100VEXLO/; done
mcopy -m -i "$image" "$work/Panorama.png" ::/DCIM/
mcopy -m -i "$image" "$work/DSC_0101.JPG" "$work/DSC_0102.JPG" ::/Holiday/
mcopy -m -i "$image" "$work/Shopping list.txt" "$work/Voice memo.wav" ::/Documents/

# What the user deleted by mistake.
mdel -i "$image" ::/DCIM/100VEXLO/IMG_0002.JPG ::/DCIM/100VEXLO/IMG_0005.JPG
mdel -i "$image" "::/Documents/Shopping list.txt" ::/DCIM/Panorama.png
mdeltree -i "$image" ::/Holiday

mkdir -p "$(dirname "$output")"
xz -9e -T1 -c "$image" > "$output"
echo "wrote $output ($(stat -c %s "$output") bytes)"

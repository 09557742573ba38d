#!/usr/bin/env bash
# Installs every Debian package that building, testing and running need.
# Run as root on Debian 12 or later; it only calls apt-get when a package is
# missing, and then runs `apt-get update` first.
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config
  # the program's icon, its manual, and the .deb (cpack reads libraries with file)
  qt6-svg-dev groff gzip file dpkg-dev
  # libraries
  libblkid-dev libudev-dev libsystemd-dev libarchive-dev
  # the command line's argument parser and its JSON output
  libcli11-dev nlohmann-json3-dev
  # whether a found photo decodes to its full height (libjpeg-turbo)
  libjpeg62-turbo-dev
  # the hashes of recovered files
  libssl-dev
  qt6-base-dev qt6-image-formats-plugins libgl-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev clang
  dosfstools exfatprogs fdisk mtools ntfs-3g sleuthkit imagemagick zip unzip python3 xz-utils
  ffmpeg webp libheif-examples libavif-bin
  # camera-like Exif (maker notes, thumbnails) written into test photos
  libimage-exiftool-perl
  e2fsprogs xvfb xauth
  # checks of the installed package
  desktop-file-utils appstream man-db bash-completion
  # a dying card served through FUSE, and GNU ddrescue to compare the image copy with
  fuse3 python3-fusepy gddrescue
  # a stand-in UDisks2 daemon on a private bus
  dbus-daemon python3-dbus python3-gi util-linux
  # preview helpers (the first page of a PDF, the external player)
  poppler-utils mpv
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}" >&2
  echo "install-deps: run this script as root (sudo $0)" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"

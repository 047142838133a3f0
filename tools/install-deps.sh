#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tessaro need.
# Does nothing when everything is present, so `make run` and `make test` stay fast.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  # Thumbnails are written in TIFF, which Qt reads and writes through this plugin.
  qt6-image-formats-plugins
  libssl-dev openssl
  libgtest-dev libgmock-dev libbenchmark-dev
  python3
  fonts-noto-cjk
  # An independent RTF reader that checks the notes' RTF writer (the test skips without it).
  unrtf
  # A real case-folding drive for the tests: an exFAT image mounted through FUSE.
  exfat-fuse exfatprogs fuse3
  # Qt's own panels (open, save, font, colour) in the interface's Chinese.
  qt6-translations-l10n
)
# Targets with needs of their own (the fuzzer's compiler) name extra packages as arguments.
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Tessaro needs these Debian packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  sudo DEBIAN_FRONTEND=noninteractive apt-get update -q
  sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  echo "Installing them needs administrator rights. Run this once, then try again:" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

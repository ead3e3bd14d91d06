#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when one is missing.
# Works as root (no sudo needed) and as a normal user through sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build git pkg-config
  libcurl4-openssl-dev libssl-dev zlib1g-dev nlohmann-json3-dev libsimdjson-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev libre2-dev
  libjavascriptcoregtk-4.1-dev libgumbo-dev liburiparser-dev
  clang libclang-rt-dev
  locales  # the character maps localedef needs: the tests compile a comma-decimal locale
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  SUDO=""
elif command -v sudo >/dev/null 2>&1; then
  SUDO="sudo"
else
  echo "Missing packages (${missing[*]}) and no sudo: run this script as root." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"

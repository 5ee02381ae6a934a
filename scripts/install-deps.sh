#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the benchmarks need.
# Idempotent: packages already installed are skipped, and apt is not touched at
# all when nothing is missing. Runs as root, or through sudo otherwise.
set -euo pipefail

packages=(
  build-essential cmake pkg-config make
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev openssl ca-certificates
  libxml2-dev libxml2-utils
  libcurl4-openssl-dev
  zlib1g-dev
  tzdata
  python3
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "error: missing packages (${missing[*]}) and neither root nor sudo available" >&2
  exit 1
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

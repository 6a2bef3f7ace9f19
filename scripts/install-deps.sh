#!/usr/bin/env bash
# Installs the Debian packages Porvix needs to build, run and test, and any
# further packages named as arguments; skips the download when everything is
# there already.
set -euo pipefail
packages=(cmake ninja-build g++ pkgconf qt6-base-dev qt6-serialport-dev libgtest-dev libgmock-dev libxcb1-dev
          libsystemd-dev libssl-dev openssl xvfb xauth util-linux procps socat ser2net python3-serial "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

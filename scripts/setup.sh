#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (Debian 12, root).
# --windows: the cross-compilers and Wine; --fuzz: clang with libFuzzer.
set -euo pipefail

# python3-pyftpdlib: the network scenarios' FTP server (run by Debian's /usr/bin/python3).
packages=(build-essential cmake libgtest-dev zlib1g-dev libcurl4-openssl-dev libexpat1-dev python3-pyftpdlib)
if [[ "${1:-}" == "--windows" ]]; then
  packages+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev wine64 faketime googletest osslsigncode openssl)
fi
if [[ "${1:-}" == "--fuzz" ]]; then
  # libFuzzer and the sanitizers come with clang's runtime.
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

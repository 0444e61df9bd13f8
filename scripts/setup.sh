#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
#   bash scripts/setup.sh        everything: the window, the tests, the Windows build
#   bash scripts/setup.sh cli    only what building and packaging kestrin-cli needs
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

# kestrin-cli and its package (dpkg-shlibdeps and file for the package's dependencies).
packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev file
  libcurl4-openssl-dev libicu-dev zlib1g-dev liburiparser-dev nlohmann-json3-dev
  libcli11-dev libxml2-dev libsqlite3-dev libtomlplusplus-dev
  # kestrin-cli's man page, made from its --help at build time.
  help2man
)
case "${1:-all}" in
  cli) ;;
  all)
    packages+=(
      clang libclang-rt-14-dev qt6-base-dev qt6-webengine-dev libqt6opengl6-dev libpng-dev
      libcpp-httplib-dev libssl-dev openssl ca-certificates
      libgtest-dev libgmock-dev libbenchmark-dev libx11-dev libxcb1-dev
      fonts-noto-cjk fonts-arphic-uming python3-fonttools xvfb xauth xdotool curl
      # The desktop's checkers of the package's menu entry and description.
      desktop-file-utils appstream
      # xmllint: the baseline kestrin-cli's sitemap benchmark is measured against.
      libxml2-utils
      # The Windows build: cross compiler, GoogleTest's sources to build with it, Wine to run the
      # tests, a zh_CN locale for Wine's code page 936, GnuTLS for its HTTPS and Python (with the
      # openssl command above) for the TLS relay of its tests.
      g++-mingw-w64-x86-64-posix googletest wine64 locales libgnutls30 python3
    )
    ;;
  *)
    echo "usage: $0 [cli]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
#   bash scripts/setup.sh        everything: the window, the tests, the Windows build
#   bash scripts/setup.sh cli    only what building and packaging kestrin-cli needs
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail
cd "$(dirname "$0")/.."

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
      # kestrin-cli.exe's zlib, linked statically.
      libz-mingw-w64-dev
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

if ((${#missing[@]} > 0)); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[[ "${1:-all}" == all ]] || exit 0
# kestrin-cli.exe's SQLite and libxml2, which Debian has no mingw-w64 build of: the SQLite
# amalgamation that better-sqlite3 ships and the libxml2 sources that libxmljs2 carries, one pinned
# version each, checked by their SHA-256 and unpacked into build/third_party (the Windows build
# compiles them as static libraries). Nothing is fetched again once unpacked.
third_party=build/third_party
fetch_npm() {  # PACKAGE VERSION SHA256 FOLDER-IN-PACKAGE DESTINATION
  local package=$1 version=$2 sha=$3 inside=$4 destination=$third_party/$5
  [[ -f "$destination/.sha256" && "$(cat "$destination/.sha256")" == "$sha" ]] && return 0
  local tarball=$third_party/$package-$version.tgz
  if [[ ! -f "$tarball" ]] || ! sha256sum -c --status <<<"$sha  $tarball"; then
    mkdir -p "$third_party"
    rm -f "$tarball"
    command -v npm >/dev/null || { echo "setup: npm is needed to fetch $package (Node.js' npm)" >&2; exit 1; }
    (cd "$third_party" && npm pack --silent "$package@$version" >/dev/null)
  fi
  if ! sha256sum -c --status <<<"$sha  $tarball"; then
    echo "setup: $package-$version.tgz is not the one pinned (SHA-256 $sha)" >&2
    exit 1
  fi
  rm -rf "$destination"
  mkdir -p "$destination"
  tar -xzf "$tarball" -C "$destination" --strip-components=$(($(tr -cd / <<<"package/$inside" | wc -c) + 1)) \
    "package/$inside"
  echo "$sha" >"$destination/.sha256"
}
fetch_npm better-sqlite3 12.11.1 ebf0ed75a7a59dbcb3b24bbd014ef49d9f15bc328e4adcbf516f2a8fadfa2835 deps/sqlite3 sqlite3
fetch_npm libxmljs2 0.37.0 3d48b0c92fe3353fcc24f5260c440cf37d34887114d31f45d09c506c0bf0b44e vendor/libxml libxml2

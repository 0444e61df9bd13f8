#!/usr/bin/env bash
# Redraws resources/picture.png and resources/icon.png. Run by hand after changing
# scripts/draw_resources.cpp; the build only embeds the PNGs that are checked in.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# The generator is built with -fexec-charset left at UTF-8: QStringLiteral wants UTF-8 source text.
g++ -std=c++20 -O1 -fPIC -Wall -Wextra scripts/draw_resources.cpp -o "$out/draw_resources" \
    $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$out/draw_resources" resources

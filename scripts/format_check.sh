#!/usr/bin/env bash
# Checks that every C++ source and header is formatted as .clang-format says
# (clang-format 14, Debian's). Prints the places that differ and fails when
# there are any; `clang-format -i <file>` puts a file right.
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format
command -v clang-format-14 >/dev/null && format=clang-format-14

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
  mapfile -t files < <(find src tests bench cmake -name '*.cpp' -o -name '*.h' | sort)
fi
"$format" --dry-run --Werror "${files[@]}"
echo "format_check: ${#files[@]} files formatted as .clang-format says"

#!/usr/bin/env bash
# Fails when clang-format would change any C++ file of the project.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -co --exclude-standard '*.cpp' '*.h')
[ ${#files[@]} -eq 0 ] && exit 0
clang-format --dry-run -Werror "${files[@]}"

#!/usr/bin/env bash
# The house rules that a tool can check, in a few seconds, before anything is
# built: every C++ file as the checked-in .clang-format lays it out, and no
# include that runs upward between the layers. Exit status 1 lists every
# file that breaks a rule; scripts/test.sh runs it.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

# The tree's C++ files: tracked and new ones, not what .gitignore hides
# (the build folders). Outside a git checkout, every file below the root
# except build/.
list_sources() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' '*.c'
    else
        find . -path ./build -prune -o -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) \
            -print | sed 's|^\./||'
    fi
}
mapfile -t SOURCES < <(list_sources | sort -u)

status=0

# ---- Format -----------------------------------------------------------------
CLANG_FORMAT="${CLANG_FORMAT:-clang-format}"
if ! command -v "$CLANG_FORMAT" >/dev/null; then
    echo "check-style: $CLANG_FORMAT is not installed (scripts/setup.sh installs it)" >&2
    exit 1
fi
existing=()
for f in "${SOURCES[@]}"; do
    [[ -f "$f" ]] && existing+=("$f")
done
if ! "$CLANG_FORMAT" --dry-run -Werror --style=file "${existing[@]}" 2>/tmp/check-style.$$; then
    echo "== Not laid out as .clang-format says (fix with: clang-format -i FILE):"
    grep -o '^[^:]*:[0-9]*:[0-9]*: error' /tmp/check-style.$$ | cut -d: -f1 | sort -u | sed 's/^/  /'
    status=1
fi
rm -f /tmp/check-style.$$

# ---- Layers -----------------------------------------------------------------
# Which of our folders a folder's files may include, lowest layer first.
# engine/ and jobs/ know no window: of common/ they may use only the headers
# that have nothing to do with windows (the handle owners, the progress
# interface, and for the jobs' texts the string loader and the resource
# ids). common/ and framework/ sit below the window layers; app/ is the top,
# choosing which dialog or window a start shows. tests/ may use everything.
declare -A ALLOWED=(
    [resources]="resources/"
    [common]="common/ resources/"
    [engine]="engine/ common/unique_handle.h"
    [jobs]="jobs/ engine/ common/unique_handle.h common/progress_update.h common/res_string.h resources/resource.h"
    [framework]="framework/ common/"
    [dialogs]="dialogs/ framework/ jobs/ engine/ common/ resources/"
    [mainwindow]="mainwindow/ dialogs/ framework/ jobs/ engine/ common/ resources/"
    [app]="app/ mainwindow/ dialogs/ framework/ jobs/ engine/ common/ resources/"
    [driver]="driver/ common/unique_handle.h"
    [bench]="bench/ driver/ jobs/ engine/ common/unique_handle.h common/progress_update.h common/res_string.h resources/resource.h"
)
# Our own folders: an include that resolves below one of them is one of ours.
OURS="resources common engine jobs framework dialogs mainwindow app driver bench tests"

# Where the compiler looks for a quoted include: the including file's own
# folder, then every folder the build adds (target_include_directories in
# any CMakeLists.txt: the root, and tests/, tests/jobs/ and resources/ for
# the tests' and the resources' own headers). An include is judged by the
# file it reaches, so "support/x.h" is seen to be tests/support/x.h.
include_roots() {
    local list dir
    for list in $(git ls-files --cached --others --exclude-standard -- '*CMakeLists.txt' \
                      2>/dev/null || find . -name CMakeLists.txt | sed 's|^\./||'); do
        dir="$(dirname "$list")"
        grep -h 'target_include_directories' "$list" |
            grep -oE '\$\{CMAKE_(CURRENT_)?SOURCE_DIR\}[^ )]*' |
            sed -E "s|^\\\$\{CMAKE_SOURCE_DIR\}/?||; s|^\\\$\{CMAKE_CURRENT_SOURCE_DIR\}/?|$dir/|" |
            sed -E 's|^\./||; s|/$||; s|^$|.|' || true
    done
}
mapfile -t ROOTS < <({ echo .; include_roots; } | awk '!seen[$0]++')

# resolve INCLUDING-FILE INCLUDED-PATH sets REACHED to the path in the tree
# that the include reaches, or to nothing (a system or generated header).
resolve() {
    local own base candidate
    REACHED=
    own="${1%/*}"
    [[ "$own" == "$1" ]] && own=.
    for base in "$own" "${ROOTS[@]}"; do
        candidate="$base/$2"
        candidate="${candidate#./}"
        [[ -f "$candidate" ]] || continue
        REACHED="$candidate"
        [[ "$candidate" == *./* ]] && REACHED="$(realpath -m --relative-to=. "$candidate")"
        return 0
    done
}

allowed() { # allowed FOLDER INCLUDED-PATH
    local rule
    for rule in ${ALLOWED[$1]}; do
        if [[ "$rule" == */ ]]; then
            [[ "$2" == "$rule"* ]] && return 0
        else
            [[ "$2" == "$rule" ]] && return 0
        fi
    done
    return 1
}

layer_errors=()
for f in "${SOURCES[@]}"; do
    [[ -f "$f" ]] || continue
    folder="${f%%/*}"
    [[ -n "${ALLOWED[$folder]+set}" ]] || continue
    while IFS=: read -r line included; do
        resolve "$f" "$included"
        top="${REACHED%%/*}"
        [[ -n "$REACHED" && " $OURS " == *" $top "* ]] || continue
        allowed "$folder" "$REACHED" || layer_errors+=("  $f:$line includes \"$included\"")
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$f" |
             sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/' || true)
done
if ((${#layer_errors[@]})); then
    echo "== Includes that run upward between the layers (see scripts/check-style.sh):"
    printf '%s\n' "${layer_errors[@]}"
    status=1
fi

((status == 0)) && echo "== Style: ${#SOURCES[@]} files laid out as .clang-format says; no upward include"
exit $status

#!/usr/bin/env bash
# The program's encryption job locks a tree; the independent reader
# (sealed_reader.py, written from the format page alone) must open it and
# find every byte and name, and must check the page's own test vectors. A
# container with one byte changed must be refused by it as well. Everything
# goes into a scratch folder that is removed again.
# Usage: python_reader_test.sh SEAL_ITEM_EXE FORMAT_PAGE
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
SEAL="$1"
PAGE="$2"
# Debian's own Python, which the set-up gives the crypto modules (another one
# may come first on the PATH).
PY=/usr/bin/python3
if ! "$PY" -c "import argon2, cryptography" 2>/dev/null; then
    echo "skipped: python3-argon2 and python3-cryptography are not installed"
    exit 77
fi
WORK="$(mktemp -d "${TMPDIR:-/tmp}/tessalock-python-reader.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
reader() { "$PY" "$HERE/sealed_reader.py" "$@"; }

"$PY" "$HERE/sealed_reader.py" vectors "$PAGE" || { echo "FAILED: the page's vectors"; exit 1; }

# Names beyond ASCII, an empty file, an empty folder, and a body that spans
# segments.
mkdir -p "$WORK/item/Fotos été/2012/leer" "$WORK/item/one"
"$PY" - "$WORK/item" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
for path, size in [("Fotos été/a.txt", 1), ("Fotos été/zero", 0),
                   ("Fotos été/2012/日本.bin", 2621457), ("Fotos été/2012/\U0001F600", 1000),
                   ("one/small.txt", 42)]:
    with open(os.path.join(root, path), "wb") as f:
        f.write(bytes(rng.getrandbits(8) for _ in range(size)))
PY
mkdir -p "$WORK/expected" "$WORK/expected-one"
cp -a "$WORK/item/Fotos été" "$WORK/expected/"
cp -a "$WORK/item/one" "$WORK/expected-one/"

password="pässwörd"
wine "$SEAL" "$(winepath -w "$WORK/item/Fotos été")" "$password"
reader compare "$WORK/item/Fotos été.lock" "$password" "$WORK/expected" ||
    { echo "FAILED: the reader does not find the tree in the container"; exit 1; }

# The key derivation every new container gets.
wine "$SEAL" "$(winepath -w "$WORK/item/one")" "$password" --default-kdf
reader compare "$WORK/item/one.lock" "$password" "$WORK/expected-one" ||
    { echo "FAILED: the reader does not open a container with the default cost"; exit 1; }

"$PY" - "$WORK/item/Fotos été.lock" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
data[len(data) // 2] ^= 1
open(sys.argv[1], "wb").write(data)
PY
if reader list "$WORK/item/Fotos été.lock" "$password" >/dev/null; then
    echo "FAILED: the reader took a changed container"
    exit 1
fi
echo "passed: the independent reader agrees with the program"

#!/usr/bin/python3
"""An independent reader of authenticated .lock containers (type id 2),
written from docs/container-format.md alone, with Python's own crypto
modules instead of the program's: when the two agree, the page is complete
and the program writes what it says.

  sealed_reader.py list CONTAINER PASSWORD      the records, one a line
  sealed_reader.py compare CONTAINER PASSWORD DIR
        every record equals the item below DIR (the folder that held the
        item when it was locked), and every item below DIR has a record
  sealed_reader.py vectors PAGE                 the page's test vectors hold
"""
import os
import re
import struct
import sys

from argon2.low_level import Type, hash_secret_raw
from cryptography.exceptions import InvalidTag
from cryptography.hazmat.primitives.ciphers.aead import AESGCM

HEADER_BYTES = 70
TAG_BYTES = 16


class Refused(Exception):
    pass


def derive_key(password, salt, memory_kib, passes, lanes):
    return hash_secret_raw(password.encode("utf-8"), salt, time_cost=passes,
                           memory_cost=memory_kib, parallelism=lanes, hash_len=32,
                           type=Type.ID, version=0x13)


def nonce(number, kind):
    return number.to_bytes(8, "big") + bytes(3) + bytes([kind])


def plain_stream(data, password):
    """The records' bytes, every tag checked; Refused says why not."""
    if len(data) < 4 or data[:4] != b"\0\0\0\2":
        raise Refused("not a container of type 2")
    if len(data) < HEADER_BYTES:
        raise Refused("header cut off")
    header = data[:HEADER_BYTES]
    if header[4] != 1 or header[49] != 1:
        raise Refused("unknown key derivation or cipher")
    memory, passes, lanes = struct.unpack(">III", header[5:17])
    salt = header[17:49]
    (segment,) = struct.unpack(">I", header[50:54])
    if not (1 <= lanes <= 16 and 1 <= passes <= 16 and 8 * lanes <= memory <= 524288
            and memory * passes <= 2097152 and 1024 <= segment <= 16777216):
        raise Refused("parameters beyond the limits")
    aes = AESGCM(derive_key(password, salt, memory, passes, lanes))
    try:
        aes.decrypt(nonce(0, 2), header[54:70], header[:54])
    except InvalidTag:
        raise Refused("wrong password")
    rest = data[HEADER_BYTES:]
    stored = segment + TAG_BYTES
    count = -(-len(rest) // stored)
    if count == 0 or len(rest) - (count - 1) * stored < TAG_BYTES:
        raise Refused("changed: the length is no run of segments")
    plain = []
    for k in range(count):
        last = k == count - 1
        try:
            plain.append(aes.decrypt(nonce(k, 1 if last else 0),
                                     rest[k * stored:(k + 1) * stored], header))
        except InvalidTag:
            raise Refused("changed: segment %d" % k)
    return b"".join(plain)


def records(plain):
    """(is_file, folder_path, name, body) for every record."""
    at = 0

    def string():
        nonlocal at
        end = plain.index(b"\0", at)
        if end == at:
            raise Refused("empty string")
        text = plain[at:end].decode("utf-8")
        at = end + 1
        return text

    out = []
    while at < len(plain):
        kind = plain[at]
        at += 1
        folder, name = string(), string()
        if kind == 0:
            out.append((False, folder, name, b""))
            continue
        _time, size = struct.unpack(">qq", plain[at:at + 16])
        at += 16
        if size < 0 or at + size > len(plain):
            raise Refused("bad size")
        out.append((True, folder, name, plain[at:at + size]))
        at += size
    return out


def compare(entries, root):
    seen = set()
    for is_file, folder, name, body in entries:
        parts = [p for p in folder.split("/") if p] + [name]
        path = os.path.join(root, *parts)
        seen.add(os.path.relpath(path, root))
        if is_file:
            with open(path, "rb") as f:
                if f.read() != body:
                    return "%s differs" % path
        elif not os.path.isdir(path):
            return "%s is no folder" % path
    for top, folders, files in os.walk(root):
        for name in folders + files:
            relative = os.path.relpath(os.path.join(top, name), root)
            if relative not in seen:
                return "%s has no record" % relative
    return None


def hex_block(page, before):
    """The hex bytes of the first indented block after the text `before`."""
    lines = page[page.index(before):].splitlines()[1:]
    block = []
    for line in lines:
        if line.startswith("    ") and line.strip():
            block.append(line.strip())
        elif block:
            break
    return bytes.fromhex("".join(block))


def check_vectors(page_path):
    page = open(page_path, encoding="utf-8").read()
    password = re.search(r'password\s+"([^"]*)"', page).group(1)
    salt = bytes.fromhex(re.search(r"salt\s+([0-9a-f ]{64,})\n", page).group(1))
    key = bytes.fromhex(re.search(r"key\s+([0-9a-f ]{64,})\n", page).group(1))
    if derive_key(password, salt, 64, 1, 1) != key:
        return "the key does not follow from password, salt and parameters"
    container = hex_block(page, "A whole container")
    plain = hex_block(page, "Its plain stream")
    if container[17:49] != salt:
        return "the container's salt is not the vector's"
    if plain_stream(container, password) != plain:
        return "the container does not open to its plain stream"
    entries = records(plain)
    if [(f, d, n, b) for f, d, n, b in entries] != [
            (False, "/", "docs", b""), (True, "/docs", "hi.txt", b"Hello\n")]:
        return "the plain stream does not hold the records the page names"
    return None


def main(argv):
    try:
        if argv[1] == "list":
            for is_file, folder, name, body in records(
                    plain_stream(open(argv[2], "rb").read(), argv[3])):
                print("%s %s %s %d" % ("file" if is_file else "folder", folder, name, len(body)))
            return 0
        if argv[1] == "compare":
            problem = compare(records(plain_stream(open(argv[2], "rb").read(), argv[3])),
                              argv[4])
        elif argv[1] == "vectors":
            problem = check_vectors(argv[2])
        else:
            print(__doc__)
            return 2
    except Refused as refused:
        problem = "refused: %s" % refused
    if problem:
        print(problem)
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

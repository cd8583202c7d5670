#!/usr/bin/env python3
"""Writes the release zip and its checksums:
usage make-package.py EXE README LICENSE ZIP SUMS

The zip holds cyclowis.exe, README.txt and LICENSE.txt, in that order, with no folder. The two
texts get Windows line endings. Nothing of the build machine reaches the zip: every entry carries
the same fixed time and permissions, no owner and no extra fields, and is stored uncompressed, so
that the bytes do not hang on the zlib at hand either. SUMS lists the SHA-256 of the zip and of
the executable, in the form that `sha256sum -c` reads.
"""
import hashlib
import os
import sys
import zipfile

# Every entry's time (a zip stores local time without a zone: this is what every unzip shows).
ENTRY_TIME = (2026, 1, 1, 0, 0, 0)
# Every entry's permissions as a Unix unzip applies them: a plain file, rw-r--r--.
ENTRY_MODE = 0o100644
UNIX = 3


def fail(message):
    sys.exit("make-package: " + message)


def windows_text(path):
    """The text with CRLF line endings; the texts are plain ASCII for every Windows editor."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        data.decode("ascii")
    except UnicodeDecodeError as e:
        fail(f"{path}: not plain ASCII at byte {e.start}")
    lines = data.replace(b"\r\n", b"\n").split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    return b"".join(line + b"\r\n" for line in lines)


def write_zip(path, entries):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, ENTRY_TIME)
            info.create_system = UNIX
            info.external_attr = ENTRY_MODE << 16
            info.compress_type = zipfile.ZIP_STORED
            z.writestr(info, data)


def main():
    if len(sys.argv) != 6:
        fail("usage: make-package.py EXE README LICENSE ZIP SUMS")
    exe, readme, licence, zip_path, sums_path = sys.argv[1:]
    with open(exe, "rb") as f:
        exe_data = f.read()
    entries = [
        ("cyclowis.exe", exe_data),
        ("README.txt", windows_text(readme)),
        ("LICENSE.txt", windows_text(licence)),
    ]
    # Written under another name first: an interrupted run leaves no zip that looks complete.
    partial = zip_path + ".partial"
    write_zip(partial, entries)
    os.replace(partial, zip_path)

    sums = []
    for path in (zip_path, exe):
        with open(path, "rb") as f:
            sums.append(f"{hashlib.sha256(f.read()).hexdigest()}  {os.path.basename(path)}\n")
    with open(sums_path, "w", newline="\n") as f:
        f.writelines(sums)


if __name__ == "__main__":
    main()

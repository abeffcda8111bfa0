#!/usr/bin/env python3
"""Writes the release archives into DIST (`make release`, after the win32, win64 and web builds):

  brackenfold-win32.zip   the 32-bit brackenfold.exe, brackenfold.nfo, file_id.diz
  brackenfold-win64.zip   the same with the 64-bit program
  brackenfold-web.zip     the page, its script, its WebAssembly module and icon, the NFO and diz
  brackenfold-src.tar.gz  the source tree at the checked-out commit (git archive)
  SHA256SUMS              the archives' digests

The same commit gives the same bytes: every entry carries the commit's time, entries are sorted,
file attributes are fixed, gzip records no name and the commit's time. The version is CMake's
project version, read from the 32-bit build's cache. A program that holds the path of the tree it
was built in stops the release.

usage: release.py DIST
"""

import gzip
import hashlib
import io
import os
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def fail(message):
    print("release: " + message, file=sys.stderr)
    sys.exit(1)


def git(*args):
    return subprocess.run(["git", "-C", ROOT] + list(args), check=True, capture_output=True).stdout


def project_version(build):
    cache = os.path.join(ROOT, build, "CMakeCache.txt")
    try:
        with open(cache) as f:
            for line in f:
                if line.startswith("CMAKE_PROJECT_VERSION:"):
                    return line.split("=", 1)[1].strip()
    except OSError:
        pass
    fail("no project version in %s (make windows first)" % cache)


def read(path):
    try:
        with open(os.path.join(ROOT, path), "rb") as f:
            return f.read()
    except OSError:
        fail("%s is missing" % path)


def write_zip(path, entries, stamp):
    """entries: {name in the archive: bytes}; written sorted, with the commit's time."""
    date_time = time.gmtime(stamp)[:6]
    with zipfile.ZipFile(path, "w") as archive:
        for name in sorted(entries):
            info = zipfile.ZipInfo(name, date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            # Unix permissions, fixed: readable by everyone, the programs executable (unzip on
            # Linux would otherwise make files only their owner can read).
            info.create_system = 3
            mode = 0o100755 if name.endswith(".exe") else 0o100644
            info.external_attr = mode << 16
            archive.writestr(info, entries[name], compresslevel=9)


def main():
    if len(sys.argv) != 2:
        fail("usage: release.py DIST")
    dist = sys.argv[1]
    os.makedirs(dist, exist_ok=True)
    version = project_version("build-win32")
    stamp = int(git("log", "-1", "--format=%ct", "HEAD").decode())
    if git("status", "--porcelain", "--untracked-files=no").strip():
        print("release: warning: the work tree has changes; the programs hold them, the source archive does not",
              file=sys.stderr)

    texts = {"brackenfold.nfo": "release/brackenfold.nfo", "file_id.diz": "release/file_id.diz"}
    archives = {
        "brackenfold-win32.zip": ("build-win32", {"brackenfold.exe": "bin/brackenfold.exe"}),
        "brackenfold-win64.zip": ("build-win64", {"brackenfold.exe": "bin/brackenfold.exe"}),
        "brackenfold-web.zip": ("build-web", {name: name for name in
                                              ("brackenfold.html", "brackenfold.js", "brackenfold.wasm",
                                               "brackenfold.ico")}),
    }
    needle = ROOT.encode()
    for name, (build, files) in archives.items():
        entries = {}
        for entry, path in list(files.items()) + list(texts.items()):
            data = read(os.path.join(build, path))
            if needle in data:
                fail("%s/%s holds the build's path %s" % (build, path, ROOT))
            entries[entry] = data
        write_zip(os.path.join(dist, name), entries, stamp)

    prefix = "brackenfold-%s/" % version
    tar = git("archive", "--format=tar", "--prefix=" + prefix, "HEAD")
    packed = io.BytesIO()
    with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=packed, mtime=stamp) as z:
        z.write(tar)
    with open(os.path.join(dist, "brackenfold-src.tar.gz"), "wb") as f:
        f.write(packed.getvalue())

    names = sorted(list(archives) + ["brackenfold-src.tar.gz"])
    sums = ""
    for name in names:
        with open(os.path.join(dist, name), "rb") as f:
            data = f.read()
        sums += "%s  %s\n" % (hashlib.sha256(data).hexdigest(), name)
        print("release: %s/%s, %d bytes" % (dist, name, len(data)))
    with open(os.path.join(dist, "SHA256SUMS"), "w") as f:
        f.write(sums)
    print("release: version %s, commit %s" % (version, git("rev-parse", "--short", "HEAD").decode().strip()))


if __name__ == "__main__":
    main()

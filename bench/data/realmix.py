#!/usr/bin/env python3
"""A mix of real files for the benchmarks, collected from what Debian ships on this machine.

Usage: realmix.py OUT SIZE_MIB [SEED] [--tree]

Writes SIZE_MIB MiB to OUT: files of five kinds, each kind taking its share of the bytes, in an
order fixed by SEED; a file is cut where the size is reached. Without --tree OUT is one file (the
files one after the other, as a mailbox holds its messages and attachments); with --tree OUT is a
folder of the files. The same machine, size and seed give the same bytes: the files are taken in
sorted order before the seeded shuffle (installing or removing packages changes the mix; the
SHA-256 printed at the end tells two runs apart). A kind with fewer bytes than its share is
taken again from its start.
"""
import hashlib
import os
import random
import sys

ROOTS = ["/usr/share/doc", "/usr/share/man", "/usr/share/icons", "/usr/share/pixmaps",
         "/usr/share/locale", "/usr/share/fonts", "/usr/share/javascript", "/usr/share/X11",
         "/usr/share/common-licenses", "/usr/share/wine", "/usr/lib/python3", "/var/cache/apt/archives"]

# kind: (share of the bytes, file name endings)
KINDS = {
    "text": (0.30, (".txt", ".py", ".md", ".rst", ".c", ".h", ".js", ".css", ".pl", ".pm", ".sh",
                    "copyright", "readme", "changelog", "news", "authors")),
    "markup": (0.14, (".html", ".htm", ".xml", ".svg", ".xhtml")),
    "documents": (0.12, (".pdf", ".mo", ".ttf", ".otf", ".odt", ".ods", ".docx", ".xlsx", ".ps")),
    "images": (0.14, (".png", ".jpg", ".jpeg", ".gif", ".bmp", ".ico", ".xpm")),
    "compressed": (0.30, (".gz", ".xz", ".bz2", ".zip", ".jar", ".deb", ".zst")),
}


def kind_of(name):
    lower = name.lower()
    for kind, (_, endings) in KINDS.items():
        if lower.endswith(endings):
            return kind
    return None


def collect():
    files = {kind: [] for kind in KINDS}
    for root in ROOTS:
        for folder, dirs, names in os.walk(root):
            dirs.sort()
            for name in sorted(names):
                path = os.path.join(folder, name)
                kind = kind_of(name)
                if kind is None or os.path.islink(path) or not os.path.isfile(path):
                    continue
                try:
                    size = os.path.getsize(path)
                except OSError:
                    continue
                if size > 0 and os.access(path, os.R_OK):
                    files[kind].append((path, size))
    return files


def main():
    args = [a for a in sys.argv[1:] if a != "--tree"]
    tree = "--tree" in sys.argv[1:]
    if len(args) not in (2, 3):
        sys.exit(__doc__)
    out, total = args[0], int(args[1]) * 1048576
    seed = int(args[2]) if len(args) == 3 else 1
    rng = random.Random(seed)
    files = collect()
    for kind in KINDS:
        if not files[kind]:
            sys.exit(f"no {kind} files found under {', '.join(ROOTS)}")
        rng.shuffle(files[kind])
    want = {kind: int(total * share) for kind, (share, _) in KINDS.items()}
    want["text"] += total - sum(want.values())
    taken = {kind: 0 for kind in KINDS}
    nextIndex = {kind: 0 for kind in KINDS}
    digest = hashlib.sha256()
    written = 0
    count = 0
    sink = None
    if tree:
        os.makedirs(out, exist_ok=True)
    else:
        sink = open(out, "wb")
    while written < total:
        # The kind furthest behind its share comes next, so the kinds stay mixed all along.
        kind = min((k for k in KINDS if taken[k] < want[k]), key=lambda k: taken[k] / want[k])
        path, _ = files[kind][nextIndex[kind] % len(files[kind])]
        nextIndex[kind] += 1
        try:
            with open(path, "rb") as f:
                data = f.read(min(want[kind] - taken[kind], total - written))
        except OSError:
            continue
        if not data:
            continue
        digest.update(data)
        if tree:
            with open(os.path.join(out, f"{count:06d}-{os.path.basename(path)}"), "wb") as f:
                f.write(data)
        else:
            sink.write(data)
        taken[kind] += len(data)
        written += len(data)
        count += 1
    if sink:
        sink.close()
    shares = ", ".join(f"{k} {100 * taken[k] / total:.0f} %" for k in KINDS)
    print(f"real-file mix: {written} bytes from {count} files ({shares}), seed {seed}, "
          f"sha256 {digest.hexdigest()[:16]}", file=sys.stderr)


if __name__ == "__main__":
    main()

"""The header reader against a small model of its rules written from the file
format alone: random files (elements in random order, tags hidden in the
preamble and inside values, lengths that lie, values with odd bytes, files cut
short) go through `vesmora-cli header`, and the log it writes must equal the
model's log byte for byte (with the exit status: 0 read, 1 refused). Past the nine
the walk goes on silently to the pixel data for the rescale elements (VR DS), whose
values close the log."""
import os
import random
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

import numpy as np

CLI = sys.argv[1]
f32 = np.float32

RESCALE = (b"\x28\x00\x52\x10", b"\x28\x00\x53\x10")
FRAMES, SPACING, SLICE = b"\x28\x00\x08\x00", b"\x28\x00\x30\x00", b"\x18\x00\x50\x00"
NAME, SEX, BIRTH = b"\x10\x00\x10\x00", b"\x10\x00\x40\x00", b"\x10\x00\x30\x00"
AGE, ACQ = b"\x10\x00\x10\x10", b"\x08\x00\x22\x00"
ROWS, COLS, PIXELS = b"\x28\x00\x10\x00", b"\x28\x00\x11\x00", b"\xe0\x7f\x10\x00"
NINE = (FRAMES, SPACING, SLICE, NAME, SEX, BIRTH, ACQ, ROWS, COLS)
P = (8, 9, 7, 5, 6, 4, 0, 1, 2, 3)


def filtered(value, mode, keep):
    out = ""
    for i, c in enumerate(value):
        if mode == 1 and i in (4, 6):
            out += "/"
        ch = chr(c)
        if ch == "-" or ch == " ":
            out += ch
        elif ch == "0":
            out += "0" if keep else ""
        elif "1" <= ch <= "9":
            out += ch
            keep = True
        elif "A" <= ch <= "Z":
            out += "" if (mode == 2 and ch == "Y") else ch
        elif "a" <= ch <= "z":
            out += ch
        elif ch == "^":
            out += " "
    return out


def date(text):
    # DD/MM/YYYY from YYYY/MM/DD; a short text keeps what it has, a long one its tail.
    if len(text) >= 10:
        return "".join(text[p] for p in P) + text[10:]
    return "".join(text[p] for p in P if p < len(text))


def voxel(value):
    total, k = f32(0), 0
    for c in value:
        if k == 4:
            break
        if 0x31 <= c <= 0x39 or (c == 0x30 and k > 0):
            total = f32(total + f32(c - 0x30) * f32(10 ** (3 - k)))
            k += 1
    return total


def frames(value):
    n = 0
    for c in value:
        if c != 0x20:
            n = min(n * 10 + (c - 0x30 if 0x30 <= c <= 0x39 else 0), 2**31 - 1)
    return n


def model(b):
    """(exit status, log) of the header reader on bytes b."""
    if b[128:132] != b"DICM":
        return 1, "No Dcm\n\n"
    log = "\nLoading DCM infos ...\n\n"
    seen, done, p, rescale = set(), False, 0, {}
    u16 = lambda q: (b[q] if q < len(b) else 0) | ((b[q + 1] if q + 1 < len(b) else 0) << 8)
    while p + 4 <= len(b):
        tag = b[p:p + 4]
        length = u16(p + 6)
        value = b[p + 8:p + 8 + length]
        if tag == PIXELS:
            if not done:
                log += "\n Pixel Data Found ..."
            break
        if tag in RESCALE and b[p + 4:p + 6] == b"DS" and p + 8 <= len(b) and tag not in rescale:
            text = bytes(c for c in value if c >= 0x20 and c != 0x7F and not 0x80 <= c < 0xA0)
            rescale[tag] = text.strip(b" ")[:31].decode("latin-1")
        if done:
            p += 1
            continue
        if tag in (FRAMES, SPACING, SLICE, NAME, SEX, BIRTH, AGE, ACQ, ROWS, COLS) and tag not in seen:
            seen.add(tag)
            if tag == FRAMES:
                log += "\n FRAMES : %d" % frames(value)
            elif tag == SPACING:
                h = length // 2
                a = voxel(b[p + 8:p + 8 + h]) / f32(10000)
                c = voxel(b[p + 8 + h:p + 8 + 2 * h]) / f32(10000)
                log += "\n VOXEL : %2.7f  -  %2.7f" % (a, c)
            elif tag == SLICE:
                log += "\n SLICE : %2.7f" % (voxel(value) / f32(10000))
            elif tag == NAME:
                log += "\n PAT name : " + filtered(value, 0, True)[:99]
            elif tag == SEX:
                log += "\n PAT sex : " + filtered(value, 0, True)[:3]
            elif tag == BIRTH:
                log += "\n PAT date : " + date(filtered(value, 1, True)[:19])
            elif tag == AGE:
                log += "\n PAT age : " + filtered(value, 2, False)
            elif tag == ACQ:
                log += "\n ACQ date : " + date(filtered(value, 1, True))
            elif tag == ROWS:
                log += "\n Or Im Size H : %d" % u16(p + 8)
            else:
                log += "\n Or Im Size V : %d" % u16(p + 8)
        if all(t in seen for t in NINE):
            done = True
        p += 1
    if rescale:
        log += "\n RESCALE : slope %s  -  intercept %s" % (rescale.get(RESCALE[1], "1"), rescale.get(RESCALE[0], "0"))
    return 0, log + "\n-----------------------\n\n"


def random_value(rng):
    pool = b"0123456789.\\^- ABYZaxyz\x00\xe9/"
    n = rng.choice([0, 1, 2, 4, 7, 8, 9, 10, 12, 16, 25, 120])
    return bytes(rng.choice(pool) for _ in range(n))


def random_file(rng):
    tags = [FRAMES, SPACING, SLICE, NAME, SEX, BIRTH, AGE, ACQ, ROWS, COLS] * 2 + [b"\x08\x00\x60\x00"] * 3
    if rng.random() < 0.3:
        tags.append(rng.choice(RESCALE))
    if rng.random() < 0.5:
        tags.append(PIXELS)
    rng.shuffle(tags)
    body = b""
    for t in tags[: rng.randrange(3, len(tags) + 1)]:
        value = random_value(rng)
        if t in (ROWS, COLS) and rng.random() < 0.7:
            value = rng.randrange(65536).to_bytes(2, "little")
        length = len(value) if rng.random() < 0.85 else rng.randrange(65536)
        vr = b"DS" if t in RESCALE and rng.random() < 0.7 else b"XX"
        element = t + vr + length.to_bytes(2, "little") + value
        if rng.random() < 0.1 and body:  # the element hidden inside the previous value
            body = body[:-1] + element
        else:
            body += element
    preamble = bytearray(128)
    if rng.random() < 0.2:  # a tag in the preamble, at any offset
        hidden = rng.choice([NAME, SEX, FRAMES]) + b"XX\x02\x00" + b"Q7"
        at = rng.randrange(0, 128 - len(hidden))
        preamble[at:at + len(hidden)] = hidden
    data = bytes(preamble) + (b"DICM" if rng.random() < 0.95 else b"DICN") + body
    if rng.random() < 0.3:
        data = data[: rng.randrange(120, len(data) + 1)]
    return data


def main():
    rng = random.Random(2026)
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        def one(n):
            data = random_file(rng_n[n])
            folder = os.path.join(tmp, str(n))
            os.mkdir(folder)
            path = os.path.join(folder, "f.dcm")
            with open(path, "wb") as f:
                f.write(data)
            proc = subprocess.run([CLI, "header", path, "--app-folder", folder], capture_output=True, timeout=60)
            got = open(os.path.join(folder, "log.txt"), "rb").read().decode("latin-1")
            status, want = model(data)
            if proc.returncode != status or got != want:
                failures.append(f"file {n} ({data!r}): status {proc.returncode} (model {status})\n"
                                f"log   {got!r}\nmodel {want!r}")

        rng_n = [random.Random(rng.random()) for _ in range(80)]
        with ThreadPoolExecutor(max_workers=2) as pool:
            list(pool.map(one, range(len(rng_n))))
    if failures:
        print("\n\n".join(failures[:5]))
        print(f"{len(failures)} of {len(rng_n)} files differ from the model")
        return 1
    print(f"{len(rng_n)} random files: the header reader's log equals the model's")
    return 0


if __name__ == "__main__":
    sys.exit(main())

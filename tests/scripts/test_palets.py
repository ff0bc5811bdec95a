#!/usr/bin/python3
"""The palette generator still makes the committed palette file and its built-in copy.

Arguments: path of vesmora-cli, source folder, binary folder.
"""
import os
import subprocess
import sys
import tempfile


def main():
    source = sys.argv[2]
    with tempfile.TemporaryDirectory() as root:
        os.makedirs(os.path.join(root, "data"))
        os.makedirs(os.path.join(root, "src"))
        subprocess.run([sys.executable, "-W", "ignore", os.path.join(source, "tools", "make_palets.py"), root],
                       check=True)
        for rel in ("data/PALETS", "src/palets_builtin.inc"):
            with open(os.path.join(root, rel), "rb") as f:
                made = f.read()
            with open(os.path.join(source, rel), "rb") as f:
                committed = f.read()
            if made != committed:
                print("FAIL: %s differs from what tools/make_palets.py makes" % rel)
                return 1
        if len(made) == 0:
            return 1
    # The committed file has the size the program reads, and the copy beside the tool is it.
    with open(os.path.join(source, "data", "PALETS"), "rb") as f:
        palets = f.read()
    if len(palets) != 4848:
        print("FAIL: data/PALETS has %d bytes" % len(palets))
        return 1
    beside = os.path.join(os.path.dirname(sys.argv[1]), "PALETS")
    with open(beside, "rb") as f:
        if f.read() != palets:
            print("FAIL: %s is not data/PALETS" % beside)
            return 1
    print("ok: generator, data/PALETS, built-in copy and the copy beside vesmora-cli agree")
    return 0


if __name__ == "__main__":
    sys.exit(main())

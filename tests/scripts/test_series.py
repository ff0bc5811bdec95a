#!/usr/bin/env python3
"""A series stored one frame per file (a sample study split by pydicom, shuffled names): opening any of
its files reads the same volume and gives the same results as the multi-frame file, ordered by position or,
without one, by Instance Number; a series with a missing or doubled slice or with mixed image sizes is
refused by a box naming the file. Exits 77 (skipped)
without pydicom."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

try:
    import pydicom
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from split_series import split
except ImportError:
    print("pydicom is missing: skipped")
    sys.exit(77)

CLI = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "vesmora-cli")
SOURCE = sys.argv[2] if len(sys.argv) > 2 else "."
BINARY = sys.argv[3] if len(sys.argv) > 3 else os.path.join(SOURCE, "build", "default")
STUDY = os.path.abspath(os.path.join(BINARY, "samples", "normal-64.dcm"))


def cli(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=300)


def volume(path, work):
    """The volume the program reads from `path` (the `data` block, raw)."""
    script = os.path.join(work, "open.replay")
    out = os.path.join(work, "data.raw")
    with open(script, "w") as f:
        f.write(f"open {path}\ndump data {out}\ndump ui {out}.ui\n")
    r = cli("replay", script)
    assert r.returncode == 0, r.stderr
    with open(out, "rb") as f:
        return f.read()


def analysed(path):
    r = cli("analyze", path, "--json", "-")
    assert r.returncode == 0, r.stderr
    record = json.loads(r.stdout)
    return [(s["percent"], s["score"]) for s in record["segments"]], record["summed_score"]


class Series(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = os.path.join(self.tmp.name, "serie")
        self.names = split(STUDY, self.dir)

    def tearDown(self):
        self.tmp.cleanup()

    def file(self, k):
        return os.path.join(self.dir, self.names[k])

    def test_any_file_of_the_series_reads_as_the_multiframe_study(self):
        whole = volume(STUDY, self.tmp.name)
        self.assertEqual(len(whole), 256 ** 3 * 4)
        for k in (0, 37):  # the first slice and one in the middle, under shuffled names
            self.assertEqual(volume(self.file(k), self.tmp.name), whole, self.names[k])
        with open(os.path.join(self.tmp.name, "data.raw.ui"), encoding="utf-8") as f:
            self.assertIn(self.names[37], f.read())  # the caption names the file opened
        self.assertEqual(analysed(self.file(5)), analysed(STUDY))
        # Without positions the Instance Numbers give the order.
        for name in self.names:
            ds = pydicom.dcmread(os.path.join(self.dir, name))
            del ds.ImagePositionPatient
            ds.save_as(os.path.join(self.dir, name))
        self.assertEqual(volume(self.file(11), self.tmp.name), whole)

    def test_a_gap_a_double_or_mixed_sizes_are_refused_naming_the_file(self):
        os.remove(self.file(20))
        r = cli("load", self.file(3))
        self.assertEqual(r.returncode, 1, r.stdout)
        self.assertIn("il manque des coupes entre", r.stdout)
        self.assertIn(self.names[19], r.stdout)
        self.assertIn(self.names[21], r.stdout)
        self.assertIn("Max data", cli("load", STUDY).stdout)  # the whole study still reads

        split(STUDY, self.dir)  # whole again; then a slice twice at one position
        twice = pydicom.dcmread(self.file(8))
        twice.SOPInstanceUID = pydicom.uid.generate_uid()
        twice.save_as(os.path.join(self.dir, "COPY"))
        r = cli("load", self.file(0))
        self.assertEqual(r.returncode, 1, r.stdout)
        self.assertIn("à la même position", r.stdout)
        self.assertIn("COPY", r.stdout)
        os.remove(os.path.join(self.dir, "COPY"))

        # One slice of another size.
        odd = pydicom.dcmread(self.file(30))
        odd.Rows = odd.Columns = 32
        odd.PixelData = odd.PixelData[:32 * 32 * 2]
        odd.save_as(self.file(30))
        r = cli("load", self.file(0))
        self.assertEqual(r.returncode, 1, r.stdout)
        self.assertIn("Tailles d'image mélangées", r.stdout)
        self.assertIn(self.names[30] + " a des images de 32 x 32", r.stdout)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])

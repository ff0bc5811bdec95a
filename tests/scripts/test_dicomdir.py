#!/usr/bin/env python3
"""A CD made at test time with dcmmkdir: a series stored one frame per file and a multi-frame study.
`analyze CD/DICOMDIR` analyses each of its NM series as if given alone; the replay's chooser opens
the series asked for; a DICOMDIR naming a missing file says which, one pointing out of its folder is
refused. Exits 77 (skipped) without pydicom or dcmmkdir."""
import json
import os
import warnings
import shutil
import subprocess
import sys
import tempfile
import unittest

DCMMKDIR = shutil.which("dcmmkdir")
try:
    import pydicom
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from split_series import split
except ImportError:
    DCMMKDIR = None
if DCMMKDIR is None:
    print("pydicom or dcmmkdir (dcmtk) is missing: skipped")
    sys.exit(77)

warnings.simplefilter("ignore")  # pydicom's words on the DICOMDIR class and on the "..", written on purpose
CLI = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "vesmora-cli")
SOURCE = sys.argv[2] if len(sys.argv) > 2 else "."
BINARY = sys.argv[3] if len(sys.argv) > 3 else os.path.join(SOURCE, "build", "default")
SAMPLES = os.path.abspath(os.path.join(BINARY, "samples"))


def cli(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=300)


def summed(path):
    r = cli("analyze", path, "--json", "-")
    assert r.returncode == 0, r.stderr
    return json.loads(r.stdout)["summed_score"]


class Dicomdir(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.cd = os.path.join(self.tmp.name, "cd")
        self.names = split(os.path.join(SAMPLES, "normal-64.dcm"), os.path.join(self.cd, "DICOM", "S1"))
        os.makedirs(os.path.join(self.cd, "DICOM", "S2"))
        shutil.copy(os.path.join(SAMPLES, "lad-64.dcm"), os.path.join(self.cd, "DICOM", "S2", "IM0001"))
        r = subprocess.run([DCMMKDIR, "--recurse", "--output-file", "DICOMDIR", "DICOM"], cwd=self.cd,
                           capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.dicomdir = os.path.join(self.cd, "DICOMDIR")

    def tearDown(self):
        self.tmp.cleanup()

    def test_each_nm_series_is_analysed_and_the_chosen_one_opened(self):
        r = cli("analyze", self.dicomdir, "--json", "-", "--png", os.path.join(self.tmp.name, "png"))
        self.assertEqual(r.returncode, 0, r.stderr)
        records = json.loads(r.stdout)
        self.assertEqual([rec["series"] for rec in records], [1, 2])
        # dcmmkdir lists the series as it met them; each record equals its study given alone.
        alone = {summed(os.path.join(SAMPLES, "normal-64.dcm")), summed(os.path.join(SAMPLES, "lad-64.dcm"))}
        self.assertEqual({rec["summed_score"] for rec in records}, alone)
        self.assertEqual(len({rec["summed_score"] for rec in records}), 2)
        pngs = sorted(os.listdir(os.path.join(self.tmp.name, "png")))
        self.assertTrue(any(p.startswith("cd-serie1") for p in pngs) and any(p.startswith("cd-serie2") for p in pngs),
                        pngs)
        # The replay's chooser: the chooser lists both series, "choose 2" opens the second one.
        script = os.path.join(self.tmp.name, "cd.replay")
        ui = os.path.join(self.tmp.name, "ui.txt")
        with open(script, "w") as f:
            f.write(f"choose 2\nopen {self.dicomdir}\ndump ui {ui}\n")
        self.assertEqual(cli("replay", script).returncode, 0)
        with open(ui, encoding="utf-8") as f:
            shown = f.read()
        patients = [str(r.PatientName) for r in pydicom.dcmread(self.dicomdir).DirectoryRecordSequence
                    if r.DirectoryRecordType == "PATIENT"]  # one series each, in the directory's order
        self.assertIn(patients[1].replace("^", " "), shown)
        self.assertNotIn(patients[0].replace("^", " "), shown)
        self.assertIn("DICOMDIR", shown)  # the caption names the file the user opened

    def test_a_missing_file_is_named_and_a_way_out_of_the_folder_refused(self):
        os.remove(os.path.join(self.cd, "DICOM", "S1", self.names[10]))
        r = cli("analyze", self.dicomdir, "--json", "-")
        self.assertEqual(r.returncode, 3, r.stderr)  # one series refused, the other analysed
        self.assertIn("DICOM\\S1\\" + self.names[10], r.stderr)
        self.assertEqual(len(json.loads(r.stdout)), 1)

        d = pydicom.dcmread(self.dicomdir)
        d.DirectoryRecordSequence[-1].ReferencedFileID = ["..", "..", "etc", "passwd"]
        d.save_as(self.dicomdir)
        r = cli("load", self.dicomdir)
        self.assertEqual(r.returncode, 1, r.stdout)
        self.assertIn("hors de son dossier", r.stdout)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])

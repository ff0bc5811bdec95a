#!/usr/bin/python3
"""The DICOM objects of a study's results (a Secondary Capture of the page, a Comprehensive SR of
the segments), written by write-dicom-objects from the RCA sample study and read back by readers
that share nothing with the writer: dcmdump, dsrdump and pydicom.

Arguments (from CTest): path of vesmora-cli, source dir, binary dir.
"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

import numpy as np
import pydicom

CLI, SOURCE_DIR, BINARY_DIR = sys.argv[1:4] if len(sys.argv) >= 4 else (None, None, None)
IDENTIFIERS = ("PatientName", "PatientID", "PatientBirthDate", "PatientSex", "StudyInstanceUID", "StudyDate",
               "StudyTime", "AccessionNumber", "ReferringPhysicianName", "StudyID")
RCA = {3, 4, 9, 10, 15}


def content(item, path=()):
    """The SR content tree as {("SEGMENTS", "SEG3", "UPTAKE"): value}: TEXT as str, NUM as str."""
    out = {}
    for child in getattr(item, "ContentSequence", []):
        here = path + (child.ConceptNameCodeSequence[0].CodeValue,)
        if child.ValueType == "TEXT":
            out[here] = child.TextValue
        elif child.ValueType == "NUM":
            out[here] = str(child.MeasuredValueSequence[0].NumericValue)
        out.update(content(child, here))
    return out


class DicomObjects(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.source = os.path.join(BINARY_DIR, "samples", "rca-64.dcm")
        tool = os.path.join(BINARY_DIR, "tests", "write-dicom-objects")
        run = subprocess.run([tool, cls.source, cls.tmp.name], capture_output=True, text=True, timeout=120)
        assert run.returncode == 0, run.stderr
        cls.segments = {}
        for line in run.stdout.splitlines():
            words = line.split()
            if words[0] == "segment":
                cls.segments[int(words[1])] = (np.float32(words[2]), int(words[3]))
            elif words[0] == "summed":
                cls.summed = int(words[1])
            elif words[0] == "size":
                cls.width, cls.height = int(words[1]), int(words[2])
        cls.sc = os.path.join(cls.tmp.name, "sc.dcm")
        cls.sr = os.path.join(cls.tmp.name, "sr.dcm")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def dump(self, *args):
        run = subprocess.run(list(args), capture_output=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        return run.stdout.decode("latin-1")

    def test_both_objects_join_the_study_of_the_analysed_file_in_series_of_their_own(self):
        source = pydicom.dcmread(self.source, stop_before_pixels=True)
        sc, sr = pydicom.dcmread(self.sc), pydicom.dcmread(self.sr)
        for name in IDENTIFIERS:
            with self.subTest(name=name):
                self.assertIn(name, sc)
                self.assertIn(name, sr)
                self.assertEqual(str(sc.get(name)), str(source.get(name)))
                self.assertEqual(str(sr.get(name)), str(source.get(name)))
        self.assertEqual(len({source.SeriesInstanceUID, sc.SeriesInstanceUID, sr.SeriesInstanceUID}), 3)
        for ds in (sc, sr):
            self.assertEqual(ds.file_meta.TransferSyntaxUID, pydicom.uid.ExplicitVRLittleEndian)
            self.assertEqual(ds.file_meta.MediaStorageSOPInstanceUID, ds.SOPInstanceUID)
            self.assertEqual(ds.SpecificCharacterSet, "ISO_IR 100")

    def test_secondary_capture_holds_the_page_as_rgb(self):
        dump = self.dump("dcmdump", "+P", "0008,0016", "+P", "0008,0060", "+P", "0008,0064", "+P", "0028,0004",
                         "+P", "0028,0006", "+P", "0008,103e", self.sc)
        for expected in ("=SecondaryCaptureImageStorage", "[OT]", "[WSD]", "[RGB]", "US 0", "[Vesmora - rapport]"):
            self.assertIn(expected, dump)
        sc = pydicom.dcmread(self.sc)
        self.assertEqual((sc.Rows, sc.Columns, sc.SamplesPerPixel, sc.BitsAllocated), (self.height, self.width, 3, 8))
        with open(os.path.join(self.tmp.name, "page.rgb"), "rb") as f:
            page = np.frombuffer(f.read(), np.uint8).reshape(self.height, self.width, 3)
        self.assertTrue(np.array_equal(sc.pixel_array, page))
        self.assertGreater(len(np.unique(page.reshape(-1, 3), axis=0)), 10)  # a drawn picture, not a blank

    def test_structured_report_holds_the_programs_17_values_and_its_summary(self):
        dump = self.dump("dsrdump", "+Pc", self.sr)
        self.assertTrue(dump.startswith("Comprehensive SR Document"))
        self.assertRegex(dump, r"Completion Flag\s+: COMPLETE")
        self.assertRegex(dump, r"Verification Flag\s+: UNVERIFIED")
        self.assertIn('(122602,DCM,"Myocardial Perfusion Analysis")', dump)
        self.assertEqual(len(re.findall(r'\(UPTAKE,99VESMORA,"Fixation relative"\)="[0-9.]+" \(%,UCUM,"%"\)', dump)), 17)
        self.assertIn('(SUMMED-SCORE,99VESMORA,"Score somm\xe9")="%d"' % self.summed, dump)

        sr = pydicom.dcmread(self.sr)
        self.assertEqual(sr.SOPClassUID, "1.2.840.10008.5.1.4.1.1.88.33")
        self.assertEqual(sr.Modality, "SR")
        items = content(sr)
        for n, (percent, score) in self.segments.items():
            with self.subTest(segment=n):
                self.assertEqual(np.float32(items[("SEGMENTS", "SEG%d" % n, "UPTAKE")]), percent)
                self.assertEqual(int(items[("SEGMENTS", "SEG%d" % n, "SCORE")]), score)
                self.assertEqual(items[("SEGMENTS", "SEG%d" % n, "TERRITORY")] == "RCA", n in RCA)
        self.assertEqual(len(self.segments), 17)
        self.assertEqual(items[("SEGMENTS", "SEG1", "NAME-FR")], "Ant\u00e9rieur basal")  # decoded from ISO_IR 100
        self.assertEqual(items[("SEGMENTS", "SEG9", "NAME-EN")], "Mid inferoseptal")
        self.assertEqual(int(items[("SUMMED-SCORE",)]), self.summed)
        band = ["normal", "l\u00e9g\u00e8rement anormal", "mod\u00e9r\u00e9ment anormal", "s\u00e9v\u00e8rement anormal"]
        self.assertEqual(items[("SEVERITY",)], band[(self.summed > 3) + (self.summed > 8) + (self.summed > 13)])
        self.assertAlmostEqual(float(items[("ABNORMAL",)]), self.summed / 68 * 100, places=5)
        # The RCA defect lands in its own territory.
        territory = {t: int(items[("TERRITORIES", t, "SUMMED-SCORE")]) for t in ("LAD", "RCA", "LCx")}
        self.assertEqual(max(territory, key=territory.get), "RCA")
        self.assertEqual(sum(territory.values()), self.summed)


if __name__ == "__main__":
    if CLI is None:
        sys.exit("usage: test_dicom_objects.py VESMORA_CLI SOURCE_DIR BINARY_DIR")
    unittest.main(argv=[sys.argv[0], "-v"])

#!/usr/bin/python3
"""The sample studies that the build writes into samples/ of the build tree, read back by independent
readers (pydicom, dcmdump), and the phantom seen through the program's loading rule.

Arguments (from CTest): path of vesmora-cli, source dir, binary dir.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest

import numpy as np
import pydicom

CLI, SOURCE_DIR, BINARY_DIR = sys.argv[1:4] if len(sys.argv) >= 4 else (None, None, None)

# name: (matrix, territory with a 50 % defect or None)
SAMPLES = {
    "normal-64": (64, None), "lad-64": (64, "lad"), "lcx-64": (64, "lcx"), "rca-64": (64, "rca"),
    "normal-128": (128, None), "lad-128": (128, "lad"), "lcx-128": (128, "lcx"), "rca-128": (128, "rca"),
}
SPACING = {64: "4.7952", 128: "2.3976"}

# The phantom's model in volume voxels after loading (README, "Sample studies").
CENTRE = (128, 128, 128)
OUTER = (70, 25, 25)
INNER = (62, 17, 17)
BASE = 128

# Sectors of each territory in the 17-segment model.
TERRITORY = {"lad": {1, 2, 7, 8, 13, 14, 17}, "lcx": {5, 6, 11, 12, 16}, "rca": {3, 4, 9, 10, 15}}

# The tags the program's header reader scans for, as bytes in file order.
SCANNED = {
    (0x0028, 0x1052): b"\x28\x00\x52\x10", (0x0028, 0x1053): b"\x28\x00\x53\x10",
    (0x0028, 0x0008): b"\x28\x00\x08\x00", (0x0028, 0x0030): b"\x28\x00\x30\x00",
    (0x0018, 0x0050): b"\x18\x00\x50\x00", (0x0010, 0x0010): b"\x10\x00\x10\x00",
    (0x0010, 0x0040): b"\x10\x00\x40\x00", (0x0010, 0x0030): b"\x10\x00\x30\x00",
    (0x0010, 0x1010): b"\x10\x00\x10\x10", (0x0008, 0x0022): b"\x08\x00\x22\x00",
    (0x0028, 0x0010): b"\x28\x00\x10\x00", (0x0028, 0x0011): b"\x28\x00\x11\x00",
    (0x7FE0, 0x0010): b"\xe0\x7f\x10\x00",
}
LONG_VRS = {b"OB", b"OD", b"OF", b"OL", b"OV", b"OW", b"SQ", b"UC", b"UN", b"UR", b"UT"}


def sample_path(name):
    return os.path.join(BINARY_DIR, "samples", name + ".dcm")


def walk_elements(raw):
    """Explicit VR little endian elements after the preamble: (offset, tag, vr, length)."""
    out, p = [], 132
    while p < len(raw):
        group, elem = struct.unpack_from("<HH", raw, p)
        vr = raw[p + 4:p + 6]
        if vr in LONG_VRS:
            (length,) = struct.unpack_from("<I", raw, p + 8)
            head = 12
        else:
            (length,) = struct.unpack_from("<H", raw, p + 6)
            head = 8
        out.append((p, (group, elem), vr, length))
        p += head + length
    if p != len(raw):
        raise AssertionError("elements run past the end of the file")
    return out


def axis_weights(indices, n_src, position):
    """Linear weights of the loader's sampling along one axis (0 where out of range)."""
    w = np.zeros((len(indices), n_src))
    for r, t in enumerate(indices):
        x = position(t)
        x0 = int(np.floor(x))
        if x0 >= 0 and x0 + 1 < n_src:
            w[r, x0] = x0 + 1 - x
            w[r, x0 + 1] = x - x0
    return w


def load_box(src, I, J, K):
    """Volume elements (I x J x K) as the loader computes them, before the scaling:
    element (i, j, k) is the trilinear mix at row i/RAP, column (ech-1)-(255-j)/RAP,
    frame (NCZ-1)-(255-k)/RAP+(ech-NCZ)/2."""
    ncz, ech = src.shape[0], src.shape[1]
    rap = 256 // ech
    wi = axis_weights(I, ech, lambda i: i / rap)
    wj = axis_weights(J, ech, lambda j: (ech - 1) - (255 - j) / rap)
    wk = axis_weights(K, ncz, lambda k: (ncz - 1) - (255 - k) / rap + (ech - ncz) / 2)
    v = np.einsum("ir,frq->ifq", wi, src.astype(np.float64))
    v = np.einsum("jq,ifq->ifj", wj, v)
    return np.einsum("kf,ifj->ijk", wk, v)


BOX = (np.arange(110, 216), np.arange(90, 167), np.arange(90, 167))


def grids():
    return np.meshgrid(*BOX, indexing="ij")


def measures():
    ii, jj, kk = grids()
    outer = sum((g - c) ** 2 / r ** 2 for g, c, r in zip((ii, jj, kk), CENTRE, OUTER))
    inner = sum((g - c) ** 2 / r ** 2 for g, c, r in zip((ii, jj, kk), CENTRE, INNER))
    return ii, jj, kk, outer, inner


def sector_means(v):
    """Sector means of the wall between the documented ellipsoids, with the program's ring
    levels for that model (base 128, apex level 180, tip 198) and angle ranges; scaled so
    that the best sector is 99.999."""
    pi, two_pi = 3.14159265, 6.2831853
    ii, jj, kk, outer, inner = measures()
    wall = (inner >= 1) & (outer <= 1)
    th = np.arctan2(kk - CENTRE[2], jj - CENTRE[1]).astype(np.float32)
    th = np.where(th < 0, th + np.float32(two_pi), th)
    levels = [128, 145, 162, 180, 198]
    sums, counts = np.zeros(18), np.zeros(18)

    def add(n, mask):
        sums[n] += v[mask].sum()
        counts[n] += mask.sum()

    add(17, wall & (ii >= levels[3]) & (ii <= levels[4]))
    apical = wall & (ii >= levels[2]) & (ii <= levels[3])
    add(13, apical & (th >= pi / 4) & (th <= 3 * pi / 4))
    add(14, apical & (th >= 3 * pi / 4) & (th <= 5 * pi / 4))
    add(15, apical & (th >= 5 * pi / 4) & (th <= 7 * pi / 4))
    add(16, apical & ((th <= pi / 4) | (th >= 7 * pi / 4)))
    bounds = [0, pi / 3, 2 * pi / 3, pi, 4 * pi / 3, 5 * pi / 3, two_pi]
    for first, lo, hi in ((7, levels[1], levels[2]), (1, levels[0], levels[1])):
        ring = wall & (ii >= lo) & (ii <= hi)
        # anterolateral 0..pi/3, then anterior, anteroseptal, inferoseptal, inferior, inferolateral
        numbers = [first + 5, first, first + 1, first + 2, first + 3, first + 4]
        for s in range(6):
            add(numbers[s], ring & (th >= bounds[s]) & (th <= bounds[s + 1]))
    means = sums / np.maximum(counts, 1)
    return means * 99.999 / means.max()


class Cache:
    ds, raw, box = {}, {}, {}


def dataset(name):
    if name not in Cache.ds:
        Cache.ds[name] = pydicom.dcmread(sample_path(name))
    return Cache.ds[name]


def raw_bytes(name):
    if name not in Cache.raw:
        with open(sample_path(name), "rb") as f:
            Cache.raw[name] = f.read()
    return Cache.raw[name]


def volume_box(name):
    if name not in Cache.box:
        v = load_box(dataset(name).pixel_array, *BOX)
        Cache.box[name] = v * 100 / v.max()
    return Cache.box[name]


class SampleFiles(unittest.TestCase):
    def test_every_sample_is_generated(self):
        for name in SAMPLES:
            self.assertTrue(os.path.isfile(sample_path(name)), name)

    def test_preamble_mark_and_meta_group_length(self):
        for name in SAMPLES:
            with self.subTest(name=name):
                raw = raw_bytes(name)
                self.assertEqual(raw[:128], bytes(128))
                self.assertEqual(raw[128:132], b"DICM")
                elements = walk_elements(raw)
                self.assertEqual(elements[0][1], (0x0002, 0x0000))
                (declared,) = struct.unpack_from("<I", raw, elements[0][0] + 8)
                meta_end = next(off for off, tag, _, _ in elements if tag[0] != 0x0002)
                self.assertEqual(declared, meta_end - (elements[0][0] + 12))

    def test_elements_ascend_with_even_lengths_and_pixel_data_last(self):
        for name in SAMPLES:
            with self.subTest(name=name):
                raw = raw_bytes(name)
                elements = walk_elements(raw)
                tags = [tag for _, tag, _, _ in elements]
                self.assertEqual(tags, sorted(tags))
                self.assertEqual(len(tags), len(set(tags)))
                for _, tag, _, length in elements:
                    self.assertEqual(length % 2, 0, tag)
                off, tag, vr, length = elements[-1]
                self.assertEqual((tag, vr), ((0x7FE0, 0x0010), b"OW"))
                self.assertEqual(off + 12 + length, len(raw))

    def test_scanned_tags_first_occur_at_their_own_elements(self):
        # The program matches tag bytes anywhere in the file: none may show up earlier
        # inside another element, and no rescale tag may show up at all.
        for name in SAMPLES:
            with self.subTest(name=name):
                raw = raw_bytes(name)
                offsets = {tag: off for off, tag, _, _ in walk_elements(raw)}
                for tag, pattern in SCANNED.items():
                    if tag[1] in (0x1052, 0x1053) and tag[0] == 0x0028:
                        self.assertEqual(raw.find(pattern, 0, offsets[(0x7FE0, 0x0010)]), -1)
                    else:
                        self.assertEqual(raw.find(pattern), offsets[tag], "(%04X,%04X)" % tag)

    def test_header_values_read_by_pydicom(self):
        for name, (matrix, territory) in SAMPLES.items():
            with self.subTest(name=name):
                ds = dataset(name)
                self.assertEqual(ds.file_meta.TransferSyntaxUID, pydicom.uid.ExplicitVRLittleEndian)
                self.assertEqual(ds.file_meta.MediaStorageSOPClassUID, "1.2.840.10008.5.1.4.1.1.20")
                self.assertEqual(ds.SOPClassUID, "1.2.840.10008.5.1.4.1.1.20")
                self.assertEqual(ds.file_meta.MediaStorageSOPInstanceUID, ds.SOPInstanceUID)
                self.assertEqual(ds.Modality, "NM")
                self.assertEqual(str(ds.PatientName), "ANONYME^" + (territory or "normal").upper())
                self.assertEqual(ds.PatientBirthDate, "19680314")
                self.assertEqual(ds.PatientSex, "M")
                self.assertEqual(ds.PatientAge, "058Y")
                self.assertEqual(ds.AcquisitionDate, "20260915")
                self.assertEqual(ds.PatientIdentityRemoved, "YES")
                self.assertEqual(int(ds.NumberOfFrames), matrix)
                self.assertEqual((ds.Rows, ds.Columns), (matrix, matrix))
                self.assertEqual([str(x) for x in ds.PixelSpacing], [SPACING[matrix]] * 2)
                self.assertEqual(str(ds.SliceThickness), SPACING[matrix])
                self.assertEqual(ds.SamplesPerPixel, 1)
                self.assertEqual(ds.PhotometricInterpretation, "MONOCHROME2")
                self.assertEqual((ds.BitsAllocated, ds.BitsStored, ds.HighBit), (16, 16, 15))
                self.assertEqual(ds.PixelRepresentation, 1)
                self.assertNotIn("RescaleSlope", ds)
                self.assertNotIn("RescaleIntercept", ds)
                for uid in (ds.SOPInstanceUID, ds.StudyInstanceUID, ds.SeriesInstanceUID):
                    self.assertTrue(uid.is_valid, uid)

    def test_pixel_array_is_the_signed_block_at_the_end_of_the_file(self):
        for name, (matrix, _) in SAMPLES.items():
            with self.subTest(name=name):
                px = dataset(name).pixel_array
                self.assertEqual(px.shape, (matrix, matrix, matrix))
                self.assertEqual(px.dtype, np.int16)
                block = raw_bytes(name)[-2 * px.size:]
                self.assertTrue(np.array_equal(np.frombuffer(block, "<i2").reshape(px.shape), px))
                self.assertGreaterEqual(px.min(), 0)
                self.assertGreater(px.max(), 300)

    def test_dcmdump_reads_every_sample_cleanly(self):
        for name, (matrix, territory) in SAMPLES.items():
            with self.subTest(name=name):
                run = subprocess.run(["dcmdump", sample_path(name)], capture_output=True, text=True)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertEqual(run.stderr.strip(), "")
                out = run.stdout
                self.assertNotRegex(out, r"(?m)^[EW]: ")
                expect = [
                    r"\(0002,0010\) UI =LittleEndianExplicit",
                    r"\(0002,0002\) UI =NuclearMedicineImageStorage",
                    r"\(0008,0060\) CS \[NM\]",
                    r"\(0010,0010\) PN \[ANONYME\^%s\]" % (territory or "normal").upper(),
                    r"\(0010,0030\) DA \[19680314\]",
                    r"\(0010,0040\) CS \[M\]",
                    r"\(0010,1010\) AS \[058Y\]",
                    r"\(0008,0022\) DA \[20260915\]",
                    r"\(0028,0008\) IS \[%d\]" % matrix,
                    r"\(0028,0010\) US %d " % matrix,
                    r"\(0028,0011\) US %d " % matrix,
                    r"\(0028,0030\) DS \[%s\\%s\]" % (SPACING[matrix], SPACING[matrix]),
                    r"\(0018,0050\) DS \[%s\]" % SPACING[matrix],
                    r"\(0028,0103\) US 1 ",
                    r"\(7fe0,0010\) OW .*# *%d, 1 PixelData" % (2 * matrix ** 3),
                ]
                for e in expect:
                    self.assertRegex(out, e)
                self.assertNotRegex(out, r"\(0028,105[23]\)")


class Phantom(unittest.TestCase):
    """The phantom as the program will see it after loading (the loader's sampling rule,
    applied here with numpy), against the model the README documents."""

    def test_hottest_voxels_lie_in_the_myocardium(self):
        # Over the whole field, liver included: the 200 hottest source voxels, placed where
        # the loader puts them, lie in the documented wall widened by the blur.
        for name in SAMPLES:
            with self.subTest(name=name):
                px = dataset(name).pixel_array
                ncz, ech = px.shape[0], px.shape[1]
                rap = 256 // ech
                f, r, q = np.unravel_index(np.argsort(px, axis=None)[-200:], px.shape)
                i = rap * r
                j = 255 - rap * (ech - 1 - q)
                k = 255 - rap * ((ncz - 1) + (ech - ncz) / 2 - f)
                outer = sum((g - c) ** 2 / a ** 2 for g, c, a in zip((i, j, k), CENTRE, OUTER))
                inner = sum((g - c) ** 2 / a ** 2 for g, c, a in zip((i, j, k), CENTRE, INNER))
                in_wall = (outer <= 1.5) & (inner >= 0.5) & (i >= BASE - 6)
                self.assertTrue(in_wall.all(), list(zip(i[~in_wall], j[~in_wall], k[~in_wall])))

    def test_wall_is_hot_and_cavity_cold_at_the_documented_radius(self):
        I, J, K = BOX
        for name in ("normal-64", "normal-128"):
            with self.subTest(name=name):
                v = volume_box(name)

                def at(i, j, k):  # mean of a 3-voxel cube against single-voxel noise
                    a, b, c = i - I[0], j - J[0], k - K[0]
                    return v[a - 1:a + 2, b - 1:b + 2, c - 1:c + 2].mean()

                for i, radius in ((140, 20), (150, 19), (165, 16)):
                    for dj, dk in ((1, 0), (0, 1), (-1, 0), (0, -1)):
                        self.assertGreater(at(i, 128 + dj * radius, 128 + dk * radius), 65, (i, dj, dk))
                    self.assertLess(at(i, 128, 128), 35, i)
                self.assertGreater(at(191, 128, 128), 65)   # apex, on the long axis
                self.assertLess(at(112, 148, 128), 30)      # basal side of the base plane
                self.assertLess(at(150, 128, 160), 35)      # outside the wall, anterior

    def test_normal_sectors_are_uniform(self):
        for name in ("normal-64", "normal-128"):
            with self.subTest(name=name):
                m = sector_means(volume_box(name))
                self.assertGreater(m[1:].min(), 80, np.round(m, 1))

    def test_defects_lower_exactly_their_territory(self):
        # The generator's files as pydicom reads them, before the program sees them; what the
        # program scores from them is tests/results/test_sample_evaluation.cpp.
        for name, (matrix, territory) in SAMPLES.items():
            if territory is None:
                continue
            with self.subTest(name=name):
                normal = sector_means(volume_box("normal-%d" % matrix))
                defect = sector_means(volume_box(name))
                for n in range(1, 18):
                    ratio = defect[n] / normal[n]
                    if n in TERRITORY[territory]:
                        self.assertLess(ratio, 0.75, (n, np.round(defect, 1)))
                    else:
                        self.assertGreater(ratio, 0.85, (n, np.round(defect, 1)))


class Generator(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.tmp.cleanup()

    def run_cli(self, *args):
        return subprocess.run([CLI, "sample", *args], capture_output=True, text=True)

    def out(self, name):
        return os.path.join(self.tmp.name, name)

    def test_same_options_give_the_same_bytes_and_another_seed_other_noise(self):
        a, b, c = self.out("a.dcm"), self.out("b.dcm"), self.out("c.dcm")
        for path, seed in ((a, "7"), (b, "7"), (c, "8")):
            self.assertEqual(self.run_cli(path, "--seed", seed).returncode, 0)
        with open(a, "rb") as fa, open(b, "rb") as fb:
            self.assertEqual(fa.read(), fb.read())
        pa, pc = pydicom.dcmread(a).pixel_array, pydicom.dcmread(c).pixel_array
        self.assertFalse(np.array_equal(pa, pc))
        # Same phantom under the noise: the means agree closely.
        self.assertLess(abs(pa.mean() - pc.mean()) / pa.mean(), 0.01)

    def test_noise_is_poisson_around_the_noiseless_phantom(self):
        noisy, clean = self.out("n.dcm"), self.out("c.dcm")
        self.assertEqual(self.run_cli(noisy).returncode, 0)
        self.assertEqual(self.run_cli(clean, "--no-noise").returncode, 0)
        pn = pydicom.dcmread(noisy).pixel_array.astype(float)
        pc = pydicom.dcmread(clean).pixel_array.astype(float)
        sel = pc > 100
        residual = (pn[sel] - pc[sel]) / np.sqrt(pc[sel])
        self.assertLess(abs(residual.mean()), 0.05)
        self.assertGreater(residual.std(), 0.9)
        self.assertLess(residual.std(), 1.1)

    def test_fewer_frames_keep_the_heart_centred_on_axis_3(self):
        path = self.out("f32.dcm")
        self.assertEqual(self.run_cli(path, "--frames", "32", "--no-noise").returncode, 0)
        ds = pydicom.dcmread(path)
        self.assertEqual(int(ds.NumberOfFrames), 32)
        self.assertEqual(ds.pixel_array.shape, (32, 64, 64))
        v = load_box(ds.pixel_array, [150], np.arange(90, 167), np.arange(90, 167))[0]
        v = v * 100 / v.max()
        ring = [v[128 - 90 + dj * 19, 128 - 90 + dk * 19] for dj, dk in ((1, 0), (0, 1), (-1, 0), (0, -1))]
        self.assertGreater(min(ring), 70)
        self.assertLess(v[128 - 90, 128 - 90], 35)

    def test_patient_options_are_written(self):
        path = self.out("p.dcm")
        run = self.run_cli(path, "--name", "DOE^JAN", "--sex", "F", "--age", "071Y",
                           "--birth-date", "19550102", "--acq-date", "20260301", "--matrix", "128")
        self.assertEqual(run.returncode, 0, run.stderr)
        ds = pydicom.dcmread(path)
        self.assertEqual((str(ds.PatientName), ds.PatientSex, ds.PatientAge), ("DOE^JAN", "F", "071Y"))
        self.assertEqual((ds.PatientBirthDate, ds.AcquisitionDate), ("19550102", "20260301"))
        # An odd-length name is padded with a space to an even length.
        with open(path, "rb") as f:
            self.assertIn(b"\x10\x00\x10\x00PN\x08\x00DOE^JAN ", f.read())

    def test_unusable_options_are_refused_without_a_file(self):
        for args in (["--matrix", "100"], ["--frames", "1"], ["--lad", "120"], ["--lcx", "-5"],
                     ["--counts", "0"], ["--age", "58"], ["--birth-date", "1968"]):
            with self.subTest(args=args):
                path = self.out("bad.dcm")
                run = self.run_cli(path, *args)
                self.assertNotEqual(run.returncode, 0)
                self.assertFalse(os.path.exists(path))
                self.assertEqual(os.listdir(self.tmp.name), [])


if __name__ == "__main__":
    if CLI is None:
        sys.exit("usage: test_samples.py VESMORA_CLI SOURCE_DIR BINARY_DIR")
    unittest.main(argv=[sys.argv[0], "-v"])

"""NM multi-frame files written by pydicom (explicit VR little endian, with file
meta information) read back through `vesmora-cli header` and `vesmora-cli load`:
the values the program takes must be those written, as its filters give them."""
import os
import subprocess
import sys
import tempfile

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.encaps import encapsulate
from pydicom.uid import (ExplicitVRBigEndian, ExplicitVRLittleEndian, ImplicitVRLittleEndian, JPEG2000Lossless,
                         generate_uid)

CLI = sys.argv[1]


def write_nm(path, name, sex, birth, age, acq, frames, matrix, spacing, thickness, pixels,
             syntax=ExplicitVRLittleEndian):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.20"  # NM Image Storage
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = syntax
    ds = Dataset()
    ds.file_meta = meta
    ds.preamble = b"\0" * 128
    ds.is_little_endian = syntax != ExplicitVRBigEndian
    ds.is_implicit_VR = syntax == ImplicitVRLittleEndian
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = "NM"
    ds.PatientName = name
    ds.PatientSex = sex
    ds.PatientBirthDate = birth
    ds.PatientAge = age
    ds.AcquisitionDate = acq
    ds.SliceThickness = thickness
    ds.NumberOfFrames = frames
    ds.Rows = matrix
    ds.Columns = matrix
    ds.PixelSpacing = [spacing, spacing]
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = "MONOCHROME2"
    ds.BitsAllocated = 16
    ds.BitsStored = 16
    ds.HighBit = 15
    ds.PixelRepresentation = 1
    ds.PixelData = pixels.astype("<i2").tobytes()
    if syntax.is_compressed:  # one fragment: only the syntax's name is looked at
        ds.PixelData = encapsulate([ds.PixelData])
    ds.save_as(path, write_like_original=False)
    return pydicom.dcmread(path)  # what an independent reader sees in the file


def four_digits(text):
    """The first four significant digits, the first weighing 1000, over 10000."""
    total, k = 0, 0
    for ch in text:
        if k == 4:
            break
        if ch in "123456789" or (ch == "0" and k > 0):
            total += int(ch) * 10 ** (3 - k)
            k += 1
    return total / 10000.0


def dd_mm_yyyy(da):
    return f"{da[6:8]}/{da[4:6]}/{da[0:4]}"


def fields(out):
    values = {}
    for line in out.splitlines():
        if " : " in line and not line.startswith(" "):
            key, _, val = line.partition(" : ")
            values[key.strip()] = val
    return values


def run(args):
    return subprocess.run([CLI] + args, capture_output=True, timeout=120)


def main():
    failures = []
    cases = [
        ("DOE^JOHN", "M", "19580214", "045Y", "20261103", 64, 64, "4.7952", "4.7952"),
        ("MARTIN^CLAIRE^ANNE", "F", "19400101", "086Y", "20250630", 32, 64, "6.4", "6.4"),
        ("SMITH^J", "O", "20200229", "006M", "20260101", 128, 128, "3.2", "3.3"),
        ("LEE", "F", "19991231", "100Y", "19991231", 40, 100, "2.5", "2.5"),
    ]
    with tempfile.TemporaryDirectory() as tmp:
        for n, (name, sex, birth, age, acq, frames, matrix, spacing, thickness) in enumerate(cases):
            path = os.path.join(tmp, f"nm{n}.dcm")
            rng = np.random.default_rng(n)
            pixels = rng.integers(1, 2000, size=(frames, matrix, matrix))
            ds = write_nm(path, name, sex, birth, age, acq, frames, matrix, spacing, thickness, pixels)
            # The file as pydicom reads it back is what the program must see.
            def padded(text):  # values are stored at even length, padded with a space
                return text + " " * (len(text) % 2)

            expected = {
                "Patient": padded(str(ds.PatientName)).replace("^", " "),
                "Sex": padded(ds.PatientSex),
                "Birth date": dd_mm_yyyy(ds.PatientBirthDate),
                "Age": ds.PatientAge.lstrip("0").replace("Y", ""),
                "Exam date": dd_mm_yyyy(ds.AcquisitionDate),
                "Frames": str(int(ds.NumberOfFrames)),
                "Rows, cols": f"{ds.Rows}, {ds.Columns} pixels (ech {ds.Columns})",
                # The sizes as the file gives them, in mm, beside the program's values in cm.
                "Spacing": f"{padded(chr(92).join(str(v) for v in ds.PixelSpacing)).rstrip()} mm, "
                           f"slice thickness {ds.SliceThickness} mm (as in the file)",
            }
            raw_spacing = "\\".join(str(v) for v in ds.PixelSpacing)
            raw_spacing = padded(raw_spacing)
            half = len(raw_spacing) // 2
            xy = (four_digits(raw_spacing[:half]) + four_digits(raw_spacing[half:])) / 2
            expected["Voxel"] = (f"{xy:.4f} x {four_digits(str(ds.SliceThickness)):.4f} cm "
                                 "(the program's VOXEL_SIZE_XY x VOXEL_SIZE_Z)")

            for command in ("header", "load"):
                folder = os.path.join(tmp, f"{command}{n}")
                os.mkdir(folder)
                proc = run([command, path, "--app-folder", folder])
                out = proc.stdout.decode("utf-8")
                if proc.returncode != 0:
                    failures.append(f"{command} {path}: status {proc.returncode}\n{out}{proc.stderr.decode()}")
                    continue
                got = fields(out)
                for key, want in expected.items():
                    if got.get(key) != want:
                        failures.append(f"{command} {name}: {key} is {got.get(key)!r}, written {want!r}")
                log = open(os.path.join(folder, "log.txt"), encoding="latin-1").read()
                if f"\n FRAMES : {frames}" not in log or f"\n PAT name : {expected['Patient']}" not in log:
                    failures.append(f"{command} {name}: log lacks the frames or the name:\n{log}")
                if command == "load":
                    # Every pixel is at least 1, so the largest element is positive and the
                    # volume is made; the log ends with the extremes.
                    if "\nMax data : " not in log or not log.endswith("\n"):
                        failures.append(f"load {name}: no extremes in the log:\n{log}")
        # The same study written in another transfer syntax: implicit VR and big endian are
        # decoded when the program links the import; one no codec here decodes (JPEG 2000)
        # is refused by `load` with a box naming it, the meta group pydicom writes (group
        # length, version as OB) walked to find it.
        for uid, usual, status in ((ImplicitVRLittleEndian, "implicit VR little endian", 0),
                                   (ExplicitVRBigEndian, "explicit VR big endian", 0),
                                   (JPEG2000Lossless, "JPEG 2000 lossless", 1)):
            path = os.path.join(tmp, f"{uid}.dcm")
            write_nm(path, "DOE^JOHN", "M", "19580214", "045Y", "20261103", 64, 64, "4.7952", "4.7952",
                     np.ones((64, 64, 64)), syntax=uid)
            proc = run(["load", path, "--app-folder", tmp])
            out = proc.stdout.decode("utf-8")
            refused = f"Syntaxe de transfert non prise en charge : {uid} ({usual})." in out
            if proc.returncode != status or refused != (status == 1):
                failures.append(f"load {uid}: status {proc.returncode}, refused by name: {refused}:\n{out}")
        # UTF-8 name, unsigned pixels above 32767 and an intercept, as pydicom writes them:
        # the name keeps its accents, the hot frames stay the hottest, the intercept is added.
        path = os.path.join(tmp, "utf8.dcm")
        pixels = np.full((64, 64, 64), 1000)
        pixels[32:] = 40000
        write_nm(path, "MÜLLER^Éléonore", "F", "19580214", "045Y", "20261103", 64, 64, "4.7952", "4.7952",
                 np.zeros((1,)))
        ds = pydicom.dcmread(path)
        ds.SpecificCharacterSet = "ISO_IR 192"
        ds.PixelRepresentation = 0
        ds.RescaleIntercept = "500"
        ds.RescaleSlope = "1"
        ds.PixelData = pixels.astype("<u2").tobytes()
        ds.save_as(path, write_like_original=False)
        folder = os.path.join(tmp, "utf8")
        os.mkdir(folder)
        proc = run(["load", path, "--app-folder", folder])
        got = fields(proc.stdout.decode("utf-8"))
        log = open(os.path.join(folder, "log.txt"), encoding="latin-1").read()
        if proc.returncode != 0 or got.get("Patient") != "MÜLLER Éléonore" or \
                "\n RESCALE : slope 1  -  intercept 500\n" not in log or "\nMax data : 40500.0\n" not in log:
            failures.append(f"load utf8.dcm: status {proc.returncode}, patient {got.get('Patient')!r}\n{log}")
    if failures:
        print("\n".join(failures))
        return 1
    print(f"{len(cases) + 1} pydicom files read back with the values written")
    return 0


if __name__ == "__main__":
    sys.exit(main())

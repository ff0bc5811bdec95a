"""Every file pydicom ships as test data, and truncated and randomly corrupted
copies of a valid NM file, go through the header reader (`vesmora-cli header`)
each in its own process: no crash, no hang, no sanitizer report. A file is
either read (status 0; a rescale element is read, not fatal) or refused as not
DICOM (status 1, with the refusal text)."""
import os
import random
from concurrent.futures import ThreadPoolExecutor
import subprocess
import sys
import tempfile

import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, generate_uid

CLI = sys.argv[1]
SOURCE = sys.argv[2]
SANITIZER_STATUS = 97  # distinct from the program's own exits (1, 33)

ENV = dict(os.environ)
ENV["ASAN_OPTIONS"] = f"exitcode={SANITIZER_STATUS}:detect_leaks=1:abort_on_error=0"
ENV["UBSAN_OPTIONS"] = f"exitcode={SANITIZER_STATUS}:halt_on_error=1:print_stacktrace=1"


def valid_file(path):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.20"
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = Dataset()
    ds.file_meta = meta
    ds.preamble = b"\0" * 128
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.Modality = "NM"
    ds.PatientName = "DOE^JOHN"
    ds.PatientSex = "M"
    ds.PatientBirthDate = "19580214"
    ds.PatientAge = "058Y"
    ds.AcquisitionDate = "20261103"
    ds.SliceThickness = "4.7952"
    ds.NumberOfFrames = 8
    ds.Rows = 16
    ds.Columns = 16
    ds.PixelSpacing = ["4.7952", "4.7952"]
    ds.BitsAllocated = 16
    ds.PixelRepresentation = 1
    ds.PixelData = bytes(range(256)) * 16
    ds.save_as(path, write_like_original=False)
    return open(path, "rb").read()


def check(path, folder, failures):
    try:
        proc = subprocess.run([CLI, "header", path, "--app-folder", folder], capture_output=True, timeout=60, env=ENV)
    except subprocess.TimeoutExpired:
        failures.append(f"{path}: hangs")
        return None
    err = proc.stderr.decode("latin-1")
    status = proc.returncode
    if status < 0:
        failures.append(f"{path}: killed by signal {-status}\n{err[-2000:]}")
    elif status == SANITIZER_STATUS or "Sanitizer" in err or "runtime error" in err:
        failures.append(f"{path}: sanitizer report\n{err[-3000:]}")
    elif status == 1:
        if "n'est pas un fichier dicom valide" not in err:
            failures.append(f"{path}: status 1 without the refusal message\n{err}")
    elif status != 0:
        failures.append(f"{path}: status {status}\n{err}")
    return status


def main():
    data_dir = os.path.join(os.path.dirname(pydicom.__file__), "data", "test_files")
    shipped = []
    for root, _, names in os.walk(data_dir):
        shipped += [os.path.join(root, n) for n in sorted(names)]
    if not shipped:
        print(f"no test files under {data_dir}")
        return 1
    failures = []
    counts = {}
    with tempfile.TemporaryDirectory() as tmp:
        def run_all(paths):
            # Two at a time, each process with its own folder for its log.
            base = os.path.join(tmp, f"run{len(counts)}-{len(paths)}")
            os.mkdir(base)
            folders = [os.path.join(base, str(n)) for n in range(len(paths))]
            for f in folders:
                os.mkdir(f)
            with ThreadPoolExecutor(max_workers=2) as pool:
                for s in pool.map(lambda pf: check(pf[0], pf[1], failures), zip(paths, folders)):
                    counts[s] = counts.get(s, 0) + 1

        run_all(shipped)

        good = valid_file(os.path.join(tmp, "valid.dcm"))
        rng = random.Random(1234)
        copies = []
        # Truncations: inside the preamble, the mark, every few bytes of the header, the pixels.
        cuts = sorted(set([0, 1, 100, 129, 131, 132, 133] + [rng.randrange(132, len(good)) for _ in range(25)]))
        for n in cuts:
            copies.append((f"cut{n}.dcm", good[:n]))
        # Random corruptions: bytes overwritten, including lengths and tags, the mark kept.
        for c in range(40):
            b = bytearray(good)
            for _ in range(rng.choice([1, 4, 16, 64])):
                b[rng.randrange(132, len(b))] = rng.randrange(256)
            copies.append((f"corrupt{c}.dcm", bytes(b)))
        # Lengths set to the largest value right before the end.
        b = bytearray(good[:600])
        b[-2:] = b"\xff\xff"
        copies.append(("longlen.dcm", bytes(b)))
        damaged = []
        for name, content in copies:
            path = os.path.join(tmp, name)
            with open(path, "wb") as f:
                f.write(content)
            damaged.append(path)
        run_all(damaged)
    if failures:
        print("\n\n".join(failures))
        return 1
    print(f"{len(shipped)} shipped files and {len(copies)} damaged copies read safely; statuses {counts}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

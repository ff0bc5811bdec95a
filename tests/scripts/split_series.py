"""Splits a multi-frame study into single-frame files, as cameras that store a reconstruction one
slice per file write it: each frame with its Image Position (Patient) along the slice normal and its
Instance Number, written under shuffled names without extension (as on a CD). Used by the series
and DICOMDIR script tests."""
import copy
import os
import random

import pydicom
from pydicom.uid import generate_uid


def split(study, folder, seed=24, prefix="IM"):
    """Writes the frames of `study` into `folder`; returns the file names in slice order."""
    src = pydicom.dcmread(study)
    frames = int(src.NumberOfFrames)
    rows, cols = int(src.Rows), int(src.Columns)
    spacing = float(src.get("SpacingBetweenSlices", src.get("SliceThickness", 1)))
    size = rows * cols * 2
    raw = src.PixelData
    del src.PixelData  # the header alone is copied for each frame
    names = [f"{prefix}{n:04d}" for n in range(frames)]
    random.Random(seed).shuffle(names)
    os.makedirs(folder, exist_ok=True)
    for k in range(frames):
        ds = copy.deepcopy(src)
        for keyword in ("NumberOfFrames", "FrameIncrementPointer", "SliceVector", "NumberOfSlices"):
            if keyword in ds:
                delattr(ds, keyword)
        ds.SOPInstanceUID = generate_uid()
        ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
        ds.InstanceNumber = k + 1
        ds.ImageOrientationPatient = [1, 0, 0, 0, 1, 0]
        ds.ImagePositionPatient = [-100.0, -100.0, round(-50.0 + k * spacing, 4)]
        ds.add_new(0x7FE00010, "OW", raw[k * size:(k + 1) * size])
        ds.save_as(os.path.join(folder, names[k]), write_like_original=False)
    return names

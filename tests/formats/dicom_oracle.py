#!/usr/bin/env python3
"""Fixtures and reference answers for the DICOM reader's tests.

  dicom_oracle.py dict                 every row of pydicom's dictionary:
                                       "gggg eeee VR retired name"
  dicom_oracle.py make DIR             seeded pictures written by pydicom
                                       (explicit little-endian) into DIR
  dicom_oracle.py pixels FILE FRAME OUT [FILE FRAME OUT ...]
                                       pydicom's pixel_array of FILE (frame
                                       FRAME) as "w h samples bytes\\n" and
                                       the samples little-endian; palette
                                       images as 8-bit RGB (entry div 257),
                                       YBR_FULL as RGB; "0 0 0 0" without
                                       pixel data
  dicom_oracle.py tags FILE            dcmdump's top-level elements before
                                       the pixel data: "gggg eeee VR length"
  dicom_oracle.py inspect FILE         "<meta length ok|bad> <syntax> <SOP class>
                                       <lossy flag> <frames>" as pydicom reads
                                       the file
  dicom_oracle.py j2k SRC OUT SYNTAX   SRC's frame compressed by opj_compress
                                       (losslessly) and encapsulated as SYNTAX
  dicom_oracle.py bare-jpeg SRC OUT     SRC's JPEG frame without its APP
                                       markers and with component ids 1, 2, 3,
                                       as many encoders write RGB frames: the
                                       data no longer tell their colour space
  dicom_oracle.py adjust IN OUT BITS SIGNED SLOPE INTERCEPT CENTER WIDTH TOP
                                       the rescale and window stretch of the
                                       16- or 8-bit samples in IN (numpy)
"""
import re
import subprocess
import sys

import numpy as np


def cmd_dict():
    from pydicom._dicom_dict import DicomDictionary, RepeatersDictionary
    rows = []
    for tag, (vr, _vm, name, retired, _kw) in DicomDictionary.items():
        rows.append((tag >> 16, tag & 0xFFFF, vr, retired, name))
    for mask, (vr, _vm, name, retired, _kw) in RepeatersDictionary.items():
        if mask[:4] in ("50xx", "60xx", "7Fxx") and "x" not in mask[4:]:
            for low in range(0, 0x20, 2):
                rows.append(((int(mask[:2], 16) << 8) | low, int(mask[4:], 16), vr, retired, name))
    for g, e, vr, retired, name in rows:
        print("%04X %04X %s %d %s" % (g, e, vr.replace(" ", "_"), 1 if retired else 0, name))


def dataset(width, height, photometric, samples, bits_alloc, bits_stored, signed, pixels, frames=1, extra=None):
    import pydicom
    from pydicom.dataset import FileDataset, FileMetaDataset
    from pydicom.uid import ExplicitVRLittleEndian, generate_uid
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
    meta.MediaStorageSOPInstanceUID = generate_uid(entropy_srcs=["vexlane", photometric, str(bits_stored)])
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = FileDataset(None, {}, file_meta=meta, preamble=b"\0" * 128)
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.PatientName = "Test^Picture"
    ds.Modality = "OT"
    ds.Rows = height
    ds.Columns = width
    ds.SamplesPerPixel = samples
    ds.PhotometricInterpretation = photometric
    if samples > 1:
        ds.PlanarConfiguration = 0
    ds.BitsAllocated = bits_alloc
    ds.BitsStored = bits_stored
    ds.HighBit = bits_stored - 1
    ds.PixelRepresentation = 1 if signed else 0
    if frames > 1:
        ds.NumberOfFrames = frames
    for k, v in (extra or {}).items():
        setattr(ds, k, v)
    ds.PixelData = pixels
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    return ds


def cmd_make(out):
    rng = np.random.default_rng(7)
    w, h = 13, 7
    yy, xx = np.mgrid[0:h, 0:w]
    grey8 = ((xx * 17 + yy * 23) % 256).astype(np.uint8)
    dataset(w, h, "MONOCHROME2", 1, 8, 8, False, grey8.tobytes()).save_as(out + "/grey8.dcm")
    grey16 = ((xx * 300 + yy * 577) % 4096).astype(np.uint16)
    dataset(w, h, "MONOCHROME2", 1, 16, 12, False, grey16.tobytes()).save_as(out + "/grey16.dcm")
    dataset(w, h, "MONOCHROME1", 1, 16, 12, False, grey16.tobytes()).save_as(out + "/mono1.dcm")
    ct = (rng.integers(-1024, 1500, size=(h, w))).astype(np.int16)
    dataset(w, h, "MONOCHROME2", 1, 16, 16, True, ct.tobytes(),
            extra={"RescaleSlope": "1", "RescaleIntercept": "-1024", "WindowCenter": "40", "WindowWidth": "400"}
            ).save_as(out + "/ct.dcm")
    rgb = np.stack([(xx * 19) % 256, (yy * 37) % 256, (xx * yy * 5) % 256], axis=-1).astype(np.uint8)
    dataset(w, h, "RGB", 3, 8, 8, False, rgb.tobytes()).save_as(out + "/rgb.dcm")
    from pydicom.pixel_data_handlers.util import convert_color_space
    dataset(w, h, "YBR_FULL", 3, 8, 8, False, convert_color_space(rgb, "RGB", "YBR_FULL").tobytes()).save_as(
        out + "/ybr.dcm")
    planar = dataset(w, h, "RGB", 3, 8, 8, False, np.moveaxis(rgb, -1, 0).tobytes())
    planar.PlanarConfiguration = 1
    planar.save_as(out + "/rgb_planar.dcm")
    lut = [(np.arange(256) * 257).astype(np.uint16), ((255 - np.arange(256)) * 257).astype(np.uint16),
           ((np.arange(256) * 7 % 256) * 257).astype(np.uint16)]
    pal = dataset(w, h, "PALETTE COLOR", 1, 8, 8, False, grey8.tobytes())
    for name, table in zip(("Red", "Green", "Blue"), lut):
        setattr(pal, name + "PaletteColorLookupTableDescriptor", [256, 0, 16])
        setattr(pal, name + "PaletteColorLookupTableData", table.tobytes())
    pal.save_as(out + "/palette.dcm")
    frames = np.stack([(grey8 + 40 * f) % 256 for f in range(3)]).astype(np.uint8)
    dataset(w, h, "MONOCHROME2", 1, 8, 8, False, frames.tobytes(), frames=3).save_as(out + "/multi.dcm")
    # Packed 12-bit samples: two in three bytes, the frame one run.
    flat = grey16.flatten().astype(np.uint32)
    if len(flat) % 2:
        flat = np.append(flat, 0)
    packed = bytearray()
    for a, b in zip(flat[0::2], flat[1::2]):
        packed += bytes([a & 0xFF, ((a >> 8) & 0x0F) | ((b & 0x0F) << 4), (b >> 4) & 0xFF])
    if len(packed) % 2:
        packed += b"\0"
    dataset(w, h, "MONOCHROME2", 1, 12, 12, False, bytes(packed)).save_as(out + "/packed12.dcm")
    np.save(out + "/packed12.npy", grey16)


def pixels_of(path, frame):
    import pydicom
    from pydicom.pixel_data_handlers.util import apply_color_lut, convert_color_space
    ds = pydicom.dcmread(path)
    if "PixelData" not in ds:
        return None, 0
    if ds.get("BitsAllocated") == 12:
        return np.load(path[:-4] + ".npy"), 1
    arr = ds.pixel_array
    if int(ds.get("NumberOfFrames", 1)) > 1:
        arr = arr[int(frame)]
    if ds.PhotometricInterpretation == "PALETTE COLOR":
        arr = (apply_color_lut(arr, ds) // 257).astype(np.uint8)
    elif ds.PhotometricInterpretation == "YBR_FULL":
        arr = convert_color_space(arr, "YBR_FULL", "RGB")
    return arr, arr.shape[2] if arr.ndim == 3 else 1


def cmd_pixels(triples):
    for i in range(0, len(triples), 3):
        path, frame, out = triples[i:i + 3]
        arr, samples = pixels_of(path, frame)
        with open(out, "wb") as f:
            if arr is None:
                f.write(b"0 0 0 0\n")
                continue
            f.write(b"%d %d %d %d\n" % (arr.shape[1], arr.shape[0], samples, arr.dtype.itemsize))
            f.write(arr.astype(arr.dtype.newbyteorder("<")).tobytes())


def cmd_tags(path):
    text = subprocess.run(["/usr/bin/dcmdump", "-q", "+L", path], capture_output=True, text=True).stdout
    for line in text.splitlines():
        m = re.match(r"^\(([0-9a-f]{4}),([0-9a-f]{4})\) (\w\w|\?\?) .*#\s*(\d+|u/l),", line)
        if not m:
            continue
        g, e, vr, length = m.groups()
        if g == "fffe":  # dcmdump's delimiters "for re-encoding", not in the file
            continue
        if (g, e) == ("7fe0", "0010"):
            break
        print("%s %s %s %s" % (g.upper(), e.upper(), vr, "-1" if length == "u/l" else length))


def cmd_inspect(path):
    import struct
    import pydicom
    data = open(path, "rb").read()
    pos = 132
    declared = None
    start = None
    while pos + 8 <= len(data):
        group, element = struct.unpack_from("<HH", data, pos)
        if group != 2:
            break
        vr = data[pos + 4:pos + 6]
        if vr in (b"OB", b"OW", b"OF", b"SQ", b"UT", b"UN"):
            length = struct.unpack_from("<I", data, pos + 8)[0]
            head = 12
        else:
            length = struct.unpack_from("<H", data, pos + 6)[0]
            head = 8
        if element == 0:
            declared = struct.unpack_from("<I", data, pos + head)[0]
            start = pos + head + length
        pos += head + length
    ok = declared is not None and declared == pos - start
    ds = pydicom.dcmread(path)
    print("%s %s %s %s %d" % ("ok" if ok else "bad", ds.file_meta.TransferSyntaxUID, ds.get("SOPClassUID", "-"),
                              ds.get("LossyImageCompression", "-"), int(ds.get("NumberOfFrames", 1))))


def cmd_j2k(src, out, syntax):
    import os
    import tempfile
    import pydicom
    from pydicom.encaps import encapsulate
    ds = pydicom.dcmread(src)
    arr = ds.pixel_array
    with tempfile.TemporaryDirectory() as tmp:
        maxval = (1 << int(ds.BitsStored)) - 1
        if arr.ndim == 3:
            name = os.path.join(tmp, "f.ppm")
            header = b"P6\n%d %d\n%d\n" % (arr.shape[1], arr.shape[0], maxval)
        else:
            name = os.path.join(tmp, "f.pgm")
            header = b"P5\n%d %d\n%d\n" % (arr.shape[1], arr.shape[0], maxval)
        with open(name, "wb") as f:
            f.write(header + (arr.astype(">u2") if maxval > 255 else arr.astype("u1")).tobytes())
        stream = os.path.join(tmp, "f.j2k")
        subprocess.run(["/usr/bin/opj_compress", "-n", "2", "-i", name, "-o", stream], check=True, capture_output=True)
        data = open(stream, "rb").read()
    ds.PixelData = encapsulate([data])
    ds["PixelData"].is_undefined_length = True
    ds.file_meta.TransferSyntaxUID = syntax
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.save_as(out)


def cmd_bare_jpeg(src, out):
    import struct
    import pydicom
    from pydicom.encaps import encapsulate, generate_pixel_data_frame
    ds = pydicom.dcmread(src)
    data = next(generate_pixel_data_frame(ds.PixelData))
    bare = bytearray(data[:2])
    pos = 2
    while pos + 4 <= len(data):
        marker = data[pos + 1]
        length = struct.unpack_from(">H", data, pos + 2)[0]
        segment = bytearray(data[pos:pos + 2 + length])
        if marker == 0xC0:  # SOF0: Nf, then (id, sampling, table) per component
            for k in range(segment[9]):
                segment[10 + 3 * k] = k + 1
        elif marker == 0xDA:  # SOS: Ns, then (id, tables) per component; the scan follows
            for k in range(segment[4]):
                segment[5 + 2 * k] = k + 1
            bare += segment + data[pos + 2 + length:]
            break
        if not 0xE0 <= marker <= 0xEF:
            bare += segment
        pos += 2 + length
    ds.PixelData = encapsulate([bytes(bare)])
    ds["PixelData"].is_undefined_length = True
    ds.save_as(out)


def cmd_adjust(inp, out, bits, signed, slope, intercept, center, width, top):
    top = int(top)
    dtype = (np.int16 if int(signed) else np.uint16) if int(bits) == 16 else (np.int8 if int(signed) else np.uint8)
    s = np.fromfile(inp, dtype=dtype).astype(np.float64)
    c, w = float(center), float(width)
    v = s * float(slope) + float(intercept)
    if c != 1e7 and w != 1e7:
        lo = np.trunc(c - 0.5 - (w - 1) / 2)
        hi = np.trunc(c - 0.5 + (w - 1) / 2)
        mid = ((v - (c - 0.5)) / (w - 1) + 0.5) * top
        v = np.where(v <= lo, 0, np.where(v >= hi, top, mid))
    offset = -v.min() if v.min() < 0 else 0.0
    smallest, largest = np.trunc(v.min() + offset), np.trunc(v.max() + offset)
    if largest == smallest:
        r = s
    else:
        t = np.trunc(v + offset)
        r = np.clip(np.trunc((t - smallest) / (largest - smallest) * top), 0, top)
    r.astype(np.uint16 if int(bits) == 16 else np.uint8).tofile(out)


if __name__ == "__main__":
    a = sys.argv[1:]
    {"dict": lambda: cmd_dict(), "make": lambda: cmd_make(a[1]), "pixels": lambda: cmd_pixels(a[1:]),
     "tags": lambda: cmd_tags(a[1]), "inspect": lambda: cmd_inspect(a[1]),
     "j2k": lambda: cmd_j2k(a[1], a[2], a[3]), "bare-jpeg": lambda: cmd_bare_jpeg(a[1], a[2]),
     "adjust": lambda: cmd_adjust(*a[1:])}[a[0]]()

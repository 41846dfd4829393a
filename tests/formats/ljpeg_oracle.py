#!/usr/bin/python3
# DCMTK as the judge of lossless JPEG frames, for the decoder's tests.
#
#   ljpeg_oracle.py encode W H SAMPLES BITS SOURCE.raw OUTDIR SV,PT...
#       wraps the raw samples (bytes, or 16-bit little-endian words; RGB
#       interleaved) in a DICOM data set, compresses it with dcmcjpeg +el at
#       each selection value SV and point transform PT, and writes the
#       frame's fragment to OUTDIR/SV-PT.jpg and dcmdjpeg's samples of it to
#       OUTDIR/SV-PT.raw.
#   ljpeg_oracle.py decode W H SAMPLES BITS FRAGMENT.jpg...
#       wraps each lossless JPEG fragment in a DICOM data set and writes
#       dcmdjpeg's samples of it to FRAGMENT.raw.
import os
import subprocess
import sys

from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.encaps import encapsulate, generate_pixel_data_frame
from pydicom.filereader import dcmread
from pydicom.uid import ExplicitVRLittleEndian, generate_uid

LOSSLESS_P14 = "1.2.840.10008.1.2.4.57"
SECONDARY_CAPTURE = "1.2.840.10008.5.1.4.1.1.7"


def dataset(width, height, samples, bits, syntax):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = SECONDARY_CAPTURE
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = syntax
    ds = Dataset()
    ds.file_meta = meta
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.SOPClassUID = SECONDARY_CAPTURE
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = "OT"
    ds.Rows = height
    ds.Columns = width
    ds.SamplesPerPixel = samples
    ds.PhotometricInterpretation = "RGB" if samples == 3 else "MONOCHROME2"
    if samples == 3:
        ds.PlanarConfiguration = 0
    ds.BitsAllocated = 8 if bits <= 8 else 16
    ds.BitsStored = bits
    ds.HighBit = bits - 1
    ds.PixelRepresentation = 0
    return ds


def decompress(src, raw):
    out = raw + ".dcm"
    subprocess.run(["/usr/bin/dcmdjpeg", src, out], check=True)
    with open(raw, "wb") as f:
        f.write(dcmread(out).PixelData)


def main(argv):
    mode = argv[1]
    width, height, samples, bits = (int(v) for v in argv[2:6])
    if mode == "encode":
        source, outdir = argv[6], argv[7]
        ds = dataset(width, height, samples, bits, ExplicitVRLittleEndian)
        with open(source, "rb") as f:
            ds.PixelData = f.read()
        plain = os.path.join(outdir, "plain.dcm")
        ds.save_as(plain, write_like_original=False)
        for pair in argv[8:]:
            sv, pt = pair.split(",")
            name = os.path.join(outdir, sv + "-" + pt)
            subprocess.run(["/usr/bin/dcmcjpeg", "+el", "+sv", sv, "+pt", pt, plain, name + ".dcm"],
                           check=True)
            frame = next(generate_pixel_data_frame(dcmread(name + ".dcm").PixelData, 1))
            with open(name + ".jpg", "wb") as f:
                f.write(frame)
            decompress(name + ".dcm", name + ".raw")
    elif mode == "decode":
        for fragment in argv[6:]:
            ds = dataset(width, height, samples, bits, LOSSLESS_P14)
            with open(fragment, "rb") as f:
                ds.PixelData = encapsulate([f.read()])
            ds["PixelData"].is_undefined_length = True
            ds["PixelData"].VR = "OB"
            packed = os.path.splitext(fragment)[0] + ".dcm"
            ds.save_as(packed, write_like_original=False)
            decompress(packed, os.path.splitext(fragment)[0] + ".raw")
    else:
        sys.exit("unknown mode " + mode)


if __name__ == "__main__":
    main(sys.argv)

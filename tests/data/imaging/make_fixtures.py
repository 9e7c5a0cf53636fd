#!/usr/bin/python3
"""Builds the decoder fixtures of this folder (run from anywhere; needs python3-pydicom,
python3-numpy, dcmtk and libgdcm-tools). For every case it writes:

  NAME.fN.bin   the compressed bytes of frame N (its fragments joined)
  NAME.fN.raw   the reference decoder's bytes for that frame, in the layout our decoder gives
  NAME.frags    (multi-fragment cases) Number of Frames, the basic offset table, and each
                fragment's length and first/last bytes, for the frame-grouping tests

and one line per case in references.txt:
  NAME CODEC BITS_ALLOCATED SAMPLES PLANAR ROWS COLUMNS FRAMES EXACT

CODEC is rle, jpeg, jpegls or j2k; EXACT is 1 for lossless (byte-exact reference) and 0 for
lossy JPEG (reference: DCMTK's IJG build, no colour conversion).

Sources: synthetic native images made here, transcoded with dcmcrle / dcmcjpeg / dcmcjpls /
gdcmconv; and compressed files shipped with pydicom. References: dcmdrle, dcmdjpeg +cn,
dcmdjpls, gdcmconv --raw.
"""
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, generate_uid

HERE = os.path.dirname(os.path.abspath(__file__))
PYDICOM_FILES = '/usr/lib/python3/dist-packages/pydicom/data/test_files'
TMP = tempfile.mkdtemp(prefix='velmora-fixtures-')
rng = np.random.default_rng(20261209)


def native(name, rows, cols, bits_stored, spp=1, planar=0, signed=False, frames=1, flat=False):
    """A synthetic native image: smooth ramps, noise, and flat patches (JPEG-LS run mode)."""
    bits_alloc = 8 if bits_stored <= 8 else 16
    hi = (1 << bits_stored) - 1
    y, x = np.mgrid[0:rows, 0:cols]
    planes = []
    for f in range(frames):
        comps = []
        for c in range(spp):
            ramp = (x * 7 + y * 3 + c * 50 + f * 20) * hi // (cols * 7 + rows * 3 + 200)
            noise = rng.integers(-hi // 16 - 1, hi // 16 + 2, size=(rows, cols))
            img = np.clip(ramp + noise, 0, hi)
            img[rows // 4: rows // 2, cols // 4: cols // 2] = hi // 3  # flat patch
            img[0:2, :] = hi  # a run of the maximum
            if flat:
                img[:, :] = (c + 1) * hi // 5
            if signed:
                img = img - (1 << (bits_stored - 1))
            comps.append(img)
        planes.append(np.stack(comps, axis=-1))
    arr = np.stack(planes)  # frames, rows, cols, spp
    dtype = {(8, False): np.uint8, (8, True): np.int8, (16, False): np.uint16, (16, True): np.int16}[
        (bits_alloc, signed)]
    arr = arr.astype(dtype)
    if planar == 1:
        data = arr.transpose(0, 3, 1, 2).tobytes()
    else:
        data = arr.tobytes()
    ds = Dataset()
    ds.file_meta = FileMetaDataset()
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.file_meta.MediaStorageSOPClassUID = '1.2.840.10008.5.1.4.1.1.7'
    ds.file_meta.MediaStorageSOPInstanceUID = generate_uid()
    ds.SOPClassUID = ds.file_meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = ds.file_meta.MediaStorageSOPInstanceUID
    ds.PatientName = 'Fixture^' + name
    ds.Modality = 'OT'
    ds.Rows, ds.Columns = rows, cols
    ds.SamplesPerPixel = spp
    ds.PhotometricInterpretation = 'RGB' if spp == 3 else 'MONOCHROME2'
    if spp > 1:
        ds.PlanarConfiguration = planar
    if frames > 1:
        ds.NumberOfFrames = frames
    ds.BitsAllocated, ds.BitsStored, ds.HighBit = bits_alloc, bits_stored, bits_stored - 1
    ds.PixelRepresentation = 1 if signed else 0
    ds.PixelData = data
    ds['PixelData'].VR = 'OB' if bits_alloc == 8 else 'OW'
    ds.is_little_endian, ds.is_implicit_VR = True, False
    path = os.path.join(TMP, name + '.dcm')
    ds.save_as(path, write_like_original=False)
    return path


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def fragments(ds):
    """The items of encapsulated Pixel Data: (basic offset table, [fragment bytes])."""
    data = ds.PixelData
    pos, items = 0, []
    while pos + 8 <= len(data):
        group, elem, length = np.frombuffer(data[pos:pos + 8], dtype='<u2,<u2,<u4')[0]
        if (group, elem) != (0xFFFE, 0xE000):
            break
        items.append(data[pos + 8: pos + 8 + length])
        pos += 8 + length
    bot = np.frombuffer(items[0], dtype='<u4').tolist() if items and items[0] else []
    return bot, items[1:]


def group(bot, frags, frames):
    """Fragments per frame, as DICOM defines them (offset table, else SOI/SOC starts)."""
    if len(frags) == frames:
        return [[f] for f in frags]
    if frames == 1:
        return [frags]
    if len(bot) == frames:
        offsets, pos = [], 0
        for f in frags:
            offsets.append(pos)
            pos += 8 + len(f)
        out = []
        for i, start in enumerate(bot):
            end = bot[i + 1] if i + 1 < len(bot) else 1 << 62
            out.append([f for f, o in zip(frags, offsets) if start <= o < end])
        return out
    out = []
    for f in frags:
        if f[:2] == b'\xff\xd8' or f[:4] == b'\xff\x4f\xff\x51' or not out:
            out.append([f])
        else:
            out[-1].append(f)
    return out


def layout(ref_ds, spp, planar_out, codec):
    """Reference pixel bytes per frame, rearranged to our decoder's output layout."""
    data = ref_ds.PixelData
    rows, cols = int(ref_ds.Rows), int(ref_ds.Columns)
    frames = int(getattr(ref_ds, 'NumberOfFrames', 1) or 1)
    bits = int(ref_ds.BitsAllocated)
    bytes_per = bits // 8
    ref_planar = int(getattr(ref_ds, 'PlanarConfiguration', 0) or 0) if spp > 1 else 0
    size = rows * cols * spp * bytes_per
    out = []
    for f in range(frames):
        chunk = np.frombuffer(data[f * size:(f + 1) * size], dtype='<u%d' % bytes_per)
        if spp > 1:
            shape = (spp, rows, cols) if ref_planar == 1 else (rows, cols, spp)
            a = chunk.reshape(shape)
            if ref_planar == 1:
                a = a.transpose(1, 2, 0)  # to rows, cols, spp
            if planar_out == 1 or codec == 'j2k':
                a = a.transpose(2, 0, 1)
            chunk = a
        if codec == 'j2k':
            prec = int(ref_ds.BitsStored)
            nbytes = (prec + 7) // 8
            vals = chunk.astype(np.int64).ravel()
            if int(ref_ds.PixelRepresentation) == 1:
                vals = np.where(vals >= 1 << (bits - 1), vals - (1 << bits), vals)
            vals = vals & ((1 << (8 * nbytes)) - 1)
            out.append(vals.astype('>u%d' % nbytes).tobytes() if nbytes > 1 else vals.astype(np.uint8).tobytes())
        else:
            out.append(np.ascontiguousarray(chunk).astype('<u%d' % bytes_per).tobytes())
    return out


references = []


def add_case(name, compressed_path, reference_path, codec, exact=True, keep_fragments=False):
    ds = pydicom.dcmread(compressed_path)
    ref = pydicom.dcmread(reference_path)
    spp = int(getattr(ds, 'SamplesPerPixel', 1))
    planar = int(getattr(ds, 'PlanarConfiguration', 0) or 0) if spp > 1 else 0
    frames = int(getattr(ds, 'NumberOfFrames', 1) or 1)
    bot, frags = fragments(ds)
    grouped = group(bot, frags, frames)
    refs = layout(ref, spp, planar, codec)
    assert len(grouped) == frames == len(refs), (name, len(grouped), frames, len(refs))
    for i, (parts, raw) in enumerate(zip(grouped, refs), start=1):
        with open(os.path.join(HERE, '%s.f%d.bin' % (name, i)), 'wb') as f:
            f.write(b''.join(parts))
        with open(os.path.join(HERE, '%s.f%d.raw' % (name, i)), 'wb') as f:
            f.write(raw)
    if keep_fragments:
        with open(os.path.join(HERE, name + '.frags'), 'w') as f:
            f.write('frames %d\n' % frames)
            f.write('bot %s\n' % ' '.join(str(o) for o in bot))
            first = 0
            for parts in grouped:
                f.write('frame %d %d\n' % (first, len(parts)))
                first += len(parts)
            for part in frags:
                f.write('fragment %d %s %s\n' % (len(part), part[:8].hex() or '-', part[-4:].hex() or '-'))
    references.append('%s %s %d %d %d %d %d %d %d' % (
        name, codec, int(ds.BitsAllocated), spp, planar, int(ds.Rows), int(ds.Columns), frames, 1 if exact else 0))


def transcode(src, name, tool_args, decoder, codec, exact=True, keep_fragments=False):
    out = os.path.join(TMP, name + '.dcm')
    ref = os.path.join(TMP, name + '.ref.dcm')
    run(*tool_args, src, out)
    run(*decoder, out, ref)
    add_case(name, out, ref, codec, exact, keep_fragments)


def main():
    for f in os.listdir(HERE):
        if f.endswith(('.bin', '.raw', '.frags')):
            os.remove(os.path.join(HERE, f))
    gray8 = native('gray8', 40, 48, 8)
    rgb8 = native('rgb8', 32, 40, 8, spp=3)
    rgb8p = native('rgb8p', 32, 40, 8, spp=3, planar=1)
    gray12 = native('gray12', 36, 44, 12)
    gray16 = native('gray16', 32, 36, 16)
    gray16s = native('gray16s', 30, 34, 16, signed=True)
    gray12s = native('gray12s', 30, 34, 12, signed=True)
    rgb16 = native('rgb16', 20, 24, 16, spp=3)
    multi8 = native('multi8', 24, 32, 8, frames=3)
    big8 = native('big8', 96, 96, 8, frames=2)
    flat8 = native('flat8', 24, 24, 8, spp=3, flat=True)

    dcmrle = ['dcmdrle']
    for src, n in [(gray8, 'gray8'), (rgb8, 'rgb8'), (rgb8p, 'rgb8p'), (gray12, 'gray12'), (gray16, 'gray16'),
                   (gray16s, 'gray16s'), (rgb16, 'rgb16'), (multi8, 'multi8')]:
        transcode(src, 'rle_' + n, ['dcmcrle'], dcmrle, 'rle')
    transcode(big8, 'rle_split', ['dcmcrle', '+fs', '1'], dcmrle, 'rle', keep_fragments=True)

    djpeg = ['dcmdjpeg', '+cn']
    for src, n in [(gray8, 'gray8'), (rgb8, 'rgb8'), (multi8, 'multi8')]:
        transcode(src, 'jpeg_eb_' + n, ['dcmcjpeg', '+eb'], djpeg, 'jpeg', exact=False)
    for src, n in [(gray12, 'gray12'), (gray12s, 'gray12s')]:
        transcode(src, 'jpeg_ee_' + n, ['dcmcjpeg', '+ee'], djpeg, 'jpeg', exact=False)
    for opt in ['+el', '+e1']:
        tag = 'el' if opt == '+el' else 'e1'
        for src, n in [(gray8, 'gray8'), (rgb8, 'rgb8'), (gray12, 'gray12'), (gray16, 'gray16'),
                       (gray16s, 'gray16s'), (multi8, 'multi8')]:
            transcode(src, 'jpeg_%s_%s' % (tag, n), ['dcmcjpeg', opt], djpeg, 'jpeg')
    transcode(big8, 'jpeg_e1_split', ['dcmcjpeg', '+e1', '+fs', '1'], djpeg, 'jpeg', keep_fragments=True)

    djpls = ['dcmdjpls']
    for opt, tag in [('+il', 'il'), ('+is', 'is'), ('+in', 'in')]:
        for src, n in [(rgb8, 'rgb8'), (flat8, 'flat8')]:
            transcode(src, 'jls_%s_%s' % (tag, n), ['dcmcjpls', opt], djpls, 'jpegls')
    for src, n in [(gray8, 'gray8'), (gray12, 'gray12'), (gray16, 'gray16'), (gray16s, 'gray16s'),
                   (multi8, 'multi8')]:
        transcode(src, 'jls_' + n, ['dcmcjpls'], djpls, 'jpegls')
    for src, n in [(gray8, 'gray8'), (gray12, 'gray12'), (rgb8, 'rgb8')]:
        transcode(src, 'jls_near_' + n, ['dcmcjpls', '+en', '+md', '2'], djpls, 'jpegls')
    transcode(big8, 'jls_split', ['dcmcjpls', '+fs', '1'], djpls, 'jpegls', keep_fragments=True)

    graw = ['gdcmconv', '--raw']
    for src, n in [(gray8, 'gray8'), (rgb8, 'rgb8'), (gray16, 'gray16'), (gray12s, 'gray12s')]:
        transcode(src, 'j2k_' + n, ['gdcmconv', '--j2k'], graw, 'j2k')

    # Real files shipped with pydicom.
    shipped = [('MR_small_RLE.dcm', 'rle', dcmrle, True), ('SC_rgb_rle.dcm', 'rle', dcmrle, True),
               ('SC_rgb_rle_16bit.dcm', 'rle', dcmrle, True), ('SC_rgb_rle_2frame.dcm', 'rle', dcmrle, True),
               ('SC_rgb_rle_32bit.dcm', 'rle', dcmrle, True), ('rtdose_rle_1frame.dcm', 'rle', dcmrle, True),
               ('JPEG-lossy.dcm', 'jpeg', djpeg, False), ('SC_rgb_jpeg_dcmtk.dcm', 'jpeg', djpeg, False), ('SC_rgb_small_odd_jpeg.dcm', 'jpeg', djpeg, False),
               ('MR_small_jpeg_ls_lossless.dcm', 'jpegls', djpls, True),
               ('MR_small_jp2klossless.dcm', 'j2k', graw, True)]
    for filename, codec, decoder, exact in shipped:
        src = os.path.join(PYDICOM_FILES, filename)
        ref = os.path.join(TMP, filename + '.ref.dcm')
        try:
            run(*decoder, src, ref)
        except subprocess.CalledProcessError:
            print('skipped', filename, file=sys.stderr)
            continue
        add_case('pydicom_' + filename[:-4], src, ref, codec, exact)

    with open(os.path.join(HERE, 'references.txt'), 'w') as f:
        f.write('# NAME CODEC BITS_ALLOCATED SAMPLES PLANAR ROWS COLUMNS FRAMES EXACT (made by make_fixtures.py)\n')
        f.write('\n'.join(references) + '\n')
    shutil.rmtree(TMP)


if __name__ == '__main__':
    main()

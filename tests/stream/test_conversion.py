"""What the converter writes: hand-computed images for each family (borders,
odd sizes, packing layouts, rounding), and agreement with the NumPy
reference of tests/support/pixels.py for every pair it supports."""
import numpy as np
import pytest

import tarn_base_310 as tb
import tarn_receive_310 as tr
from support import pixels
from support.images import image_buffer, pixel_types, raw_bytes, target_buffer, view

TYPES = pixel_types()
TARGETS = ["Mono8", "Mono16", "RGB8", "BGR8", "RGBa8", "BGRa8", "RGB16", "BGR16", "RGBa16", "BGRa16"]
SOURCES = sorted(name for name in TYPES if any(pixels.expected(name, t) for t in TARGETS))


def converted(source, target, converter=None, **flags):
    """The destination's image after converting source into target."""
    destination = target_buffer(TYPES[target])
    result, out = (converter or tr.ZuBufferConverter()).Convert(source, destination, *flags.values())
    assert result.IsOK(), result.GetDescription()
    return view(out)


def convert_bytes(source_name, data, width, height, target, converter=None):
    return converted(image_buffer(TYPES[source_name], width, height, data), target, converter)


# ---- Which pairs --------------------------------------------------------------

def test_supported_pairs_are_exactly_the_expected_ones():
    # Every named type against every other, so that a pair supported by
    # mistake shows up as well as one missing.
    wrong = [(s, d) for s, sc in TYPES.items() for d, dc in TYPES.items()
             if tr.ZuBufferConverter.IsConversionSupported(sc, dc) != pixels.expected(s, d)]
    assert wrong == []
    assert len(SOURCES) == 84


# ---- Hand-computed images ---------------------------------------------------------

@pytest.mark.parametrize("source, data, mono16", [
    # GigE Vision pairs: high bits in bytes 0 and 2, low nibbles in byte 1.
    ("Mono12Packed", [0xAB, 0xCD, 0xEF], [0xABD0, 0xEFC0]),
    # PFNC: one bit stream, least significant bit first.
    ("Mono12p", [0xAB, 0xCD, 0xEF], [0xDAB0, 0xEFC0]),
    ("Mono10Packed", [0xAB, 0x21, 0xEF], [0xAB40, 0xEF80]),
    ("Mono10p", [0x01, 0x08, 0xF0, 0x3F, 0x80], [1 << 6, 2 << 6, 1023 << 6, 512 << 6]),
    ("Mono14p", [0xFF, 0x3F, 0x01, 0x00, 0, 0, 0x80], [0x3FFF << 2, 4 << 2, 0, 1 << 15]),
    # Levels above the depth count as its largest one.
    ("Mono12", [0x34, 0x12, 0xFF, 0x0F], [0xFFF0, 0xFFF0]),
    ("Mono10", [0x00, 0x04, 0xFF, 0x03], [0xFFC0, 0xFFC0]),
    ("Mono8", [0x01, 0xFF], [0x0100, 0xFF00]),
])
def test_mono_unpacking_and_depth(source, data, mono16):
    width = len(mono16)
    mono16 = np.array(mono16, np.uint16)
    assert convert_bytes(source, data, width, 1, "Mono16").tolist() == [mono16.tolist()]
    assert convert_bytes(source, data, width, 1, "Mono8").tolist() == [(mono16 >> 8).tolist()]
    rgba = convert_bytes(source, data, width, 1, "BGRa8")
    assert rgba.tolist() == [[[v >> 8] * 3 + [255] for v in mono16.tolist()]]


# A 3x3 BayerRG8 mosaic:  R10 G20 R30 / G40 B50 G60 / R70 G80 R90
BAYER_RG = [10, 20, 30, 40, 50, 60, 70, 80, 90]
BAYER_3X3 = [[(10, 30, 50), (20, 20, 50), (30, 40, 50)],
             [(40, 40, 50), (50, 50, 50), (60, 60, 50)],
             [(70, 60, 50), (80, 80, 50), (90, 70, 50)]]
BAYER_2X2 = [[(10, 30, 50), (30, 40, 50), (30, 40, 50)],
             [(70, 60, 50), (90, 70, 50), (90, 70, 50)],
             [(70, 60, 50), (90, 70, 50), (90, 70, 50)]]


@pytest.mark.parametrize("bayer_filter, expected", [(tr.ZuBayerFilter3X3, BAYER_3X3), (tr.ZuBayerFilterSimple, BAYER_2X2)])
def test_bayer_interpolation_at_borders_of_an_odd_image(bayer_filter, expected):
    converter = tr.ZuBufferConverter()
    assert converter.SetBayerFilter(bayer_filter).IsOK()
    assert convert_bytes("BayerRG8", BAYER_RG, 3, 3, "RGB8", converter).tolist() == [[list(p) for p in row] for row in expected]


def test_bayer_mean_rounds_half_up():
    # Green at the red site of a 2x2 RG mosaic: mirrored neighbours 1, 1, 2, 2 give 1.5.
    assert convert_bytes("BayerRG8", [0, 1, 2, 0], 2, 2, "RGB8")[0, 0, 1] == 2


@pytest.mark.parametrize("bicolor_filter, expected", [
    (tr.ZuBiColorFilter1X3, [(10, 1, 20), (20, 2, 20), (30, 3, 31), (30, 4, 41)]),
    (tr.ZuBiColorFilter1X2, [(10, 1, 20), (30, 2, 20), (30, 3, 41), (30, 4, 41)]),
])
def test_bicolor_filters(bicolor_filter, expected):
    # Pixels (R10 G1) (B20 G2) (R30 G3) (B41 G4).
    converter = tr.ZuBufferConverter()
    assert converter.SetBiColorFilter(bicolor_filter).IsOK()
    line = [10, 1, 20, 2, 30, 3, 41, 4]
    assert convert_bytes("BiColorRGBG8", line, 4, 1, "RGB8", converter).tolist() == [[list(p) for p in expected]]
    # BGRG carries blue first: the same bytes swap red and blue.
    assert convert_bytes("BiColorBGRG8", line, 4, 1, "BGR8", converter).tolist() == [[list(p) for p in expected]]


@pytest.mark.parametrize("source, data, width", [
    ("YUV422_8", [100, 90, 200, 160], 2),
    ("YUV422_8_UYVY", [90, 100, 160, 200], 2),
    ("YUV411_8_UYYVYY", [90, 100, 200, 160, 100, 200], 4),
    ("YUV8_UYV", [90, 100, 160, 90, 200, 160], 2),
])
def test_yuv_orders_decode_alike(source, data, width):
    # Y 100 and 200 with U 90 and V 160, BT.601 full range, rounded half up.
    expected = [[145, 90, 33], [245, 190, 133]] * (width // 2)
    assert convert_bytes(source, data, width, 1, "RGB8").tolist() == [expected]


def test_yuv_saturates():
    assert convert_bytes("YUV8_UYV", [0, 250, 255, 255, 5, 0], 2, 1, "RGB8").tolist() == [[[255, 203, 23], [0, 53, 230]]]


def test_channel_order_depth_and_alpha():
    assert convert_bytes("BGR8", [1, 2, 3], 1, 1, "RGBa8").tolist() == [[[3, 2, 1, 255]]]
    assert convert_bytes("RGBa8", [1, 2, 3, 9], 1, 1, "BGR8").tolist() == [[[3, 2, 1]]]
    rgb12 = np.array([0x0FFF, 0x0100, 0x1001], "<u2").view(np.uint8)
    assert convert_bytes("RGB12", rgb12, 1, 1, "BGRa16").tolist() == [[[0xFFF0, 0x1000, 0xFFF0, 0xFFFF]]]
    assert convert_bytes("RGB12", rgb12, 1, 1, "RGB8").tolist() == [[[0xFF, 0x10, 0xFF]]]


def test_rgb_filter_gains_offsets_and_limits():
    converter = tr.ZuBufferConverter()
    rgb_filter = tr.ZuBufferConverterRGBFilter()
    for setter, value in (("SetGainR", 1.5), ("SetGainG", 1), ("SetGainB", 0.5),
                          ("SetOffsetR", 10), ("SetOffsetG", -60), ("SetOffsetB", 0)):
        getattr(rgb_filter, setter)(value)
    assert converter.SetRGBFilter(rgb_filter).IsOK()
    source = image_buffer(tb.ZuPixelRGB8, 2, 1, [100, 50, 201, 200, 255, 3])
    assert converted(source, "BGR8", converter).tolist() == [[[101, 0, 160], [2, 195, 255]]]
    # Offsets count levels of the destination's depth; mono destinations are left alone.
    rgb_filter.SetOffsetR(-100)
    rgb12 = image_buffer(tb.ZuPixelRGB12, 1, 1, np.array([1000, 2000, 3000], "<u2").view(np.uint8))
    assert converted(rgb12, "RGB16", converter).tolist() == [[[16000 * 3 // 2 - 100, 32000 - 60, 24000]]]
    assert convert_bytes("Mono8", [100], 1, 1, "Mono8", converter).tolist() == [[100]]


def test_white_balance_gains_even_out_the_means():
    rgb_filter = tr.ZuBufferConverterRGBFilter()
    rgb_filter.SetOffsetB(7)
    sample = image_buffer(tb.ZuPixelBGR8, 2, 1, [150, 80, 20, 250, 120, 80])  # means B 200, G 100, R 50
    assert rgb_filter.WhiteBalance(sample).IsOK()
    assert (rgb_filter.GetGainR(), rgb_filter.GetGainG(), rgb_filter.GetGainB(), rgb_filter.GetOffsetB()) == (4.0, 2.0, 1.0, 7)
    # A channel without light leaves the gains as they were.
    dark = image_buffer(tb.ZuPixelRGB8, 1, 1, [0, 10, 10])
    assert rgb_filter.WhiteBalance(dark).GetCode() == tb.ZU_INVALID_PARAMETER
    assert rgb_filter.GetGainR() == 4.0


def test_flip_writes_the_lines_bottom_to_top():
    source = image_buffer(tb.ZuPixelMono8, 3, 3, list(range(9)))
    assert converted(source, "Mono8", None, realloc=True, flip=True).tolist() == [[6, 7, 8], [3, 4, 5], [0, 1, 2]]


# ---- The destination's memory ----------------------------------------------------

def test_destination_of_the_right_size_is_written_in_place_with_its_padding():
    source = image_buffer(tb.ZuPixelMono8, 3, 2, list(range(6)))
    destination = tb.ZuBuffer()
    assert destination.GetImage().Alloc(3, 2, tb.ZuPixelBGR8, 1).IsOK()
    destination.GetDataPointer()[:] = 77
    memory = destination.GetDataPointer()
    assert tr.ZuBufferConverter().Convert(source, destination)[0].IsOK()
    assert np.shares_memory(memory, destination.GetDataPointer())
    pixels_with_padding = destination.GetImage().GetDataPointer()
    assert pixels_with_padding[:, :3, 0].tolist() == [[0, 1, 2], [3, 4, 5]]
    assert (pixels_with_padding[:, 3] == 77).all()


def test_destination_too_small_is_reallocated_only_when_allowed_and_owned():
    source = image_buffer(tb.ZuPixelMono8, 3, 3)
    converter = tr.ZuBufferConverter()
    small = target_buffer(tb.ZuPixelRGB8)
    result, out = converter.Convert(source, small, False)
    assert (result.GetCode(), out) == (tb.ZU_GENERIC_ERROR, None)
    result, out = converter.Convert(source, small, True)
    assert result.IsOK() and view(out).shape == (3, 3, 3)
    # Memory the buffer does not own is never replaced: too small, it fails.
    attached = tb.ZuBuffer()
    memory = np.zeros((2, 2, 3), np.uint8)
    assert attached.GetImage().Attach(memory, tb.ZuPixelRGB8).IsOK()
    result, out = converter.Convert(source, attached, True)
    assert (result.GetCode(), out) == (tb.ZU_GENERIC_ERROR, None)
    # Large enough, it is written where it is.
    roomy = np.zeros((3, 3, 3), np.uint8)
    assert attached.GetImage().Attach(roomy, tb.ZuPixelRGB8).IsOK()
    assert converter.Convert(source, attached)[0].IsOK()
    assert (roomy[..., 1] == view(source)).all()


# ---- Agreement with the NumPy reference ----------------------------------------

def agree(source_name, options=None, converter=None, width=9, height=5, padding_x=3, targets=TARGETS, seed=1):
    """Converts a random image into every target the pair allows and
    compares with the reference; returns the targets that differ."""
    fmt = pixels.parse(source_name)
    if fmt.family == "Yuv":
        padding_x = 4 - width % 4 if source_name.startswith("YUV411") else width % 2
    source = image_buffer(TYPES[source_name], width, height, padding_x=padding_x, padding_y=1, seed=seed)
    data = raw_bytes(source)
    converter = converter or tr.ZuBufferConverter()
    differ = []
    for target in targets:
        if not pixels.expected(source_name, target):
            continue
        got = converted(source, target, converter, realloc=True, flip=bool(options and options.flip))
        want = pixels.convert(fmt, data, width, height, padding_x, target, options)
        # YUV is decoded in fixed point: within a level of the formula's.
        allowed = 1 if fmt.family == "Yuv" else 0
        if got.shape != want.shape or np.abs(got.astype(int) - want).max() > allowed:
            differ.append(target)
    return differ


@pytest.mark.parametrize("source_name", SOURCES)
def test_every_pair_agrees_with_the_reference(source_name):
    assert agree(source_name) == []


@pytest.mark.parametrize("source_name", ["BayerGB12p", "BayerBG10Packed", "BiColorBGRG10p", "RGBa14", "YUV411_8_UYYVYY", "Mono14p"])
def test_filters_flip_and_rgb_filter_agree_with_the_reference(source_name):
    options = pixels.Options(bayer3x3=False, bicolor1x3=False, flip=True, gains=(0.7, 1.25, 2.0), offsets=(-3, 5, 40))
    converter = tr.ZuBufferConverter()
    converter.SetBayerFilter(tr.ZuBayerFilterSimple)
    converter.SetBiColorFilter(tr.ZuBiColorFilter1X2)
    rgb_filter = tr.ZuBufferConverterRGBFilter()
    for c, name in enumerate("RGB"):
        getattr(rgb_filter, "SetGain" + name)(options.gains[c])
        getattr(rgb_filter, "SetOffset" + name)(options.offsets[c])
    converter.SetRGBFilter(rgb_filter)
    assert agree(source_name, options, converter, width=8, height=7, seed=5) == []


@pytest.mark.parametrize("source_name", ["BayerRG8", "BayerGB8", "YUV422_8_UYVY", "YUV422_8"])
def test_wide_lines_agree_with_the_reference(source_name):
    # Lines long enough for the kernels' vector steps, and a last step that
    # overlaps the one before it.
    assert agree(source_name, width=101, height=4, targets=["RGB8", "BGR8", "RGBa8"]) == []


@pytest.mark.parametrize("width, height", [(2, 2), (3, 2), (2, 3), (5, 3)])
def test_smallest_bayer_images_agree_with_the_reference(width, height):
    for name in ("BayerRG8", "BayerGR12p", "BayerGB10Packed", "BayerBG16"):
        assert agree(name, width=width, height=height, padding_x=0, targets=["RGB8", "BGRa16"]) == [], name


def test_yuv_decoding_is_within_a_level_and_rarely_off():
    # Every U and V with 16 levels of Y, in the 4:4:4 layout (U Y V).
    u, y, v = np.meshgrid(np.arange(256), np.arange(0, 256, 17), np.arange(256), indexing="ij")
    data = np.stack([u, y, v], axis=-1).astype(np.uint8).reshape(-1)
    width, height = 1024, data.size // 3 // 1024
    got = converted(image_buffer(tb.ZuPixelYUV8_UYV, width, height, data), "RGB8").astype(int)
    want = pixels.yuv(data, "UYV", width, height, 0)
    off = np.abs(got - want)
    assert off.max() <= 1 and (off > 0).mean() < 0.01


def test_result_does_not_depend_on_the_thread_count():
    # Large enough that every thread gets bands of lines.
    source = image_buffer(tb.ZuPixelBayerRG12p, 1000, 301, padding_x=4, seed=3)
    results = [converted(source, "RGB16", tr.ZuBufferConverter(threads)) for threads in (1, 2, 7, -1)]
    for other in results[1:]:
        assert (other == results[0]).all()
    want = pixels.convert(pixels.parse("BayerRG12p"), raw_bytes(source), 1000, 301, 4, "RGB16")
    assert (results[0] == want).all()

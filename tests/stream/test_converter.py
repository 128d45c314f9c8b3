"""The converter's and RGB filter's Python functions: error texts, Convert's
dispatch and result, settings, and what keeps what alive."""
import gc
import weakref

import numpy as np
import pytest

import tarn_base_310 as tb
import tarn_receive_310 as tr
from support import error_of, prototypes
from support.images import image_buffer, target_buffer, view
from support.threads import assert_releases_the_interpreter

m = tr._tarn_receive_310

CONVERT = prototypes("ZuBufferConverter_Convert", *(
    f"ZuBufferConverter::Convert({source},ZuBuffer *{flags})"
    for source in ("ZuBuffer const *", "IZuImage const *") for flags in (",bool,bool", ",bool", "")))


def convert_error(argument, kind):
    """The text of a Convert form that was chosen and then refused an argument."""
    return (TypeError, f"in method 'ZuBufferConverter_Convert', argument {argument} of type '{kind}'\n"
            f"Additional information:\n{CONVERT}")


@pytest.fixture
def conv():
    return tr.ZuBufferConverter()


@pytest.fixture
def src():
    return image_buffer(tb.ZuPixelMono8, 4, 3)


def test_golden_error_texts(conv, src):
    dst, rgb_filter = tb.ZuBuffer(), tr.ZuBufferConverterRGBFilter()
    cases = [
        (m.new_ZuBufferConverter, (2 ** 31,), (TypeError, prototypes(
            "new_ZuBufferConverter", "ZuBufferConverter::ZuBufferConverter(int32_t)", "ZuBufferConverter::ZuBufferConverter()"))),
        (m.ZuBufferConverter_Convert, (conv, src, dst, 1), convert_error(4, "bool")),
        (m.ZuBufferConverter_Convert, (conv, src, dst, True, 0), convert_error(5, "bool")),
        (m.ZuBufferConverter_Convert, (conv, 3, dst), convert_error(2, "IZuImage const *")),
        (m.ZuBufferConverter_Convert, (conv, 3, dst, True), convert_error(2, "ZuBuffer const *")),
        (m.ZuBufferConverter_Convert, (conv, src, src.GetImage()), convert_error(3, "ZuBuffer *")),
        (m.ZuBufferConverter_Convert, (conv, src), (TypeError, CONVERT)),
        (m.ZuBufferConverter_Convert, (dst, src, dst), convert_error(1, "ZuBufferConverter *")),
        (m.ZuBufferConverter_GetBayerFilter, (dst,), (TypeError, "in method 'ZuBufferConverter_GetBayerFilter', argument 1 of type 'ZuBufferConverter const *'")),
        (m.ZuBufferConverter_GetBiColorFilter, (None,), (TypeError, "in method 'ZuBufferConverter_GetBiColorFilter', argument 1 of type 'ZuBufferConverter const *'")),
        (m.ZuBufferConverter_GetConversionThreadsPriority, (3,), (TypeError, "in method 'ZuBufferConverter_GetConversionThreadsPriority', argument 1 of type 'ZuBufferConverter const *'")),
        (m.ZuBufferConverter_ResetRGBFilter, (rgb_filter,), (TypeError, "in method 'ZuBufferConverter_ResetRGBFilter', argument 1 of type 'ZuBufferConverter *'")),
        (m.ZuBufferConverter_IsConversionSupported, ("Mono8", 1), (TypeError, "in method 'ZuBufferConverter_IsConversionSupported', argument 1 of type 'ZuPixelType'")),
        (m.ZuBufferConverter_IsConversionSupported, (1, 2 ** 31), (OverflowError, "in method 'ZuBufferConverter_IsConversionSupported', argument 2 of type 'ZuPixelType'")),
        (m.ZuBufferConverter_SetBayerFilter, (conv, 2.0), (TypeError, "in method 'ZuBufferConverter_SetBayerFilter', argument 2 of type 'ZuBayerFilterType'")),
        (m.ZuBufferConverter_SetBiColorFilter, (conv, "1X3"), (TypeError, "in method 'ZuBufferConverter_SetBiColorFilter', argument 2 of type 'ZuBiColorFilterType'")),
        (m.ZuBufferConverter_SetConversionThreadsPriority, (conv, -1), (OverflowError, "in method 'ZuBufferConverter_SetConversionThreadsPriority', argument 2 of type 'uint32_t'")),
        (m.ZuBufferConverter_SetRGBFilter, (conv, dst), (TypeError, "in method 'ZuBufferConverter_SetRGBFilter', argument 2 of type 'ZuBufferConverterRGBFilter &'")),
        (m.ZuBufferConverter_SetRGBFilter, (conv, None), (TypeError, "invalid null reference in method 'ZuBufferConverter_SetRGBFilter', argument 2 of type 'ZuBufferConverterRGBFilter &'")),
        (m.ZuBufferConverterRGBFilter_SetGainB, (rgb_filter, "2"), (TypeError, "in method 'ZuBufferConverterRGBFilter_SetGainB', argument 2 of type 'double'")),
        (m.ZuBufferConverterRGBFilter_SetOffsetG, (rgb_filter, 2 ** 31), (OverflowError, "in method 'ZuBufferConverterRGBFilter_SetOffsetG', argument 2 of type 'int32_t'")),
        (m.ZuBufferConverterRGBFilter_SetOffsetR, (rgb_filter, 1.0), (TypeError, "in method 'ZuBufferConverterRGBFilter_SetOffsetR', argument 2 of type 'int32_t'")),
        (m.ZuBufferConverterRGBFilter_WhiteBalance, (rgb_filter, src.GetImage()), (TypeError, "in method 'ZuBufferConverterRGBFilter_WhiteBalance', argument 2 of type 'ZuBuffer *'")),
        (m.ZuBufferConverterRGBFilter_GetGainR, (conv,), (TypeError, "in method 'ZuBufferConverterRGBFilter_GetGainR', argument 1 of type 'ZuBufferConverterRGBFilter const *'")),
    ]
    for func, args, expected in cases:
        assert error_of(func, *args) == expected, func.__name__


@pytest.mark.parametrize("flags", [(), (True,), (True, False)])
def test_convert_answers_a_second_proxy_of_the_destination(conv, src, flags):
    for source in (src, src.GetImage()):
        destination = target_buffer(tb.ZuPixelRGB8)
        answer = conv.Convert(source, destination, *flags)
        assert type(answer) is tuple and len(answer) == 2
        result, out = answer
        assert result.IsOK() and result.this.own()
        assert out is not destination and out == destination and not out.this.own()
        assert np.shares_memory(out.GetDataPointer(), destination.GetDataPointer())
        assert (view(out)[..., 2] == view(src)).all()


def test_failed_conversion_answers_none(conv, src):
    invalid, generic = tb.ZU_INVALID_PARAMETER, tb.ZU_GENERIC_ERROR
    for args, code in (((src, None), invalid), ((None, tb.ZuBuffer()), invalid), ((None, tb.ZuBuffer(), True, True), invalid),
                       ((src, tb.ZuBuffer()), invalid),                      # no pixel type asked for
                       ((src, target_buffer(tb.ZuPixelYUV422_8)), invalid),  # a pair it does not convert
                       ((src, target_buffer(tb.ZuPixelRGB8), False), generic)):  # too small, may not grow
        result, out = conv.Convert(*args)
        assert (result.GetCode(), out) == (code, None), args


def test_flags_default_to_reallocate_and_no_flip(conv):
    source = image_buffer(tb.ZuPixelMono8, 2, 2, [1, 2, 3, 4])
    _, out = conv.Convert(source, target_buffer(tb.ZuPixelMono8))
    assert view(out).tolist() == [[1, 2], [3, 4]]
    _, out = conv.Convert(source.GetImage(), target_buffer(tb.ZuPixelMono8), True)
    assert view(out).tolist() == [[1, 2], [3, 4]]
    _, out = conv.Convert(source, target_buffer(tb.ZuPixelMono8), True, True)
    assert view(out).tolist() == [[3, 4], [1, 2]]


def test_the_answered_destination_keeps_the_callers_buffer_alive(conv, src):
    destination = target_buffer(tb.ZuPixelMono8)
    given = weakref.ref(destination)
    _, out = conv.Convert(src, destination)
    del destination
    gc.collect()
    assert (view(out) == view(src)).all()
    assert given() is not None
    del out
    gc.collect()
    assert given() is None


def test_converter_settings(conv):
    assert conv.GetBayerFilter() == tr.ZuBayerFilter3X3 and conv.GetBiColorFilter() == tr.ZuBiColorFilter1X3
    assert conv.SetBayerFilter(tr.ZuBayerFilterSimple).IsOK() and conv.GetBayerFilter() == tr.ZuBayerFilterSimple
    assert conv.SetBiColorFilter(tr.ZuBiColorFilter1X2).IsOK() and conv.GetBiColorFilter() == tr.ZuBiColorFilter1X2
    for wrong in (0, 3, -1):
        assert conv.SetBayerFilter(wrong).GetCode() == tb.ZU_INVALID_PARAMETER
        assert conv.SetBiColorFilter(wrong).GetCode() == tb.ZU_INVALID_PARAMETER
    assert conv.GetBayerFilter() == tr.ZuBayerFilterSimple and conv.GetBiColorFilter() == tr.ZuBiColorFilter1X2
    assert conv.GetConversionThreadsPriority() == 0
    assert conv.SetConversionThreadsPriority(100).GetCode() == tb.ZU_INVALID_PARAMETER
    assert conv.SetConversionThreadsPriority(0).IsOK() and conv.GetConversionThreadsPriority() == 0
    assert (tr.ZuBayerFilterSimple, tr.ZuBayerFilter3X3, tr.ZuBiColorFilter1X2, tr.ZuBiColorFilter1X3) == (1, 2, 1, 2)


def test_default_and_minus_one_make_the_same_converter(src):
    outs = [view(c.Convert(src, target_buffer(tb.ZuPixelBGRa8))[1]) for c in (tr.ZuBufferConverter(), tr.ZuBufferConverter(-1), tr.ZuBufferConverter(0))]
    assert all((o == outs[0]).all() for o in outs)


def test_rgb_filter_values():
    rgb_filter = tr.ZuBufferConverterRGBFilter()
    assert [getattr(rgb_filter, "Get" + n)() for n in ("GainR", "GainG", "GainB", "OffsetR", "OffsetG", "OffsetB")] == [1.0, 1.0, 1.0, 0, 0, 0]
    rgb_filter.SetGainG(2)
    rgb_filter.SetGainR(0.25)
    rgb_filter.SetOffsetB(-2 ** 31)
    rgb_filter.SetOffsetR(2 ** 31 - 1)
    values = [rgb_filter.GetGainR(), rgb_filter.GetGainG(), rgb_filter.GetGainB(), rgb_filter.GetOffsetR(), rgb_filter.GetOffsetB()]
    assert values == [0.25, 2.0, 1.0, 2 ** 31 - 1, -2 ** 31] and type(values[1]) is float
    assert rgb_filter.Reset() is None
    assert (rgb_filter.GetGainR(), rgb_filter.GetOffsetR(), rgb_filter.GetOffsetB()) == (1.0, 0, 0)
    assert rgb_filter.WhiteBalance(None).GetCode() == tb.ZU_INVALID_PARAMETER


def red_gain_applied(conv):
    """The red level written for a mono level of 100."""
    _, out = conv.Convert(image_buffer(tb.ZuPixelMono8, 1, 1, [100]), target_buffer(tb.ZuPixelRGB8))
    return int(view(out)[0, 0, 0])


def test_converter_follows_its_filter_and_holds_it_until_let_go(conv):
    rgb_filter = tr.ZuBufferConverterRGBFilter()
    held = weakref.ref(rgb_filter)
    assert conv.SetRGBFilter(rgb_filter).IsOK()
    rgb_filter.SetGainR(2)        # changed after it was given
    del rgb_filter
    gc.collect()
    assert red_gain_applied(conv) == 200
    assert held() is not None
    # Another filter replaces it, and the first one is let go.
    other = tr.ZuBufferConverterRGBFilter()
    other.SetGainR(0.5)
    assert conv.SetRGBFilter(other).IsOK()
    gc.collect()
    assert held() is None and red_gain_applied(conv) == 50
    other_held = weakref.ref(other)
    del other
    assert conv.ResetRGBFilter().IsOK()
    gc.collect()
    assert other_held() is None and red_gain_applied(conv) == 100
    # The converter's deletion lets its filter go too.
    last, own = tr.ZuBufferConverterRGBFilter(), tr.ZuBufferConverter()
    last_held = weakref.ref(last)
    own.SetRGBFilter(last)
    del last, own
    gc.collect()
    assert last_held() is None


def test_filter_destroyed_explicitly_leaves_the_converter_working(conv):
    rgb_filter = tr.ZuBufferConverterRGBFilter()
    rgb_filter.SetGainR(2)
    conv.SetRGBFilter(rgb_filter)
    m.delete_ZuBufferConverterRGBFilter(rgb_filter)
    assert red_gain_applied(conv) == 200


def test_one_filter_serves_several_converters():
    rgb_filter = tr.ZuBufferConverterRGBFilter()
    rgb_filter.SetGainR(1.5)
    first, second = tr.ZuBufferConverter(), tr.ZuBufferConverter(1)
    first.SetRGBFilter(rgb_filter)
    second.SetRGBFilter(rgb_filter)
    assert red_gain_applied(first) == red_gain_applied(second) == 150
    first.ResetRGBFilter()
    assert (red_gain_applied(first), red_gain_applied(second)) == (100, 150)


def test_conversion_lets_other_threads_run():
    source = image_buffer(tb.ZuPixelBayerRG12p, 4096, 2048)
    destination = target_buffer(tb.ZuPixelRGB16)
    result, _ = assert_releases_the_interpreter(tr.ZuBufferConverter(1).Convert, source, destination)
    assert result.IsOK()

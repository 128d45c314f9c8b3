"""The typemap library (core/typemaps) through tarn_typemaps_testext, a
test-only module that applies each mechanism to declarations of its own:
result sequences in every shape, out-values made per call, downcasting,
refused nulls and what keeps what alive."""
import gc
import weakref

import pytest

import tarn_base_310 as tb
import tarn_typemaps_testext as t


@pytest.fixture
def shop():
    return t.Shop()


def codes(seq):
    """A sequence with its ZuResult replaced by the result's code."""
    first, *rest = seq
    # The class of the module imported last.
    assert type(first).__name__ == "ZuResult"
    return type(seq)([first.GetCode(), *rest])


def test_list_shapes_convert_always_or_only_when_ok(shop):
    assert codes(shop.Listed(0)) == [0, 7, True]
    assert codes(shop.Listed(5)) == [5, 7, True]
    assert codes(shop.Checked(0)) == [0, -5, "seven"]
    assert codes(shop.Checked(5)) == [5, None, None]
    assert codes(shop.KindOf(0)) == [0, t.KindCat]
    assert codes(shop.KindOf(3)) == [3, None]
    for seq in (shop.Listed(0), shop.Checked(5), shop.KindOf(0)):
        assert type(seq) is list


def test_tuple_shapes_keep_every_item(shop):
    paired = shop.Paired(3)
    assert type(paired) is tuple and codes(paired) == (3, 1 << 40)
    assert codes(shop.Range(0)) == (0, -1.5, 2.5)
    assert codes(shop.Range(5)) == (5, None, None)
    assert type(shop.Range(5)) is tuple


def test_void_operation_tuple_holds_only_the_values(shop):
    assert shop.Steps() == (1, 4000000000, 3)
    assert type(shop.Steps()) is tuple


def test_each_result_is_a_new_owned_object(shop):
    first, second = shop.Listed(0)[0], shop.Listed(0)[0]
    assert first is not second and first.this.own() and second.this.own()


def test_echoed_text_comes_back_when_ok(shop):
    assert codes(shop.Echo(0, "abc")) == [0, "abc"]
    assert codes(shop.Echo(0, tb.ZuString("zu"))) == [0, "zu"]
    assert codes(shop.Echo(1, "abc")) == [1, None]


def test_echoed_object_is_a_second_proxy_that_keeps_the_first(shop):
    bag = t.Bag()
    result, echoed = shop.Hand(0, bag)
    assert result.GetCode() == 0 and echoed is not bag and not echoed.thisown
    assert int(echoed.this) == int(bag.this) and echoed.mItems == 2
    given = weakref.ref(bag)
    del bag
    gc.collect()
    assert given() is not None and echoed.mItems == 2
    del echoed
    gc.collect()
    assert given() is None
    assert codes(shop.Hand(3, t.Bag())) == (3, None)
    assert codes(shop.Hand(0, None)) == (0, None)


def test_unsigned_out_value_reads_a_wide_code_as_unsigned(shop):
    assert codes(shop.Widest(0)) == (0, 0x80000001)
    assert codes(shop.Widest(9)) == (9, 0x80000001)


def test_new_object_passes_to_python_and_keeps_the_called_object():
    shop = t.Shop()
    assert t.BagsAlive() == 0
    result, bag = shop.NewBag(4)
    assert result.GetCode() == 4 and bag.mItems == 3 and bag.thisown
    assert t.BagsAlive() == 1
    owner = weakref.ref(shop)
    del shop, result
    gc.collect()
    assert owner() is not None
    del bag
    gc.collect()
    assert t.BagsAlive() == 0 and owner() is None


def test_new_object_is_freed_when_a_later_argument_fails(shop):
    with pytest.raises(TypeError, match="argument 2 of type 'int32_t'"):
        shop.NewBagChecked("x")
    with pytest.raises(OverflowError):
        shop.NewBagChecked(1 << 40)
    assert t.BagsAlive() == 0


def test_filled_record_is_copied_into_an_owned_object(shop):
    result, bag = shop.FillBag(3)
    assert result.GetCode() == 3 and bag.mItems == 9 and bag.thisown
    assert t.BagsAlive() == 1
    del bag
    assert t.BagsAlive() == 0


def test_borrowed_object_out_value_is_downcast_and_keeps_its_owner():
    shop = t.Shop()
    result, found = shop.Find(3)
    assert result.IsOK() and type(found) is t.Puppy and not found.thisown
    assert found.Sound() == "yip" and shop.Identify(found) == 3
    assert codes(shop.Find(7)) == [25, None]
    owner = weakref.ref(shop)
    del shop, result
    gc.collect()
    assert owner() is not None and found.Sound() == "yip"
    del found
    gc.collect()
    assert owner() is None


def test_downcast_gives_the_most_specific_kind_first_listed(shop):
    assert [type(shop.Get(kind)) for kind in (1, 2, 3)] == [t.Dog, t.Cat, t.Puppy]
    assert shop.Get(0) is None
    assert [shop.Identify(shop.Get(kind)) for kind in (1, 2, 3)] == [1, 2, 3]
    borrowed = shop.Get(1)
    assert not borrowed.thisown and borrowed._tarn_owner is shop


def test_downcast_of_an_owned_object_does_not_hold_the_maker(shop):
    adopted = shop.Adopt(3)
    assert type(adopted) is t.Puppy and adopted.thisown and adopted.Sound() == "yip"
    assert not hasattr(adopted, "_tarn_owner")
    assert shop.Adopt(0) is None


def test_refused_null_names_the_argument(shop):
    assert shop.Hear(shop.Get(2)) == "meow"
    with pytest.raises(TypeError) as info:
        shop.Hear(None)
    assert str(info.value) == "invalid null reference in method 'Shop_Hear', argument 2 of type 'Animal *'"
    assert shop.Identify(None) == -1

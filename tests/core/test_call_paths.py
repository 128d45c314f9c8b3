"""The fast paths of a wrapped call (core/typemaps/runtime_fixes.i and
strings.i): the remembered answer to "is this a pointer object", and the
remembered texts of str arguments. Each must give what the slow path gave."""
import subprocess
import sys
import threading
import weakref

import pytest

import tarn_base_310 as tb
import tarn_receive_310 as tr
import tarn_typemaps_testext as t

m = tb._tarn_base_310


def test_pointer_objects_and_proxies_of_every_origin_are_taken():
    shop = t.Shop()
    dog = shop.Get(1)
    assert shop.Identify(dog) == 1
    assert shop.Identify(dog.this) == 1

    class Subclassed(t.Dog):
        pass

    sub = Subclassed.__new__(Subclassed)
    sub.this = dog.this
    assert shop.Identify(sub) == 1
    # A proxy of a proxy answers `this` by forwarding.
    assert shop.Identify(weakref.proxy(dog)) == 1
    # Results made by another module carry that module's pointer type.
    other = tr.ZuResult(5)
    assert m.ZuResult_GetCode(other) == 5 and m.ZuResult_GetCode(other.this) == 5
    assert tr._tarn_receive_310.ZuResult_GetCode(tb.ZuResult(7)) == 7


def test_answers_stay_right_beyond_the_remembered_types():
    shop = t.Shop()
    cat = shop.Get(2)
    # More classes than are remembered, each asked twice, holders and
    # refusals interleaved.
    for round_ in range(2):
        for i in range(100):
            holder = type(f"Holder{i}", (), {})()
            holder.this = cat.this
            assert shop.Identify(holder) == 2, (round_, i)
            empty = type(f"Empty{i}", (), {})()
            with pytest.raises(TypeError, match="argument 2 of type 'Animal \\*'"):
                shop.Identify(empty)
    for wrong in (1, "x", 2.5, [cat], b"x", (cat,), {"this": cat.this}):
        with pytest.raises(TypeError, match="argument 2 of type 'Animal \\*'"):
            shop.Identify(wrong)
    assert shop.Identify(cat) == 2


def test_a_class_named_like_the_pointer_type_is_refused_not_read():
    code = """
import tarn_base_310 as tb
SwigPyObject = type("SwigPyObject", (), {"__slots__": ()})
try:
    tb._tarn_base_310.ZuResult_IsOK(SwigPyObject())
except TypeError as e:
    print(e)
"""
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout == "in method 'ZuResult_IsOK', argument 1 of type 'ZuResult const *'\n"


@pytest.mark.parametrize("length", [1, 63, 64, 65, 126, 127, 128, 129, 300])
@pytest.mark.parametrize("unit", ["a", "é", "€", "\U0001F600"])
def test_texts_of_every_length_come_back_whole(length, unit):
    text = unit * length
    assert t.Text(text) == text and t.Length(text) == length
    assert t.Text(text) == text


def test_texts_that_need_the_slow_forms():
    assert t.Text("ab\0cd") == "ab"
    assert t.Text("\udc80x") == "\udc80x"
    assert t.Text(("z" * 200) + "\0") == "z" * 200

    class Name(str):
        pass

    assert t.Text(Name("sub")) == "sub"
    assert t.Text(tb.ZuString("zu")) == "zu"
    for wrong in ("\udc80\0", 5, b"bytes"):
        with pytest.raises(TypeError) as info:
            t.Text(wrong)
        assert str(info.value) == "Argument 1: failed to create ZuString from Python string"


def test_many_short_lived_texts_each_read_as_given():
    # Each text is freed after its call, so a new one may take its address.
    for i in range(2000):
        text = f"feature{i}"
        assert t.Length(text) == len(text) and t.Text(text) == text, i
    for i in range(2000):
        assert t.Text(f"{i:>6}") == f"{i:>6}", i


def test_texts_read_on_other_threads_while_replaced():
    names = [f"name{i}" for i in range(97)]
    failures = []

    def read(offset):
        for i in range(150):
            name = names[(i * 7 + offset) % len(names)]
            got = t.SlowText(name)
            if got != name:
                failures.append((name, got))

    threads = [threading.Thread(target=read, args=(k,)) for k in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=60)
    assert not any(thread.is_alive() for thread in threads)
    assert failures == []


def test_returned_proxies_are_made_by_their_class():
    shop = t.Shop()
    made = []

    def new(cls, *args, **kwargs):
        made.append(cls)
        return object.__new__(cls)

    t.Cat.__new__ = staticmethod(new)
    try:
        cat = shop.Get(2)
    finally:
        del t.Cat.__new__
    assert made == [t.Cat] and type(cat) is t.Cat and cat.Sound() == "meow"
    assert type(shop.Get(2)) is t.Cat and made == [t.Cat]

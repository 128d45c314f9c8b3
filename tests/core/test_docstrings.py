"""A docstring names only the arguments its Python call takes. Where the
binding folds memory and its length into one array or bytes argument, the
docstring is the binding's own in every module; where it returns out-values,
it is in the module whose docstrings give Python signatures."""
import inspect
import re

import pytest

import tarn_base_310 as tb
import tarn_edge_310 as te
import tarn_receive_310 as tr


def documented_but_not_taken(module):
    """{Class.method: [names a :param line gives that the call does not take]}
    for the methods with a fixed signature."""
    found = {}
    for class_name, cls in vars(module).items():
        if not inspect.isclass(cls) or cls.__module__ != module.__name__:
            continue
        for name, method in vars(cls).items():
            method = getattr(method, "__func__", method)
            if not inspect.isfunction(method) or not method.__doc__:
                continue
            taken = inspect.signature(method).parameters
            if any(p.kind is p.VAR_POSITIONAL for p in taken.values()):
                continue
            extra = [p for p in re.findall(r":param (\w+):", method.__doc__) if p not in taken]
            if extra:
                found[f"{class_name}.{name}"] = extra
    return found


def test_python_signature_docstrings_name_only_what_the_call_takes():
    assert documented_but_not_taken(tb) == {}


# (class, method, the Python call's first docstring line)
FOLDED = [
    ("ZuGenParameterArray", "AttachDataChunks", "AttachDataChunks(aBuffer) -> ZuResult"),
    ("ZuBuffer", "Attach", "Attach(aBuffer) -> ZuResult"),
    ("ZuBuffer", "AddChunk", "AddChunk(aID, aData) -> ZuResult"),
    ("IZuChunkData", "AddChunk", "AddChunk(aID, aData) -> ZuResult"),
    ("IZuGenDCChunkWriter", "AddChunk", "AddChunk(aID, aData) -> ZuResult"),
]


# Each in every module that has its class.
CASES = [(m, c, f, first) for c, f, first in FOLDED for m in (tb, tr, te) if hasattr(m, c)]


@pytest.mark.parametrize("module, class_name, method, first", CASES,
                         ids=[f"{m.__name__}:{c}.{f}" for m, c, f, _ in CASES])
def test_a_folded_argument_is_documented_as_the_call_takes_it(module, class_name, method, first):
    function = getattr(getattr(module, class_name), method)
    doc = function.__doc__
    assert doc.lstrip().startswith(first + "\n")
    params = re.findall(r":param (\w+):", doc)
    assert params == [p for p in inspect.signature(function).parameters if p != "self"]
    # The binding keeps an attached array alive: the caller need not.
    assert "must stay valid" not in doc and "must outlive" not in doc

# One entry point for set-up, build, demo and tests on a fresh machine.
SHELL := /bin/bash
VENV := .venv
PY := $(VENV)/bin/python
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PYTHONPATH_BUILD := $(CURDIR)/$(BUILD)/python

# python3.10 on PATH, else under pyenv.
PYTHON310 := $(shell tools/find-python310)

.PHONY: all venv build demo test test-native test-python clean asan bench tmused

all: build

$(VENV)/.stamp: requirements-dev.txt
	@if [ -z "$(PYTHON310)" ]; then echo "error: CPython 3.10 not found (looked for python3.10 on PATH and in ~/.pyenv/versions)"; exit 1; fi
	$(PYTHON310) -m venv $(VENV)
	$(PY) -m pip install --quiet --upgrade pip
	$(PY) -m pip install --quiet -r requirements-dev.txt
	touch $@

venv: $(VENV)/.stamp

$(BUILD)/CMakeCache.txt: $(VENV)/.stamp CMakeLists.txt
	$(VENV)/bin/cmake -S . -B $(BUILD) -DPython_EXECUTABLE=$(CURDIR)/$(PY) -DSWIG_EXECUTABLE=$(CURDIR)/$(VENV)/bin/swig $(CMAKE_ARGS)

build: $(BUILD)/CMakeCache.txt
	$(VENV)/bin/cmake --build $(BUILD) -j$(JOBS)

demo: build
	PYTHONPATH=$(PYTHONPATH_BUILD) tools/netns $(PY) examples/demo.py

test-native: build
	cd $(BUILD) && ../tools/netns $(CURDIR)/$(VENV)/bin/ctest --output-on-failure -j$(JOBS)

# Under AddressSanitizer the interpreter itself is not instrumented: the
# runtime is preloaded, and leak detection is off (the interpreter keeps
# objects alive until exit by design).
ifeq ($(ASAN),1)
ASAN_ENV := LD_PRELOAD="$(shell g++ -print-file-name=libasan.so) $(shell g++ -print-file-name=libstdc++.so.6)" ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
endif

test-python: build
	$(ASAN_ENV) PYTHONPATH=$(PYTHONPATH_BUILD) tools/netns $(PY) -m pytest -q tests $(PYTEST_ARGS)

bench: build
	PYTHONPATH=$(PYTHONPATH_BUILD) tools/netns $(PY) bench/bench_core.py
	@for b in bench/bench_*.py; do [ "$$b" = bench/bench_core.py ] || PYTHONPATH=$(PYTHONPATH_BUILD) tools/netns $(PY) $$b; done

test: test-native test-python

# Rewrites the lists of where typemaps apply (tests/data/tmused/, checked by
# the tmused.* tests) after a change meant to move them: review the diff.
tmused: build
	cd $(BUILD) && TARN_TMUSED_UPDATE=1 $(CURDIR)/$(VENV)/bin/ctest -R '^tmused\.' --output-on-failure

# The same tests against an AddressSanitizer build.
asan:
	$(MAKE) test BUILD=build-asan CMAKE_ARGS="-DTARN_ASAN=ON -DCMAKE_BUILD_TYPE=Debug" \
	  PYTEST_ARGS="$(PYTEST_ARGS)" ASAN=1

clean:
	rm -rf $(BUILD) build-asan

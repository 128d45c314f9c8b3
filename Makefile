# One entry point for set-up, build, demo and tests on a fresh machine.
SHELL := /bin/bash
VENV := .venv
PY := $(VENV)/bin/python
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PYTHONPATH_BUILD := $(CURDIR)/$(BUILD)/python

# python3.10 on PATH, else under pyenv.
PYTHON310 := $(shell tools/find-python310)

.PHONY: all deps venv build demo test test-native test-python test-warnings clean asan bench tmused fuzz fuzz-build

all: build

# The Debian packages that building, the demo and the tests need: installed
# by tools/deps when run as root, else it prints the command and stops. The
# build is configured once with all of them, so that a later `make test`
# finds its native tests configured.
deps:
	@tools/deps test

$(VENV)/.stamp: requirements-dev.txt
	@if [ -z "$(PYTHON310)" ]; then echo "error: CPython 3.10 not found (looked for python3.10 on PATH and in ~/.pyenv/versions)"; exit 1; fi
	$(PYTHON310) -m venv $(VENV)
	$(PY) -m pip install --quiet --upgrade pip
	$(PY) -m pip install --quiet -r requirements-dev.txt
	touch $@

venv: $(VENV)/.stamp

$(BUILD)/CMakeCache.txt: $(VENV)/.stamp CMakeLists.txt | deps
	$(VENV)/bin/cmake -S . -B $(BUILD) -DPython_EXECUTABLE=$(CURDIR)/$(PY) -DSWIG_EXECUTABLE=$(CURDIR)/$(VENV)/bin/swig $(CMAKE_ARGS)

build: $(BUILD)/CMakeCache.txt
	$(VENV)/bin/cmake --build $(BUILD) -j$(JOBS)

demo: build
	PYTHONPATH=$(PYTHONPATH_BUILD) tools/netns $(PY) examples/demo.py

test-native: build
	cd $(BUILD) && $(UBSAN_ENV) ../tools/netns $(CURDIR)/$(VENV)/bin/ctest --output-on-failure -j$(JOBS)

# Under AddressSanitizer the interpreter itself is not instrumented: the
# runtime is preloaded, and leak detection is off (the interpreter keeps
# objects alive until exit by design). The interpreter allocates with
# malloc, so that a Python object freed too early is caught at its next use
# instead of being reused silently from the interpreter's own pools.
# UndefinedBehaviorSanitizer is built in too; its first report ends the run.
# The stress tests of threads freeing and using objects run longer there.
ifeq ($(ASAN),1)
UBSAN_ENV := UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ASAN_ENV := LD_PRELOAD="$(shell g++ -print-file-name=libasan.so) $(shell g++ -print-file-name=libstdc++.so.6)" ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 PYTHONMALLOC=malloc \
  $(UBSAN_ENV) TARN_STRESS_SECONDS=15
endif

test-python: build
	$(ASAN_ENV) PYTHONPATH=$(PYTHONPATH_BUILD) tools/netns $(PY) -m pytest -q tests $(PYTEST_ARGS)

# Benchmarks beside their peers (Aravis, OpenCV, GStreamer, zlib, Zstandard,
# LZ4: tools/deps bench installs them) and yardsticks; each row also goes to
# $(BENCH_RESULTS), and bench/table.py prints the table of bench/README.md.
# The configuration is read again so that peers installed since are found.
BENCH_RESULTS := $(CURDIR)/$(BUILD)/bench/results.jsonl
bench: venv
	@tools/deps bench
	$(VENV)/bin/cmake -S . -B $(BUILD) -DPython_EXECUTABLE=$(CURDIR)/$(PY) -DSWIG_EXECUTABLE=$(CURDIR)/$(VENV)/bin/swig $(CMAKE_ARGS) >/dev/null
	$(VENV)/bin/cmake --build $(BUILD) -j$(JOBS)
	@mkdir -p $(BUILD)/bench && rm -f $(BENCH_RESULTS)
	TARN_BENCH_RESULTS=$(BENCH_RESULTS) $(BUILD)/bin/bench_convert
	@for b in bench/bench_*.py; do \
	  echo "== $$b"; \
	  TARN_BENCH_RESULTS=$(BENCH_RESULTS) PYTHONPATH=$(PYTHONPATH_BUILD) tools/netns $(PY) $$b || exit 1; \
	done
	$(PY) bench/table.py $(BENCH_RESULTS)

test: test-native test-python

# A representative part of the Python tests with warnings turned into errors
# (the interpreter's and pytest's), as projects that run theirs that way do.
test-warnings: build
	PYTHONPATH=$(PYTHONPATH_BUILD) tools/netns $(PY) -W error -m pytest -q -W error tests/core tests/payload tests/channelsource tests/stream/test_pipeline.py

# Rewrites the lists of where typemaps apply (tests/data/tmused/, checked by
# the tmused.* tests) after a change meant to move them: review the diff.
tmused: build
	cd $(BUILD) && TARN_TMUSED_UPDATE=1 $(CURDIR)/$(VENV)/bin/ctest -R '^tmused\.' --output-on-failure

# The same tests against an AddressSanitizer and UndefinedBehaviorSanitizer build.
asan:
	$(MAKE) test BUILD=build-asan CMAKE_ARGS="-DTARN_ASAN=ON -DCMAKE_BUILD_TYPE=Debug" \
	  PYTEST_ARGS="$(PYTEST_ARGS)" ASAN=1

# libFuzzer targets (tests/fuzz), built with clang and both sanitizers in
# their own build; each runs FUZZ_SECONDS from its seeds in
# tests/fuzz/corpus/<target>/ (what it finds is kept in the build, not in
# the seeds). A crash leaves its input in $(FUZZ_BUILD)/artifacts/, and so
# does an input that costs too much: past a per-input time-out, one
# allocation or the process's memory limit (tools/fuzz).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= gvcp_decode gev_tcp gvcp_server softdevice_gvcp user_sets gev_dissect gvsp_reassembler gvsp_property net_routes gendc genicam_xml genicam_formula genicam_zip genicam_url decompress update_file rtp_raw_video rtp_h264 rtp_h264_send

fuzz-build: venv
	@tools/deps fuzz
	$(VENV)/bin/cmake -S tests/fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ $(FUZZ_CMAKE_ARGS) >/dev/null
	$(VENV)/bin/cmake --build $(FUZZ_BUILD) -j$(JOBS)

fuzz: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
	  tools/fuzz $(FUZZ_BUILD) $$t $(FUZZ_SECONDS) || exit 1; \
	done

clean:
	rm -rf $(BUILD) build-asan $(FUZZ_BUILD)

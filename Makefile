# gf3mq: the commands a newcomer runs.
#   make demo        build the three programs it runs, prepare demo/ with tables
#                    and keys, run the demonstration
#   make test        build (Release) and run the whole test suite
#   make test-unit   the libraries' tests alone (ctest -L unit), well under a minute
#   make test-clang  the same built with clang++, in build-clang (make test
#                    CXX=clang++ is the same; any other CXX works too)
#   make check-asan  the suite again under AddressSanitizer and UBSan (Debug build)
#   make bench       build and run the benchmarks beside FLINT's (BENCH_509=1: also the
#                    attack's equations of 509 beside FFLAS-FFPACK, minutes), BENCH_REPETITIONS
#                    times each (default 3), then each target with the best times
#   make sizes-table the table of sizes in doc/speed.md, 7 to 1021 (bench/sizes_table)
#   make study       time key generation, encryption, decryption and the attack's
#                    phases from 7 to 509 (STUDY_SIZES, STUDY_SECONDS per size):
#                    study/study.csv and its log-log plot study/study.svg and .png
#   make fuzz        libFuzzer targets for every reader, FUZZ_SECONDS each (default 60)
#   make memcheck    gf3mq-keygen and gf3mq-demo under valgrind memcheck
#   make format-check every C++ file of the repository as .clang-format lays it out
#   make install     the programs, headers, libraries, CMake package and
#                    gf3mq.pc under PREFIX (default /usr/local)

# The compiler: left alone, CMake picks its default (c++, g++ on Debian) and
# the build goes to build/; a CXX given to make is passed on to CMake, and a
# clang one builds in build-clang/ so that the two builds never mix.
ifeq ($(origin CXX),default)
BUILD      ?= build
CXX_CONFIG :=
else
BUILD      ?= build$(if $(findstring clang,$(notdir $(CXX))),-clang)
CXX_CONFIG := -DCMAKE_CXX_COMPILER=$(CXX)
endif
COMPILER_PACKAGES := $(if $(findstring clang,$(notdir $(CXX))),clang)
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
BENCH_REPETITIONS ?= 3
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local
CMAKE      ?= cmake
CTEST      ?= ctest

PACKAGES := cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev strace e2fsprogs pkg-config pari-gp libsodium-dev
FUZZ_PACKAGES := clang libclang-rt-14-dev
MEMCHECK_PACKAGES := valgrind
# OpenBLAS: FFLAS-FFPACK on the reference BLAS would be ten times slower than
# the peer it is meant to be.
BENCH_PACKAGES := libflint-dev fflas-ffpack libopenblas0-pthread
STUDY_PACKAGES := gnuplot-nox
FORMAT_PACKAGES := clang-format
# What `make study` measures: gf3mq-study's own defaults when left empty.
STUDY_SIZES ?=
STUDY_SECONDS ?=
# What `make demo` runs; it builds these and the libraries they need, no more.
DEMO_PROGRAMS := gf3mq-tables gf3mq-keygen gf3mq-demo
FUZZ_TARGETS := fuzz_text_load fuzz_read_pk fuzz_read_sk fuzz_read_objects fuzz_tables fuzz_decrypt \
  fuzz_message_lines fuzz_relations

.PHONY: all configure build demo-programs demo test test-unit test-clang check-asan bench sizes-table study fuzz memcheck format-check install deps clean

all: build

# Installs what is missing on Debian when running as root; otherwise prints
# the one command to run.
deps:
	@$(MAKE) --no-print-directory install-packages WANTED="$(PACKAGES) $(COMPILER_PACKAGES)"

.PHONY: install-packages
install-packages:
	@missing=""; \
	for p in $(WANTED); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	    DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; \
	  else \
	    echo "missing Debian packages; run:"; \
	    echo "  sudo apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

configure: deps
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CXX_CONFIG)

build: configure
	$(CMAKE) --build $(BUILD) -j $(JOBS)

demo-programs: configure
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target $(DEMO_PROGRAMS)

test: build
	cd $(BUILD) && $(CTEST) --output-on-failure -j $(JOBS)

test-unit: build
	cd $(BUILD) && $(CTEST) --output-on-failure -j $(JOBS) -L unit

test-clang:
	@$(MAKE) --no-print-directory test CXX=clang++

check-asan: deps
	$(CMAKE) -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DGF3MQ_BUILD_BENCH=OFF $(CXX_CONFIG) \
	  -DCMAKE_CXX_FLAGS="-O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  $(CTEST) --output-on-failure -j $(JOBS)

# demo/ is the working folder: tables and keys are made once, then reused.
demo: demo-programs
	@mkdir -p demo
	@cd demo && if [ ! -f "new Xe_mod_Irredfx.txt" ] || [ ! -f "new X_27i_mod_Irredfx.txt" ]; then \
	  ../$(BUILD)/bin/gf3mq-tables || exit 1; fi
	@cd demo && if [ ! -f "new pk.txt" ] || [ ! -f "new sk.txt" ]; then \
	  ../$(BUILD)/bin/gf3mq-keygen --no-wait && echo || exit 1; fi
	@cd demo && ../$(BUILD)/bin/gf3mq-demo; status=$$?; echo; exit $$status

# Lists the files that differ from the layout of .clang-format, and fails if any does.
format-check:
	@$(MAKE) --no-print-directory install-packages WANTED="$(FORMAT_PACKAGES)"
	@git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run --Werror

install: build
	$(CMAKE) --install $(BUILD) --prefix $(PREFIX)

# FLINT and FFLAS-FFPACK are installed for the comparison rows only; nothing
# else uses them.
bench:
	@$(MAKE) --no-print-directory install-packages WANTED="$(BENCH_PACKAGES)"
	@$(MAKE) --no-print-directory build
	$(if $(BENCH_509),GF3MQ_BENCH_509=1 )$(BUILD)/bin/gf3mq-bench --benchmark_repetitions=$(BENCH_REPETITIONS)

# /usr/bin/time for key generation's time and peak memory.
sizes-table:
	@$(MAKE) --no-print-directory install-packages WANTED="$(BENCH_PACKAGES) time"
	@$(MAKE) --no-print-directory build
	bench/sizes_table $(BUILD)/bin

# gf3mq-study alone is built (bench/, which a build may have left out);
# its results go to study/.
study: deps
	@$(MAKE) --no-print-directory install-packages WANTED="$(STUDY_PACKAGES)"
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DGF3MQ_BUILD_BENCH=ON $(CXX_CONFIG)
	$(CMAKE) --build $(BUILD) -j $(JOBS) --target gf3mq-study
	$(BUILD)/bin/gf3mq-study --output study $(if $(STUDY_SIZES),--sizes $(STUDY_SIZES)) \
	  $(if $(STUDY_SECONDS),--max-seconds $(STUDY_SECONDS))

# Every target runs FUZZ_SECONDS from its seed corpus in fuzz/corpus (new
# inputs go to a scratch folder); a crash stops with its input saved in
# $(FUZZ_BUILD)/artifacts.
fuzz:
	@$(MAKE) --no-print-directory install-packages WANTED="$(PACKAGES) $(FUZZ_PACKAGES)"
	CXX=clang++ $(CMAKE) -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Debug -DGF3MQ_BUILD_TESTS=OFF \
	  -DGF3MQ_BUILD_BENCH=OFF -DGF3MQ_BUILD_FUZZERS=ON -DCMAKE_CXX_FLAGS="-O1 -g -fsanitize=address,fuzzer-no-link"
	$(CMAKE) --build $(FUZZ_BUILD) -j $(JOBS)
	@mkdir -p $(FUZZ_BUILD)/artifacts
	@for t in $(FUZZ_TARGETS); do \
	  work=$$(mktemp -d); log=$(FUZZ_BUILD)/$$t.log; \
	  echo "== $$t: $(FUZZ_SECONDS) s"; \
	  if $(FUZZ_BUILD)/bin/$$t $$work $(CURDIR)/fuzz/corpus/$$t -max_total_time=$(FUZZ_SECONDS) \
	       -artifact_prefix=$(CURDIR)/$(FUZZ_BUILD)/artifacts/ >$$log 2>&1; then \
	    grep -E '^Done [0-9]+ runs' $$log; rm -rf $$work; \
	  else \
	    tail -40 $$log; echo "$$t failed: see $$log and $(FUZZ_BUILD)/artifacts"; rm -rf $$work; exit 1; \
	  fi; \
	done

# A key set made and used under valgrind, in a scratch folder.
memcheck: demo-programs
	@$(MAKE) --no-print-directory install-packages WANTED="$(MEMCHECK_PACKAGES)"
	@dir=$$(mktemp -d); \
	cd $$dir && $(CURDIR)/$(BUILD)/bin/gf3mq-tables >/dev/null && \
	echo "== gf3mq-keygen" && valgrind -q --error-exitcode=1 --leak-check=full $(CURDIR)/$(BUILD)/bin/gf3mq-keygen </dev/null && \
	echo && echo "== gf3mq-demo" && valgrind -q --error-exitcode=1 --leak-check=full $(CURDIR)/$(BUILD)/bin/gf3mq-demo </dev/null >/dev/null && \
	echo "memcheck: clean"; status=$$?; rm -rf $$dir; exit $$status

clean:
	rm -rf build build-clang $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

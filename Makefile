# gf3mq: the commands a newcomer runs.
#   make demo        build, prepare demo/ with tables and keys, run the demonstration
#   make test        build (Release) and run the whole test suite
#   make check-asan  the suite again under AddressSanitizer and UBSan (Debug build)
#   make bench       build and run the benchmarks

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE      ?= cmake
CTEST      ?= ctest

PACKAGES := cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev

.PHONY: all build demo test check-asan bench deps clean

all: build

# Installs what is missing on Debian when running as root; otherwise prints
# the one command to run.
deps:
	@missing=""; \
	for p in $(PACKAGES); do \
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

build: deps
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && $(CTEST) --output-on-failure -j $(JOBS)

check-asan: deps
	$(CMAKE) -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DGF3MQ_BUILD_BENCH=OFF \
	  -DCMAKE_CXX_FLAGS="-O1 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
	$(CMAKE) --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  $(CTEST) --output-on-failure -j $(JOBS)

# demo/ is the working folder: tables and keys are made once, then reused.
demo: build
	@mkdir -p demo
	@cd demo && if [ ! -f "new Xe_mod_Irredfx.txt" ] || [ ! -f "new X_27i_mod_Irredfx.txt" ]; then \
	  ../$(BUILD)/bin/gf3mq-tables || exit 1; fi
	@cd demo && if [ ! -f "new pk.txt" ] || [ ! -f "new sk.txt" ]; then \
	  ../$(BUILD)/bin/gf3mq-keygen </dev/null && echo || exit 1; fi
	@cd demo && ../$(BUILD)/bin/gf3mq-demo; status=$$?; echo; exit $$status

bench: build
	$(BUILD)/bin/gf3mq-bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

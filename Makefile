# The two everyday commands: `make run` and `make test`. Both install what is
# missing first, so they work on a bare Debian 12 machine.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
DEB_BUILD ?= build-deb
FUZZ_SECONDS ?= 300
CMAKE_FLAGS ?=

.PHONY: all setup configure build test test-sanitize fuzz run bench deb clean

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD)

test: build test-sanitize
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2

# The core and the command line again, under AddressSanitizer and
# UndefinedBehaviorSanitizer; any report fails the run (the tests carry the
# sanitizer options themselves, see tests/CMakeLists.txt).
test-sanitize: setup
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRUNE_SANITIZE=ON -DKESTRUNE_BUILD_GUI=OFF > /dev/null
	@cmake --build $(SANITIZE_BUILD)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j 2

# libFuzzer on the container reader, the fix-file loader with the cipher,
# and the fix engine, FUZZ_SECONDS each; findings end up in
# $(FUZZ_BUILD)/fuzz-findings and fail the run.
fuzz: setup
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DKESTRUNE_FUZZ=ON -DKESTRUNE_BUILD_GUI=OFF -DKESTRUNE_BUILD_TESTS=OFF > /dev/null
	@cmake --build $(FUZZ_BUILD) --target kestrune_fuzz
	@bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

run: build
	@bash scripts/run.sh $(BUILD)

# Kestrune beside cksum, openssl and xmlstarlet on this machine, in a Release
# build of its own; prints the table and writes bench/results.md. Never part
# of make test.
bench: setup
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_BUILD_BENCH=ON \
		-DKESTRUNE_BUILD_GUI=OFF -DKESTRUNE_BUILD_TESTS=OFF > /dev/null
	@cmake --build $(BENCH_BUILD)
	@bash bench/compare.sh $(BENCH_BUILD)

# The Debian package kestrune_VERSION_ARCH.deb, here, from a Release build of
# its own with Debian's compiler flags. Its programs link zlib and pugixml as
# shared libraries, as Debian's policy asks (a library's security update
# must reach every program that uses it); lintian and the desktop-entry and
# AppStream validators check it where they are installed.
deb: setup
	@cmake -S . -B $(DEB_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_BUILD_TESTS=OFF \
		-DKESTRUNE_STATIC_CLI=OFF \
		-DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" > /dev/null
	@cmake --build $(DEB_BUILD)
	@cd $(DEB_BUILD) && cpack > /dev/null
	@rm -f kestrune_*.deb && mv $(DEB_BUILD)/kestrune_*.deb . && ls kestrune_*.deb
	@bash scripts/check-deb.sh kestrune_*.deb

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(DEB_BUILD) kestrune_*.deb

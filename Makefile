# The two everyday commands: `make run` and `make test`. Both install what is
# missing first, so they work on a bare Debian 12 machine.
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: all setup configure build test run clean

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2

run: build
	@bash scripts/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)

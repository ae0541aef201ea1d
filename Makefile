# The two commands of the README: `make test` and `make run`. Both set up a fresh Debian machine
# (scripts/bootstrap.sh), configure and build.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all bootstrap configure build test run bench clean

all: build

bootstrap:
	@bash scripts/bootstrap.sh

configure: bootstrap
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j 2 --timeout 600

run: build
	@bash scripts/run-main-job.sh $(BUILD)

bench: configure
	@cmake -S . -B $(BUILD) -DQOB_BUILD_BENCH=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

clean:
	rm -rf $(BUILD)

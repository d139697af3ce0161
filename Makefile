# Thin wrapper over CMake. `make run` and `make test` do all the set-up.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all release run test deps perft bench match soak asan tsan fuzz clean

all: release

deps:
	@bash .ci/deps

release: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: release
	cd $(BUILD) && ./drozak

test: release
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

perft: release
	bash tools/perft-suite.sh $(BUILD)/drozak-tools

bench: release
	$(BUILD)/drozak-tools bench

clean:
	rm -rf $(BUILD) build-*

# Thin wrapper over CMake. `make run` and `make test` do all the set-up.
BUILD ?= build
JOBS  ?= $(shell nproc)
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
CHECKS_BUILD ?= build-checks
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
SOAK_GAMES ?= 100

.PHONY: all release run test deps perft bench match soak asan tsan checks fuzz clean install uninstall package \
        web serve-web web-test

all: release

deps:
	@bash .ci/deps

# Build options: make ARCH=native LTO=ON (portable target, no LTO by default).
ARCH ?= x86-64-v2
LTO  ?= OFF

release: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DDROZAK_ARCH=$(ARCH) -DDROZAK_LTO=$(LTO) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# The programs, book, manual pages and interface registrations under PREFIX
# (games/, share/games/drozak/, ...); DESTDIR stages them elsewhere.
PREFIX ?= /usr/local
install: release
	cmake --install $(BUILD) --prefix $(PREFIX)

# What the last install put there (its list leaves DESTDIR out), and the
# folders that are Drozak's own.
uninstall:
	sed 's|^|$(DESTDIR)|' $(BUILD)/install_manifest.txt | xargs -r rm -f
	cd $(DESTDIR)$(PREFIX)/share && rmdir -p --ignore-fail-on-non-empty games/drozak doc/drozak/examples

# The Debian package, build-package/drozak_VERSION_ARCH.deb (CPack, with
# dpkg-shlibdeps), built for the x86-64 baseline that Debian's amd64 promises.
PACKAGE_BUILD ?= build-package
package: deps
	@bash .ci/deps package
	cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release -DDROZAK_ARCH=x86-64 -DDROZAK_TESTS=OFF >/dev/null
	cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target package

run: release
	cd $(BUILD) && ./drozak

test: release
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

perft: release
	bash tools/perft-suite.sh $(BUILD)/drozak-tools

bench: release
	$(BUILD)/drozak-tools bench

# All tests under AddressSanitizer and UndefinedBehaviorSanitizer; any
# report fails the run.
asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Release -DDROZAK_SANITIZE=address,undefined >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	JOBS=$(JOBS) bash tests/robust/sanitized-ctest.sh $(ASAN_BUILD) asan

# Every test with the engine's internal checks on (position invariants after
# every make and unmake), without a sanitizer's cost.
checks: deps
	cmake -S . -B $(CHECKS_BUILD) -DCMAKE_BUILD_TYPE=Release -DDROZAK_CHECKS=ON >/dev/null
	cmake --build $(CHECKS_BUILD) -j $(JOBS)
	cd $(CHECKS_BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole-program and engine-thread tests under ThreadSanitizer.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Release -DDROZAK_SANITIZE=thread >/dev/null
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	JOBS=$(JOBS) bash tests/robust/sanitized-ctest.sh $(TSAN_BUILD) tsan

# Every libFuzzer target of tests/fuzz for FUZZ_SECONDS seconds each.
fuzz:
	@bash .ci/deps fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release \
	  -DDROZAK_FUZZ=ON -DDROZAK_TESTS=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	bash tests/fuzz/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# SOAK_GAMES games of the engine against itself through the referee.
soak: release
	bash tests/soak/soak.sh $(BUILD) $(SOAK_GAMES)

clean:
	rm -rf $(BUILD) build-*

# The engine in a web page (web/): the worker compiled by Debian's emscripten
# into WASM_BUILD, then the worker, the book, the page and its bundled npm
# libraries in WEB_BUILD, which a static host serves as it is (README, "In a
# web page"). WEB_BOOK= leaves the book out. emscripten builds its system
# libraries into EM_CACHE once (minutes), kept for every later build.
WEB_BUILD  ?= build-web
WASM_BUILD ?= build-wasm
WEB_BOOK   ?= $(BUILD)/Drozak.book
EM_CACHE   ?= $(HOME)/.cache/drozak-emscripten
PORT       ?= 8000
# Debian's emscripten finds acorn under NODE_PATH; its own cache is read-only.
WEB_ENV = NODE_PATH=/usr/share/nodejs EM_CACHE=$(EM_CACHE) EM_FROZEN_CACHE=

web: release
	@bash .ci/deps web
	cd web && { [ node_modules/.package-lock.json -nt package-lock.json ] || npm ci --no-audit --no-fund; }
	$(WEB_ENV) emcmake cmake -S web -B $(WASM_BUILD) -DDROZAK_WEB_OUT=$(abspath $(WEB_BUILD)) \
	  -DDROZAK_BOOK=$(if $(WEB_BOOK),$(abspath $(WEB_BOOK))) >/dev/null
	$(WEB_ENV) cmake --build $(WASM_BUILD) -j $(JOBS)
	node web/bundle.mjs $(WEB_BUILD)

# The web build's folder on http://127.0.0.1:$(PORT)/ with the two headers it needs.
serve-web:
	node web/serve.mjs $(WEB_BUILD) $(PORT)

# The worker and the page in headless Chromium, served by `make serve-web`,
# against the native engine and tools; the screenshots go to SCREENSHOTS.
SCREENSHOTS ?= $(WASM_BUILD)/screenshots
web-test: web
	@bash .ci/deps web-test
	cd web && WEB_BUILD=$(abspath $(WEB_BUILD)) NATIVE_BUILD=$(abspath $(BUILD)) \
	  SCREENSHOTS=$(abspath $(SCREENSHOTS)) node --test tests/

# An xboard match: make match OPPONENT=phalanx GAMES=4 MOVES=40 BASE=0:10 INC=0
# PROTOCOL=uci plays drozak-uci through polyglot. OPTIONS are Drozak's own
# command-line options; OPPONENT="drozak --threads 1" is this build against
# itself (OPTIONS="--threads 2"). VARIANT=fischerandom plays Chess960 from
# random start positions, against OPPONENT=drozak or OPPONENT="stockfish LEVEL"
# (through polyglot).
OPPONENT ?= phalanx
OPTIONS ?=
GAMES ?= 4
MOVES ?= 40
BASE  ?= 0:10
INC   ?= 0
PROTOCOL ?= xboard
VARIANT ?= normal
match: release
	bash tools/xboard-match.sh -e "$(OPPONENT)" -o "$(OPTIONS)" -b $(BUILD) -n $(GAMES) -m $(MOVES) -t $(BASE) -i $(INC) -v $(VARIANT) \
	  $(if $(filter uci,$(PROTOCOL)),-u)

# Brindle: the two commands a new user needs are `make run` and `make test`.
BUILD   ?= build
RUN     ?= build-run
RELEASE ?= build-release
FUZZ    ?= build-fuzz
TSAN    ?= build-tsan
PKG     ?= build-pkg
FUZZ_SECONDS ?= 60
CHARS   ?= 200
JOBS    ?= 2
# The test build also builds the benchmarks, so that a change that breaks one is seen at once.
CMAKE_FLAGS ?= -DBRINDLE_SANITIZE=ON -DBRINDLE_WERROR=ON -DBRINDLE_BENCH=ON

.PHONY: all deps build run demo screenshots test tsan bench bench-window bench-export bench-dropouts fuzz clean \
	format package package-test package-install-test mutants

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# A Release build of the program alone in $(RUN) (no sanitizers, no tests), then starts it;
# without a display it says so in one line.
$(RUN)/CMakeCache.txt: | deps
	cmake -S . -B $(RUN) -DCMAKE_BUILD_TYPE=Release -DBRINDLE_TESTS=OFF

run: deps $(RUN)/CMakeCache.txt
	cmake --build $(RUN) -j $(JOBS) --target brindle
	@$(RUN)/bin/brindle

# Renders a demo text to a WAV file and plays it when a sound server answers.
demo: build
	@scripts/run-demo $(BUILD)/bin/brindle-render

test: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure
	$(MAKE) package-test

# The tests with threads (sound output, serial keyer, Qt timer driver, export) under ThreadSanitizer, in
# their own folder; the first report ends the test program with code 66 and fails the target.
# Only these targets are built there, so the installation tests (which need both programs) and
# the window test on Wayland are left to `make test`.
TSAN_TARGETS ?= test_soundout test_sound test_serial test_export serial_shim
tsan: deps
	cmake -S . -B $(TSAN) -DBRINDLE_TSAN=ON -DBRINDLE_WERROR=ON
	cmake --build $(TSAN) -j $(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN) && TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 \
	  suppressions=$(CURDIR)/tests/support/tsan.supp" \
	  ctest -j $(JOBS) --output-on-failure -E '_NOT_BUILT$$|^Wayland[.]' -LE install

# The window tests on a real X server (Xvfb), each window grabbed to $(SHOTS)/*.png.
SHOTS ?= $(BUILD)/screenshots
screenshots: build
	mkdir -p $(SHOTS)
	BRINDLE_SCREENSHOTS=$(abspath $(SHOTS)) QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 \
	  xvfb-run -a -s "-screen 0 1280x800x24" $(BUILD)/bin/test_ui

# Release build of the benchmarks; figures, not pass/fail.
bench: deps
	@scripts/install-deps --bench
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BENCH=ON -DBRINDLE_TESTS=OFF
	cmake --build $(RELEASE) -j $(JOBS)
	$(RELEASE)/bin/bench_render
	$(RELEASE)/bin/bench_material
	$(RELEASE)/bin/bench_session
	$(RELEASE)/bin/bench_learn
	$(RELEASE)/bin/bench_progress
	tests/support/with-shim $(RELEASE)/lib/libserial_shim.so $(RELEASE)/bin/bench_devices keying $(CHARS)
	tests/support/with-shim $(RELEASE)/lib/libserial_shim.so $(RELEASE)/bin/bench_devices versus \
	  $(RELEASE)/lib/libserial_shim.so $(CHARS)
	$(RELEASE)/bin/bench_devices latency
	$(RELEASE)/bin/bench_devices cpu

# The main window's figures: key press to first tone, the display's marks against the heard end of
# each character, an abort to silence, RTS edges while the display marks (idle, both cores loaded,
# and loaded with the GUI thread stalled), CPU while sending (sound, COM) and idle, start to first
# paint, the display's cost.
bench-window: deps
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BENCH=ON -DBRINDLE_TESTS=OFF
	cmake --build $(RELEASE) -j $(JOBS) --target bench_window bench_devices serial_shim
	$(RELEASE)/bin/bench_window latency 100
	$(RELEASE)/bin/bench_window marks 60
	$(RELEASE)/bin/bench_window stop 20
	for load in "" load "load stall"; do tests/support/with-shim $(RELEASE)/lib/libserial_shim.so \
	  $(RELEASE)/bin/bench_window keying $(CHARS) $$load; done
	tests/support/with-shim $(RELEASE)/lib/libserial_shim.so $(RELEASE)/bin/bench_window cpu com 20
	$(RELEASE)/bin/bench_window cpu sound 20
	$(RELEASE)/bin/bench_window idle 20
	$(RELEASE)/bin/bench_window start
	$(RELEASE)/bin/bench_window display 100000
	$(RELEASE)/bin/bench_window paragraph 50000

# Gaps in the sound over SOAK_SECONDS at 300 CpM with both cores loaded and the GUI thread
# stalled 300 ms every 5 s.
SOAK_SECONDS ?= 600
# brindle-render against ebook2cw: 10,000 words to MP3, and the size of an hour in each format.
bench-export: deps
	@scripts/install-deps --bench
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BENCH=ON -DBRINDLE_TESTS=OFF
	cmake --build $(RELEASE) -j $(JOBS) --target brindle-render
	scripts/bench-export $(RELEASE)/bin/brindle-render

bench-dropouts: deps
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BENCH=ON -DBRINDLE_TESTS=OFF
	cmake --build $(RELEASE) -j $(JOBS) --target bench_window
	$(RELEASE)/bin/bench_window dropouts 100 $(SOAK_SECONDS) stall

# libFuzzer targets under ASan/UBSan, each for FUZZ_SECONDS; new inputs go to $(FUZZ)/corpus-*.
fuzz:
	@scripts/install-deps --fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DBRINDLE_FUZZ=ON -DBRINDLE_TESTS=OFF
	cmake --build $(FUZZ) -j $(JOBS) --target fuzz_ini fuzz_filters fuzz_params fuzz_copycheck
	@scripts/run-fuzz $(FUZZ)/bin $(FUZZ_SECONDS) ini filters params copycheck

# The Debian package: a Release build of the two programs in $(PKG), packed by CPack.
package: deps
	cmake -S . -B $(PKG) -DCMAKE_BUILD_TYPE=Release -DBRINDLE_TESTS=OFF
	cmake --build $(PKG) -j $(JOBS) --target brindle brindle-render
	cd $(PKG) && cpack -G DEB

# The package unpacked into a throwaway folder, its dependencies resolved by apt-get in a
# simulation, the programs run from there: nothing is installed. `make test` runs it.
package-test: package
	tests/install/package-test $(PKG)

# Installs the package with apt-get (sudo when not root) and runs the installed programs; it
# stays installed. For throwaway machines: CI runs it.
package-install-test: package
	tests/install/package-test --install $(PKG)

# One-line faults in the learning layer, each built and run against test_learn and test_desk.
mutants: deps
	tools/mutants/run --jobs $(JOBS)

format:
	find src tools tests bench fuzz -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(RUN) $(RELEASE) $(FUZZ) $(TSAN) $(PKG)

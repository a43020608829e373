# Brindle: the two commands a new user needs are `make run` and `make test`.
BUILD   ?= build
RELEASE ?= build-release
FUZZ    ?= build-fuzz
FUZZ_SECONDS ?= 60
CHARS   ?= 200
JOBS    ?= 2
CMAKE_FLAGS ?= -DBRINDLE_SANITIZE=ON -DBRINDLE_WERROR=ON

.PHONY: all deps build run test bench fuzz clean format

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Until the main window exists: render a demo text, play it when a sound server answers.
run: build
	@scripts/run-demo $(BUILD)/bin/brindle-render

test: build
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

# Release build of the benchmarks; figures, not pass/fail.
bench: deps
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DBRINDLE_BENCH=ON -DBRINDLE_TESTS=OFF
	cmake --build $(RELEASE) -j $(JOBS)
	$(RELEASE)/bin/bench_render
	$(RELEASE)/bin/bench_material
	tests/support/with-shim $(RELEASE)/lib/libserial_shim.so $(RELEASE)/bin/bench_devices keying $(CHARS)
	$(RELEASE)/bin/bench_devices latency
	$(RELEASE)/bin/bench_devices cpu

# libFuzzer targets under ASan/UBSan, each for FUZZ_SECONDS; new inputs go to $(FUZZ)/corpus-*.
fuzz:
	@scripts/install-deps --fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DBRINDLE_FUZZ=ON -DBRINDLE_TESTS=OFF
	cmake --build $(FUZZ) -j $(JOBS) --target fuzz_ini fuzz_filters
	@scripts/run-fuzz $(FUZZ)/bin $(FUZZ_SECONDS) ini filters

format:
	find src tools tests bench fuzz -name '*.h' -o -name '*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(RELEASE) $(FUZZ)

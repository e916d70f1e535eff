# Tintara: the two set-up commands are `make run` and `make test`.
.PHONY: all deps test run bench build-release fuzz lint format clean

JOBS ?= 2
CMAKE_COMMON = -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON

all: build-release

deps:
	@scripts/install-deps

# Sanitizer build of everything, then every test.
test: deps
	cmake -S . -B build/test $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="-O1 -g" -DTINTARA_SANITIZE=ON -DTINTARA_TESTS=ON
	ninja -C build/test -j$(JOBS)
	cd build/test && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j$(JOBS) --timeout 600

build-release: deps
	cmake -S . -B build/release $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="-O2" \
	  -DTINTARA_TESTS=OFF
	ninja -C build/release -j$(JOBS) tintara

# With a display the program opens the bundled example picture. Without one (DISPLAY and
# WAYLAND_DISPLAY unset) it replays the bundled example event file to its end in a render run
# and writes the picture and a protected copy of the stream to out/ (outcome 8 = done).
run: build-release
	@build/release/src/app/tintara --version
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  build/release/src/app/tintara examples/first.tci; \
	else \
	  mkdir -p out; \
	  build/release/src/app/tintara -render examples/first.te4 -O$(CURDIR)/out; \
	  code=$$?; test $$code -eq 8 || { echo "render run failed with outcome $$code"; exit 1; }; \
	fi

bench: deps
	cmake -S . -B build/bench $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="-O2" \
	  -DTINTARA_TESTS=OFF -DTINTARA_BENCH=ON
	ninja -C build/bench -j$(JOBS)
	@for b in build/bench/bench/*_bench; do echo "== $$b"; $$b --benchmark_min_time=0.2 || exit 1; done

# New inputs go to build/fuzz/corpus, crash inputs to build/fuzz/artifacts: the checked-in seeds
# under fuzz/corpus stay as they are. A crash input worth keeping is copied into fuzz/corpus by
# hand, in the commit that fixes it. UBSan halts on its first report, so it fails the run.
FUZZ_SECONDS ?= 60
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build/fuzz $(CMAKE_COMMON) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="-O1 -g" -DTINTARA_TESTS=OFF -DTINTARA_FUZZ=ON
	ninja -C build/fuzz -j$(JOBS)
	@for f in build/fuzz/fuzz/fuzz_*; do \
	  name=$$(basename $$f); mkdir -p build/fuzz/corpus/$$name build/fuzz/artifacts/$$name fuzz/corpus/$$name; \
	  echo "== $$name"; ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	    $$f -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=build/fuzz/artifacts/$$name/crash- \
	    build/fuzz/corpus/$$name fuzz/corpus/$$name || exit 1; done

lint:
	@test -f build/test/compile_commands.json || $(MAKE) test
	@git ls-files 'src/*.cpp' | xargs clang-tidy -p build/test --quiet

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build

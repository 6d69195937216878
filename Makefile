# The README's commands. Everything installs what is missing first.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
CTEST_FLAGS ?=

.PHONY: deps configure build test demo bench bench-compare loadtest gui screenshots sanitize fuzz package clean

deps:
	@scripts/bootstrap-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) $(CTEST_FLAGS)

# Only the program the demo runs and what it links: no tests, benchmarks or desktop program.
demo: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target graflink-cli
	$(BUILD_DIR)/src/cli/graflink-cli demo

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do [ -x "$$b" ] && "$$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true || exit 1; done

# 200 documents at a 1 s period with three fields each, against feeds that answer in 0.5 s, all
# publishing to the simulator, in one graflink-cli run: refreshes, CPU per refresh, wake-ups,
# memory, the stop (LOAD_FLAGS: --documents N --latency S --duration S --period S --pages N, the
# last opening N control pages with live updates). Debian's python3 has the web-socket client.
LOAD_FLAGS ?=
loadtest: build
	/usr/bin/python3 bench/load/run_load.py $(BUILD_DIR)/src/cli/graflink-cli $(LOAD_FLAGS)

# Whole processes against the short Python scripts an operator would write instead (bench/peers/),
# over a generated 10 MB election feed on loopback HTTP: medians, peak memory, ratios, and a check
# that both sides print the same values. BENCH_RUNS sets hyperfine's runs per command.
BENCH_RUNS ?= 7
bench-compare: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target graflink-cli
	@/usr/bin/python3 bench/compare/bench_compare.py $(BUILD_DIR)/src/cli/graflink-cli --runs $(BENCH_RUNS)

gui: build
	@if [ -x $(BUILD_DIR)/src/app/ui/Graflink ]; then $(BUILD_DIR)/src/app/ui/Graflink; \
	else echo "The desktop program is not part of this build yet; try 'make demo'."; fi

# Pictures of the desktop program's windows on a virtual X screen, into docs/screenshots/.
screenshots: build
	scripts/screenshots.sh $(BUILD_DIR)

# The slow unwinder records whole allocation stacks: Qt's libraries have no frame pointers, so
# the fast one loses the stack inside them and leak suppressions could not match.
sanitize:
	ASAN_OPTIONS=fast_unwind_on_malloc=0 LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  $(MAKE) test BUILD_DIR=build-asan CMAKE_FLAGS="-DGRAFLINK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"

# libFuzzer targets, built with clang in their own folder; each runs FUZZ_SECONDS (new inputs
# go to $(FUZZ_BUILD_DIR)/corpus, findings to $(FUZZ_BUILD_DIR)/artifacts; the seeds stay as
# they are). FUZZ_TARGETS picks targets, FUZZ_FLAGS passes more libFuzzer options.
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= csv json_key_path json_path xml_inventory document_file data_source_file data_source_feed recording_index
FUZZ_FLAGS ?=
FUZZ_SANITIZERS = -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer

fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD_DIR) -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGRAFLINK_FUZZ=ON -DGRAFLINK_BUILD_BENCH=OFF \
	  "-DCMAKE_C_FLAGS=$(FUZZ_SANITIZERS)" "-DCMAKE_CXX_FLAGS=$(FUZZ_SANITIZERS)" >/dev/null
	@cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@mkdir -p $(FUZZ_BUILD_DIR)/artifacts
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD_DIR)/corpus/$$t; \
	  echo "fuzz: $$t for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD_DIR)/tests/fuzz/fuzz_$$t $(FUZZ_BUILD_DIR)/corpus/$$t tests/fuzz/corpus/$$t \
	    -max_total_time=$(FUZZ_SECONDS) -timeout=25 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD_DIR)/artifacts/$$t- $(FUZZ_FLAGS) || exit 1; \
	done

# The Debian package: a Release build of the programs alone in its own folder, then CPack.
# Prints the path of the .deb (packaging/CMakeLists.txt says what it holds).
PACKAGE_BUILD_DIR ?= build-package

package: deps
	@cmake -S . -B $(PACKAGE_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DGRAFLINK_BUILD_TESTS=OFF -DGRAFLINK_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(PACKAGE_BUILD_DIR) -j $(JOBS)
	@cd $(PACKAGE_BUILD_DIR) && out=$$(cpack -G DEB 2>&1) || { echo "$$out" >&2; exit 1; }; \
	  echo "$$out" | sed -n 's/^CPack: - package: \(.*\) generated\.$$/\1/p'

clean:
	rm -rf $(BUILD_DIR) build-asan $(FUZZ_BUILD_DIR) $(PACKAGE_BUILD_DIR)

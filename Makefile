# Front door: `make test` builds everything and runs every test; `make run` starts the program.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
GENERATOR  := -G Ninja
JOBS       ?= $(shell nproc)

.PHONY: deps configure build test run run-headless sanitize tsan bench fuzz format format-check clean

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The tests run offline (scripts/run-offline): in a network namespace with
# only loopback, where a name lookup through the system's resolver fails the
# run. Without root or namespaces they run as they are.
test: build
	scripts/run-offline ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Builds and starts the desktop program, hidden in the tray (Exit in the tray
# menu ends it). It listens on QUILLBRIGHT_POP3_PORT (default: pop3, port 110)
# and keeps its files in QUILLBRIGHT_HOME (default: the folder of the
# executable). Without a display it says so: run-headless is then the way.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target quillbright quillbrightd
	$(BUILD)/bin/quillbright

# The headless program in the foreground (Ctrl-C stops it).
run-headless: configure
	cmake --build $(BUILD) -j $(JOBS) --target quillbrightd
	$(BUILD)/bin/quillbrightd

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DQB_SANITIZE=ON -DQB_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  scripts/run-offline ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The threaded parts under ThreadSanitizer: the unit tests, then the TLS
# tests of the other labels (every TLS test's name holds "Tls").
tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DQB_TSAN=ON -DQB_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -L unit
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -LE unit -R Tls

bench: configure
	cmake --build $(BUILD) -j $(JOBS)
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_FUZZ=ON -DQB_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs -r clang-format -i

format-check:
	git ls-files '*.cpp' '*.h' | xargs -r clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)

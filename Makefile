# Front door: `make test` builds everything and runs every test; `make run` starts the program.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
GENERATOR  := -G Ninja
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local

.PHONY: deps configure build test install package run run-headless sanitize tsan bench fuzz tidy format format-check clean

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

# Installs both programs, the lists, the menu entry, icons, manual pages and
# the user unit under PREFIX (default /usr/local); DESTDIR is put in front
# of every path, for staging: make install PREFIX=/usr DESTDIR=/tmp/root
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package build/quillbright_<version>_<arch>.deb (CPack), with its
# dependencies from dpkg-shlibdeps, checked by lintian.
package: build
	cmake --build $(BUILD) --target package
	lintian --fail-on error $(BUILD)/quillbright_*.deb

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

# The threaded parts under ThreadSanitizer: the unit tests, then the tests of
# the other labels whose code runs threads: TLS, the HTTP downloads (curl on
# a thread of its own), the resolver pool's lookups and the list updates.
TSAN_TESTS ?= Tls|Download|Proxy|Dnsbl|SilentNameServer|ListUpdate|ServerName
tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DQB_TSAN=ON -DQB_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	scripts/run-offline ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -L unit
	scripts/run-offline ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -LE unit -R '$(TSAN_TESTS)'

# clang-tidy on the sources changed since TIDY_BASE (default: the commit
# before HEAD).
TIDY_BASE ?= HEAD~1
tidy: configure
	scripts/tidy-changed $(BUILD) $(TIDY_BASE)

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

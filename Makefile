# Two commands for a fresh Debian 12 machine (as root):
#   make run    build and show the clock under Wine, keeping time against
#               servers on loopback (ONLINE=1: against the Internet)
#   make test   build and pass every test
#   make dist   the Windows release in dist/
NATIVE := build/native
WIN := build/win
JOBS := $(shell nproc)

CONFIGURE_WIN = cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release

.PHONY: deps build test run dist bench bench-wine bench-soak fuzz tsan clean

deps:
	@tools/install-deps

build: deps
	cmake -S . -B $(NATIVE) -DMARIVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(NATIVE) -j$(JOBS)
	$(CONFIGURE_WIN)
	cmake --build $(WIN) -j$(JOBS)

test: build
	ctest --test-dir $(NATIVE) --output-on-failure -j$(JOBS)
	ctest --test-dir $(WIN) --output-on-failure
	$(MAKE) --no-print-directory tsan

# ONLINE=1: the user's stored settings against the Internet, still unable
# to set this machine's clock. Builds only what tools/run-clock runs: the
# program, and the driver that shows it on a virtual display when there is
# no display; no test program and nothing native.
RUN_TARGETS := marivel marivel_peek
run: deps
	$(CONFIGURE_WIN)
	cmake --build $(WIN) -j$(JOBS) --target $(RUN_TARGETS)
	tools/run-clock $(if $(filter 1,$(ONLINE)),--online) $(WIN)

# The Windows release: dist/marivel-VERSION-win64.zip and .msi.
dist: deps
	$(CONFIGURE_WIN)
	cmake --build $(WIN) -j$(JOBS) --target dist

# Figures for the README: an optimised build of the portable core.
bench: deps
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release
	cmake --build build/bench -j$(JOBS) --target reply_cost peer_accuracy nts_ke_cost
	build/bench/bench/reply_cost
	tests/harness/isolated tests/harness/with-peers --shift 4321 build/bench/bench/peer_accuracy
	tests/harness/isolated tests/harness/with-peers build/bench/bench/nts_ke_cost

# The real program under Wine beside reference clients, over three paths
# (about 10 minutes).
bench-wine: build
	tests/harness/isolated tests/harness/with-peers --shift 4321 tests/harness/with-wine --unix \
		bench/run-wine-accuracy $(WIN) $(NATIVE)

# The real program under Wine over minutes: the display and three loads for
# 10 minutes side by side (each in a namespace of its own), then a flood, the
# footprint, and the time service for 10 minutes, its clock settings
# recorded by the clock hook (about 27 minutes). Tables in build/soak/.
SOAK_PHASES := display load-peer load-unresolvable load-silent
SOAK = tests/harness/isolated tests/harness/with-peers --shift 4321 tests/harness/with-wine --unix \
	bench/run-wine-soak $(WIN) $(NATIVE)
bench-soak: build
	mkdir -p build/soak
	pids=; jobs=; failed=0; trap 'kill $$pids 2>/dev/null; wait; exit 130' INT TERM HUP; \
	for phase in $(SOAK_PHASES); do \
		$(SOAK) $$phase 600 >build/soak/$$phase.md & pids="$$pids $$!"; jobs="$$jobs $$!:$$phase"; \
	done; \
	for job in $$jobs; do wait $${job%%:*} || { echo "bench-soak: the phase $${job#*:} failed" >&2; failed=1; }; done; \
	pids=; \
	$(SOAK) flood 30 >build/soak/flood.md || { echo "bench-soak: the phase flood failed" >&2; failed=1; }; \
	$(SOAK) footprint >build/soak/footprint.md || { echo "bench-soak: the phase footprint failed" >&2; failed=1; }; \
	MARIVEL_WINE_SYSTEM_ENV='MARIVEL_HOOK_OUT=C:\windows\temp\marivel-service-calls.txt' \
		$(SOAK) service 600 >build/soak/service.md || { echo "bench-soak: the phase service failed" >&2; failed=1; }; \
	cat $(foreach phase,$(SOAK_PHASES) flood footprint service,build/soak/$(phase).md); \
	exit $$failed

# Every fuzz target for 60 s, in the private namespace; clang only here.
fuzz:
	@tools/install-deps clang libclang-rt-14-dev
	fuzz/run -t 60

# The native core tests again under ThreadSanitizer (it excludes ASan).
tsan: deps
	cmake -S . -B build/tsan -DMARIVEL_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/tsan -j$(JOBS)
	ctest --test-dir build/tsan --output-on-failure -j$(JOBS) -E harness_selftest

clean:
	rm -rf build

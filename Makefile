# The two commands of the README: `make demo` and `make test`.
# Each installs what is missing, configures and builds both builds.
#   make test TEST=regex   runs only the CTest tests whose names match.
#   make soak [SOAK_SECONDS=n]   the whole system under load for n seconds
#                          (default 180); not part of make test.

SESSION := cmake/wine-session.sh
TEST ?=
SOAK_SECONDS ?= 180

.PHONY: all deps build demo test soak bench dist clean

all: build

deps:
	@cmake/install-deps.sh

build: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32
	cmake --preset win64 >/dev/null
	cmake --build --preset win64

test: build
	$(SESSION) ctest --preset win64 $(if $(TEST),-R '$(TEST)')

demo: build
	$(SESSION) demo/run-demo.sh

soak: build
	$(SESSION) tests/soak/soak.py $(SOAK_SECONDS)

# Walk throughput of the SNMP agent against peers, and the notice latency
# through the notifier server; never part of the tests.
bench: build
	$(SESSION) bench/snmp_walk_bench.sh
	$(SESSION) bash -c '"$$ARVEXA_WINE_LOADER" build/win64/bin/notifier_latency_bench.exe'

# The Windows package: dist/arvexa-win32-<version>.zip.
dist: build
	cmake --build --preset win32 --target package_zip

clean:
	rm -rf build dist

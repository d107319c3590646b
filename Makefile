# Entry points for a newcomer: `make demo`, `make run`, `make test`, `make package`.
# Each builds only what it needs: the program (and the simulator for the demo) builds in a
# fraction of the time that the tests and benchmarks take.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps test-deps configure build run test demo bench package clean

deps:
	@tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

# Everything: the program, the tools, the tests and the benchmarks.
build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: configure
	@cmake --build $(BUILD) -j $(JOBS) --target quorvane
	$(BUILD)/bin/quorvane

# The tests' own desktops and tools first: the build looks some of their files up.
test-deps:
	@tools/install-deps.sh test

test: test-deps build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2

demo: configure
	@cmake --build $(BUILD) -j $(JOBS) --target quorvane balance-sim
	tools/demo.sh $(BUILD)

# A .deb for Debian and Ubuntu desktops, left as $(BUILD)/quorvane_<version>_<arch>.deb.
package: configure
	@cmake --build $(BUILD) -j $(JOBS) --target quorvane desktop_files
	@cd $(BUILD) && cpack

bench: build
	@tools/install-deps.sh bench
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD)

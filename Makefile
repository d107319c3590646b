# Entry points for a newcomer: `make demo`, `make run`, `make test`, `make package`.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps build run test demo bench package clean

deps:
	@tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/quorvane

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2

demo: build
	tools/demo.sh $(BUILD)

# A .deb for Debian and Ubuntu desktops, left as $(BUILD)/quorvane_<version>_<arch>.deb.
package: build
	@cmake --build $(BUILD) --target package

bench: build
	@tools/install-deps.sh bench
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD)

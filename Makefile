# Thin wrapper: every target installs what is missing, then builds.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench package clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then echo "No display: starting under xvfb-run"; xvfb-run -a $(BUILD)/mivo; else $(BUILD)/mivo; fi

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Every benchmark headless; then the launch as a desktop user has it, hidden in a tray under X.
bench: build
	@for b in $(BUILD)/bench/bench_*; do if [ -f "$$b" ] && [ -x "$$b" ]; then QT_QPA_PLATFORM=offscreen "$$b" 2>&1 | grep -v systemTrayWindowChanged; fi; done; true
	@bench/under-x.sh $(BUILD)/bench/bench_scale --launches 2>&1 | grep -v systemTrayWindowChanged; true

# A Debian package of the installed layout: build/mivo_<version>_<arch>.deb
package: build
	@cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD)

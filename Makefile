# The two commands of the project:
#   make run   installs what is missing, builds and starts the program
#   make test  installs what is missing, builds and runs every test headless
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test build deps configure bench clean package

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@$(BUILD)/app/KVRChartDB

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# The Debian package build/kvr-chart-db_VERSION_ARCH.deb (install: apt install ./build/kvr-chart-db_*.deb)
package: build
	@cd $(BUILD) && cpack -G DEB

bench: build
	@for b in $(BUILD)/bench/bench_*; do QT_QPA_PLATFORM=offscreen $$b; done

clean:
	@rm -rf $(BUILD)

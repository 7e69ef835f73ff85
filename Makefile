# The two commands of the README.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: run test deps configure build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# Only what runs: the backup program and the updater that its menu starts from the same folder.
run: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target PalvrenFtp Update
	cd $(BUILD_DIR)/bin && ./PalvrenFtp

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 600

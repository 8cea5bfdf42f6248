# Front door: a thin wrapper over CMake presets.
#   make demo      install deps, build, run both tools on the example node
#   make test      install deps, build, run every test
#   make install   PREFIX=/usr/local (default)

PRESET ?= release
BUILD_DIR := build/$(PRESET)
PREFIX ?= /usr/local
EXAMPLE := examples/node/settings.ini

.PHONY: all deps build test demo install package check-man examples clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake --preset $(PRESET) >/dev/null
	@cmake --build --preset $(PRESET)

test: build
	@ctest --preset $(PRESET)

demo: build
	@echo '$$ crestview 7 --config $(EXAMPLE)'
	@$(BUILD_DIR)/crestview 7 --config $(EXAMPLE)
	@echo
	@echo '$$ crestview 8 --config $(EXAMPLE)'
	@$(BUILD_DIR)/crestview 8 --config $(EXAMPLE)
	@echo
	@echo '$$ swarmview 7 --config $(EXAMPLE)'
	@$(BUILD_DIR)/swarmview 7 --config $(EXAMPLE)
	@echo
	@echo '$$ swarmview 9 --config $(EXAMPLE)'
	@$(BUILD_DIR)/swarmview 9 --config $(EXAMPLE)
	@echo
	@echo '$$ chainscan verify --config $(EXAMPLE)   # its records were made independently'
	@$(BUILD_DIR)/chainscan verify --config $(EXAMPLE) || true
	@echo
	@rm -rf build/demo-store && $(BUILD_DIR)/tests/support/make_store build/demo-store 1000
	@echo '$$ chainscan verify --config build/demo-store/settings.ini   # a generated consistent store'
	@$(BUILD_DIR)/chainscan verify --config build/demo-store/settings.ini
	@echo
	@echo '$$ chainscan dump --no-proof --to 1 --config build/demo-store/settings.ini'
	@$(BUILD_DIR)/chainscan dump --no-proof --to 1 --config build/demo-store/settings.ini
	@echo
	@echo '$$ chainscan stats --config build/demo-store/settings.ini | head -15'
	@$(BUILD_DIR)/chainscan stats --config build/demo-store/settings.ini | head -15
	@$(BUILD_DIR)/chainscan report --config build/demo-store/settings.ini > build/demo-store/chain.html
	@echo '$$ chainscan report --config build/demo-store/settings.ini > build/demo-store/chain.html   # open it in a browser'

install: build
	@cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# A Debian package in build/release/, checked by installing it into a
# temporary root and running the installed tools.
package: build
	@scripts/install-deps --tools
	@cd $(BUILD_DIR) && cpack >/dev/null && ls -1 $(CURDIR)/$(BUILD_DIR)/*.deb
	@scripts/check-package $(BUILD_DIR)/crestview-swarmview_*.deb

# The man pages render without warnings.
check-man: build
	@scripts/install-deps --tools
	@scripts/check-man-pages $(BUILD_DIR)

# Regenerates the example node's binary files from the record builders.
examples: build
	@$(BUILD_DIR)/tests/make_example_node examples/node

clean:
	@rm -rf build

# Performance: micro-benchmarks, then whole runs against cat.
.PHONY: bench

bench:
	@scripts/install-deps --bench
	@cmake --preset release -DVIEWERS_BENCH=ON >/dev/null
	@cmake --build --preset release
	@build/release/bench/micro_benchmarks
	@bench/whole-process build/release
	@bench/chainscan build/release
	@bench/follow build/release
	@bench/cold-store build/release
	@bench/glance build/release
	@bench/sql-stream build/release
	@bench/io-uring build/release
	@bench/diff build/release

# Hardening: the whole suite under ASan and UBSan, fuzzing, coverage.
FUZZ_SECONDS ?= 60

.PHONY: check-asan fuzz coverage

check-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	@ctest --preset asan

fuzz:
	@scripts/install-deps --fuzz
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@scripts/run-fuzzers $(FUZZ_SECONDS)

coverage:
	@scripts/install-deps --coverage
	@cmake --preset coverage >/dev/null
	@find build/coverage -name '*.gcda' -delete 2>/dev/null || true
	@cmake --build --preset coverage
	@ctest --preset coverage >/dev/null
	@gcovr --root . --filter 'src/' --object-directory build/coverage \
	  --exclude-unreachable-branches --exclude-throw-branches --gcov-exclude '.*CompilerId.*' --txt
	@gcovr --root . --filter 'src/' --object-directory build/coverage \
	  --exclude-unreachable-branches --exclude-throw-branches --gcov-exclude '.*CompilerId.*' --txt --branches | tail -n 3

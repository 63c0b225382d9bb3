# Two commands for everyone: `make run` and `make test`.
# The fuzz preset's tests are a one-minute fuzz run; `make fuzz` runs longer.
PRESETS := linux linux-asan windows fuzz
FUZZ_SECONDS ?= 600

.PHONY: run test build dist fuzz bench clean deps-run deps-test

run: deps-run
	cmake --preset linux
	cmake --build --preset linux
	scripts/run-velmora build/linux/Velmora

test: deps-test
	@set -e; for preset in $(PRESETS); do \
		echo "== $$preset"; \
		cmake --preset $$preset >/dev/null; \
		cmake --build --preset $$preset; \
		ctest --preset $$preset; \
	done
	@echo "== ALSA in a virtual machine"
	tests/vm/run-alsa-tests build/linux build/windows
	$(MAKE) --no-print-directory dist
	tests/dist/check-dist dist build/windows

# The downloads, under dist/: the Windows zip, the Debian package and their
# checksums, packed by CPack from the linux and windows builds.
dist: deps-test
	@set -e; for preset in linux windows; do \
		cmake --preset $$preset >/dev/null; \
		cmake --build --preset $$preset; \
		rm -rf build/$$preset/packages; \
		cpack --preset $$preset >/dev/null; \
	done
	rm -rf dist
	mkdir dist
	cp build/linux/packages/*.deb build/windows/packages/*.zip dist/
	cd dist && sha256sum -- * >SHA256SUMS
	@ls -l dist

build: deps-test
	@set -e; for preset in $(PRESETS); do \
		cmake --preset $$preset >/dev/null && cmake --build --preset $$preset; \
	done

# Fuzzes the configuration reader for FUZZ_SECONDS, going on from the inputs
# that earlier runs found (kept in build/fuzz/fuzz/run).
fuzz: deps-test
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	fuzz/run-fuzzer build/fuzz/fuzz/velmora_config_fuzzer $(FUZZ_SECONDS) build/fuzz/fuzz/run

# Benchmarks and end-to-end timings, side by side in one run (docs/PERFORMANCE.md).
bench: deps-test
	cmake --preset bench >/dev/null
	cmake --build --preset bench
	bench/run-bench build/bench

deps-run:
	scripts/install-deps run

deps-test:
	scripts/install-deps test

clean:
	rm -rf build dist

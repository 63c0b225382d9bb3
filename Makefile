# Two commands for everyone: `make run` and `make test`.
PRESETS := linux linux-asan windows

.PHONY: run test build clean deps-run deps-test

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

build: deps-test
	@set -e; for preset in $(PRESETS); do \
		cmake --preset $$preset >/dev/null && cmake --build --preset $$preset; \
	done

deps-run:
	scripts/install-deps run

deps-test:
	scripts/install-deps test

clean:
	rm -rf build

# The two commands of the README: `make run` and `make test`. Both install what they need.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test deps build format check-format clean

deps:
	@tools/install_deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && $(CURDIR)/tools/with_display.sh ctest --output-on-failure -j $(JOBS)

run: build
	tools/run.sh $(BUILD)

format:
	tools/check_format.sh --fix

check-format:
	tools/check_format.sh

clean:
	rm -rf $(BUILD)

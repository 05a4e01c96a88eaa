# The two commands of the README: `make run` and `make test`. Both install what they need.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test bench deps configure build game format check-format clean

deps:
	@tools/install_deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

# Everything: the game, its data, the tools, the test programs and the benchmarks.
build: configure
	cmake --build $(BUILD) -j $(JOBS)

# What the game needs to run and nothing more: the program and its data folder.
game: configure
	cmake --build $(BUILD) -j $(JOBS) --target quillomar data_folder

test: build
	cd $(BUILD) && $(CURDIR)/tools/with_display.sh ctest --output-on-failure -j $(JOBS)

run: game
	tools/run.sh $(BUILD)

# The simulation's speed figures, then the visualisation's processor work and the game's frames a
# second in a window (on a private Xvfb where there is no display), one "name value unit" line each
# (see README, Speed).
bench: build
	cd $(BUILD) && for b in busy_bench world_parts_bench plan_request_bench planner_bench path_bench vis_bench; do \
	  QUILLOMAR_DATA_DIR=$$PWD ./bench/$$b | grep -E '^[a-z0-9_]+ [-0-9.]+ [^ ]+$$' || exit 1; done
	cd $(BUILD) && QUILLOMAR_DATA_DIR=$$PWD $(CURDIR)/tools/with_display.sh ./bench/fps_bench | \
	  grep -E '^[a-z0-9_]+ [-0-9.]+ [^ ]+$$'

format:
	tools/check_format.sh --fix

check-format:
	tools/check_format.sh

clean:
	rm -rf $(BUILD)

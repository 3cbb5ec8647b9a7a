# make       builds the tool, builds the image into out/ (out/image.elf with its
#            debug sections, and its GNU assembler sources in out/src/) and
#            runs it on the reference simulator with the quick-run flag set
#            and then the supplementary image (out/supplement.elf)
# make test  builds and runs the whole test suite (with ASan and UBSan)

MAKEFLAGS += --no-print-directory

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD := build
TEST_BUILD := build-test
BENCH_BUILD := build-bench

.PHONY: all tool image run test bench clean

all: run

tool:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target r3kcheck

image: tool
	@$(BUILD)/r3kcheck build -o out/image.elf --sources out/src

run: image
	@$(BUILD)/r3kcheck run out/image.elf
	@$(BUILD)/r3kcheck build --supplement -o out/supplement.elf >/dev/null
	@$(BUILD)/r3kcheck run -q out/supplement.elf

test:
	@cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DR3K_TESTS=ON -DR3K_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

bench:
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DR3K_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(BENCH_BUILD) out

# make       builds the tool, builds the image into out/ (image.elf with its
#            debug sections, its GNU assembler sources in out/src/, its boot
#            memory as image.bin, .hex, .coe, .mif and the listing image.lst)
#            and runs it on the reference simulator with the quick-run flag set
#            and then the supplementary image (out/supplement.elf) and the
#            exceptions image (out/exceptions.elf)
# make cosim builds the lock-step checker library, build/libr3kcosim.so and .a
# make install PREFIX=DIR  installs the tool, libr3kcosim, its header, the HDL
#            and r3kcheck.pc (pkg-config) under DIR (default /usr/local)
# make test  builds and runs the whole test suite (with ASan and UBSan)
# make clang-check  builds the tool with clang++, checks that it writes the
#            same images as the g++ tool, and compiles the tests with clang++
# make fuzz-smoke   runs each libFuzzer target for FUZZ_SECONDS (60) seconds;
#            make fuzz runs them for 10 minutes each
# make bench prints the simulator's speed, diagnose's accuracy on the evaluation set
#            (bench_diagnose), and times the tool against unicorn
#            and GNU as + ld (bench/compare.sh)

MAKEFLAGS += --no-print-directory

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD := build
TEST_BUILD := build-test
BENCH_BUILD := build-bench
CLANG_BUILD := build-clang
CLANG_TEST_BUILD := build-clang-test
FUZZ_BUILD := build-fuzz
CHECK_SEEDS := 0x52334B31 2 0xDE1A7
FUZZERS := elf_reader_fuzzer run_image_fuzzer design_trace_fuzzer json_reader_fuzzer diagnose_fuzzer
FUZZ_SECONDS ?= 60
# Inputs up to 64 KiB: the small image and the raw boot memories fit, and
# mutations stay fast; the 580 KB default image is read cut to this length.
FUZZ_MAX_LEN := 65536
# One input taking this long (seconds) is a finding: a hang, not a slow run.
FUZZ_TIMEOUT := 60

.PHONY: all tool install cosim image run test bench clean clang-check fuzz-build fuzz-smoke fuzz fuzz-run

all: run

tool:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target r3kcheck

PREFIX ?= /usr/local
install:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target r3kcheck r3kcosim r3kcosim_static
	@cmake --install $(BUILD) --prefix $(PREFIX)

cosim:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target r3kcosim r3kcosim_static

image: tool
	@$(BUILD)/r3kcheck build -o out/image.elf --sources out/src
	@for format in bin hex coe mif lst; do $(BUILD)/r3kcheck export out/image.elf --format $$format >/dev/null || exit 2; done

run: image
	@$(BUILD)/r3kcheck run out/image.elf
	@$(BUILD)/r3kcheck build --supplement -o out/supplement.elf >/dev/null
	@$(BUILD)/r3kcheck run -q out/supplement.elf
	@$(BUILD)/r3kcheck build --exceptions -o out/exceptions.elf >/dev/null
	@$(BUILD)/r3kcheck run -q out/exceptions.elf

test:
	@cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DR3K_TESTS=ON -DR3K_SANITIZE=ON >/dev/null
	@cmake --build $(TEST_BUILD) -j $(JOBS)
	@cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

bench:
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DR3K_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bench_*; do echo "== $$b"; $$b; done
	@echo "== bench/compare.sh: whole processes, medians"
	@bench/compare.sh $(BENCH_BUILD)

# The clang++ test build is compiled, not run: `make test` already runs the
# suite under the sanitizers, and the images of both compilers are compared.
# The clang++ tool build takes the benchmarks along, so they keep compiling.
clang-check: tool
	@cmake -S . -B $(CLANG_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release -DR3K_BENCH=ON >/dev/null
	@cmake --build $(CLANG_BUILD) -j $(JOBS)
	@mkdir -p out/clang-check
	@for seed in $(CHECK_SEEDS); do \
	  $(BUILD)/r3kcheck build --seed $$seed -o out/clang-check/g++.elf >/dev/null || exit 2; \
	  $(CLANG_BUILD)/r3kcheck build --seed $$seed -o out/clang-check/clang++.elf >/dev/null || exit 2; \
	  cmp out/clang-check/g++.elf out/clang-check/clang++.elf || exit 1; \
	  echo "seed $$seed: the g++ and clang++ tools write the same image"; \
	done
	@cmake -S . -B $(CLANG_TEST_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS_DEBUG=-O0 -DR3K_TESTS=ON >/dev/null
	@cmake --build $(CLANG_TEST_BUILD) -j $(JOBS) --target r3k_tests
	@echo "the test suite compiles with clang++"

fuzz-build:
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DR3K_SANITIZE=ON -DR3K_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZERS) make_corpus
	@rm -rf $(FUZZ_BUILD)/seeds && mkdir -p $(FUZZ_BUILD)/seeds
	@$(FUZZ_BUILD)/fuzz/make_corpus $(FUZZ_BUILD)/seeds

# Each target runs FUZZ_SECONDS on its own seeds plus what earlier runs found;
# any crash, leak or sanitizer report fails the run and keeps the input.
fuzz-run:
	@for f in $(FUZZERS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$f $(FUZZ_BUILD)/artifacts; \
	  if ! $(FUZZ_BUILD)/fuzz/$$f -max_total_time=$(FUZZ_SECONDS) -timeout=$(FUZZ_TIMEOUT) -max_len=$(FUZZ_MAX_LEN) -print_final_stats=1 \
	      -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$f- $(FUZZ_BUILD)/corpus/$$f $(FUZZ_BUILD)/seeds/$$f \
	      >$(FUZZ_BUILD)/$$f.log 2>&1; then \
	    tail -n 60 $(FUZZ_BUILD)/$$f.log; echo "$$f: FAILED (log $(FUZZ_BUILD)/$$f.log)"; exit 1; \
	  fi; \
	  echo "$$f: $$(grep -o 'number_of_executed_units: [0-9]*' $(FUZZ_BUILD)/$$f.log | cut -d' ' -f2) executions in $(FUZZ_SECONDS) s, no finding"; \
	done

fuzz-smoke: fuzz-build
	@$(MAKE) fuzz-run FUZZ_SECONDS=$(FUZZ_SECONDS)

fuzz: fuzz-build
	@$(MAKE) fuzz-run FUZZ_SECONDS=600

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(BENCH_BUILD) $(CLANG_BUILD) $(CLANG_TEST_BUILD) $(FUZZ_BUILD) out

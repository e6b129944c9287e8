# The two commands of the README: `make run` and `make test`. Both install what is missing.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_TSAN ?= build-tsan
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)

.PHONY: all deps configure build run test test-fast test-asan test-tsan test-fuzz clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The emulator takes roms/, usb/ and vantorel.ini from the directory it is started in.
run: build
	mkdir -p roms usb
	./$(BUILD)/vantorel

test-fast: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DVANTOREL_SANITIZE=address,undefined
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0 ctest --test-dir $(BUILD_ASAN) --output-on-failure -j $(JOBS) -LE "nosan"

test-tsan: deps
	cmake -S . -B $(BUILD_TSAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOREL_SANITIZE=thread -DVANTOREL_DESKTOP=OFF
	cmake --build $(BUILD_TSAN) -j $(JOBS) --target tsan_tests
	ctest --test-dir $(BUILD_TSAN) --output-on-failure -L tsan

# The libFuzzer harnesses (clang, ASan+UBSan), each for a bounded time: the CH376 command
# stream over a sandbox usb directory (then the sandbox's surroundings must be untouched), the
# loaders alone at speed (cartridge, cassette, text), the loaders with the machine running on
# what they loaded, the settings reader, and the GDB stub's packets.
test-fuzz: deps
	cmake -S . -B $(BUILD_FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DVANTOREL_DESKTOP=OFF -DVANTOREL_FUZZ=ON \
	  -DVANTOREL_SANITIZE=address,undefined -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_ch376 fuzz_loading fuzz_readers fuzz_config fuzz_state fuzz_gdb
	tests/ch376/run_fuzz.sh $(BUILD_FUZZ) $(FUZZ_SECONDS)
	tests/run_fuzz.sh $(BUILD_FUZZ) $(FUZZ_SECONDS)

test: test-fast test-asan test-tsan test-fuzz

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN) $(BUILD_FUZZ)

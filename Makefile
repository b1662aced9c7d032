# The two set-up commands (run, test) and the benchmarks. Everything builds
# and runs inside the Debian 13 toolchain root made by tools/toolchain.sh.
.PHONY: all build run test bench soak fuzz dist clean

TOOLCHAIN := tools/toolchain.sh

all: build

build:
	@$(TOOLCHAIN) exec tools/build.sh

# Starts the program under Wine on your display when there is one; else
# records five seconds on a virtual screen by pressing its record button, and
# leaves the recording in build/demo/recording.mp4.
run:
	@QM_DISPLAY="$(DISPLAY)" $(TOOLCHAIN) exec tools/run.sh

# Builds everything and runs every test, native and under Wine.
test:
	@$(TOOLCHAIN) exec tools/test.sh

# Figures of speed and memory, and the engine beside FFmpeg: its Windows
# build's gdigrab under the same Wine, and x11grab as a floor. The Windows
# build is fetched here, on the host: inside the root there is no registry.
bench:
	@tools/fetch-peer.sh
	@$(TOOLCHAIN) exec tools/bench.sh

# A 30-minute recording: memory every minute, frames and sound at the end.
soak:
	@$(TOOLCHAIN) exec tools/bench.sh --soak $(SOAK_MINUTES)

# Each fuzz target for FUZZ_SECONDS (60) from its corpus: executions,
# crashes and coverage per target.
fuzz:
	@FUZZ_SECONDS="$(FUZZ_SECONDS)" $(TOOLCHAIN) exec tools/fuzz.sh

# The installer and the portable package, in build/dist.
dist:
	@$(TOOLCHAIN) exec tools/dist.sh

clean:
	rm -rf build

# make demo: install what is missing, build, and show the tool at work under
#            Wine in a fresh prefix.
# make test: install what is missing, build (64-bit and 32-bit), run every
#            test under Wine.

X64 := build/x64
X86 := build/x86

.PHONY: all prerequisites build test demo bench dist clean

all: build

prerequisites:
	@scripts/install-prerequisites.sh

build: prerequisites
	cmake --preset windows-x64 >/dev/null
	cmake --build --preset windows-x64 -j2
	cmake --preset windows-x86 >/dev/null
	cmake --build --preset windows-x86 -j2

test: build
	ctest --preset windows-x64

demo: build
	@scripts/demo.sh $(X64)

# The device walk's cost over many simulated devices, then the whole
# uninstall process beside a baseline program (figures in README.md).
bench: build
	cmake/wine-run $(CURDIR)/$(X64)/wineprefix $(X64)/bin/enumerate_bench.exe
	tests/bench/process_bench.sh $(X64)

# Release archives of both architectures and their checksums in dist/
# (README.md, "Releases"); signed when PINWHEEL_SIGN_* name a certificate.
dist: prerequisites
	@scripts/dist.sh dist build/dist

clean:
	rm -rf build

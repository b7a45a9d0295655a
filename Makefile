# make       set up the machine, configure and build Veltrix (32-bit)
# make test  the same, then every test under Wine
# make run   the same, then Veltrix under Wine with a demo Start Menu
# make bench the same, then the menu build benchmark
# make dist  KEY=publisher.pem [CERT=codesign.pfx CERT_PASS=...]: the same, then the release in dist/ built
#            with that update key: the portable zip, the installer, the signed update release
#            (dist/releases/VERSION/), SHA256SUMS and the winget manifests; with CERT, Authenticode-signed
.PHONY: all setup build test run bench dist clean

all: build

setup:
	@tools/setup

build: setup
	@[ -f build/build.ninja ] || cmake --preset default >/dev/null
	@cmake --build --preset default
	@grep -q '^VELTRIX_UPDATE_PUBLIC_KEY:STRING=.' build/CMakeCache.txt || \
	    echo "Note: built without VELTRIX_UPDATE_PUBLIC_KEY: this Veltrix.exe installs unsigned updates."

# Where the kernel cannot execute 32-bit code, the tests run from the 64-bit build of the same sources.
test: build
	@if tools/can-run-32bit; then \
	    ctest --preset default; status=$$?; \
	    VELTRIX_BUILD=$(CURDIR)/build tools/wine-session stop >/dev/null 2>&1; \
	else \
	    echo "This machine cannot execute 32-bit x86 code: running the tests from the 64-bit build."; \
	    { [ -f build/x64/build.ninja ] || cmake --preset x64 >/dev/null; } && cmake --build --preset x64 && \
	    ctest --preset x64; status=$$?; \
	    VELTRIX_BUILD=$(CURDIR)/build/x64 tools/wine-session stop >/dev/null 2>&1; \
	fi; exit $$status

# Starts Veltrix under Wine with a demo Start Menu (a screenshot when there is no display).
run: build
	@if tools/can-run-32bit; then tools/run $(CURDIR)/build; else \
	    { [ -f build/x64/build.ninja ] || cmake --preset x64 >/dev/null; } && cmake --build --preset x64 >/dev/null && \
	    tools/run $(CURDIR)/build/x64; fi

# Measures the menu build from the shell and from the cache for 100, 1000 and 5000 shortcuts in folders
# of 20, and for 10,000 in one folder.
bench: build
	@if tools/can-run-32bit; then dir=build; else dir=build/x64; \
	    { [ -f build/x64/build.ninja ] || cmake --preset x64 >/dev/null; }; fi; \
	    cmake --build $$dir --target menu_bench >/dev/null && \
	    VELTRIX_WINE_STATE=$(CURDIR)/$$dir/bench tools/winerun $(CURDIR)/$$dir/bin/menu_bench.exe

dist: build
	@KEY="$(KEY)" CERT="$(CERT)" tools/make-dist

clean:
	@-VELTRIX_BUILD=$(CURDIR)/build tools/wine-session stop >/dev/null 2>&1
	@-VELTRIX_BUILD=$(CURDIR)/build/x64 tools/wine-session stop >/dev/null 2>&1
	rm -rf build dist

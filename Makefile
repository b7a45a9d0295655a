# make       set up the machine, configure and build Veltrix (32-bit, and the 64-bit program the release carries)
# make test  the same, then every test of both builds under Wine
# make run   the same, then Veltrix under Wine with a demo Start Menu
# make bench the same, then the menu build benchmark
# make dist  KEY=publisher.pem [CERT=codesign.pfx CERT_PASS=...]: the same, then the release in dist/ built
#            with that update key: both portable zips, the installer of both programs, the signed update
#            releases (dist/releases/VERSION/ and .../x64/), SHA256SUMS and the winget manifests; with CERT,
#            Authenticode-signed
.PHONY: all setup build test run bench dist clean

all: build

setup:
	@tools/setup

build: setup
	@[ -f build/build.ninja ] || cmake --preset default >/dev/null
	@cmake --build --preset default
	@grep -q '^VELTRIX_UPDATE_PUBLIC_KEY:STRING=.' build/CMakeCache.txt || \
	    echo "Note: built without VELTRIX_UPDATE_PUBLIC_KEY: this Veltrix.exe installs unsigned updates."

# The tests of both programs, each in its own Wine prefix: the 32-bit build's (the installer's among them)
# where the kernel can execute 32-bit code, then the 64-bit build's. Elsewhere the 64-bit build's only,
# with the static checks of the 32-bit artefacts.
test: build
	@status=0; \
	if tools/can-run-32bit; then \
	    ctest --preset default || status=1; \
	    VELTRIX_BUILD=$(CURDIR)/build tools/wine-session stop >/dev/null 2>&1; \
	else \
	    echo "This machine cannot execute 32-bit x86 code: running the tests of the 64-bit build only."; \
	fi; \
	{ [ -f build/x64/build.ninja ] || cmake --preset x64 >/dev/null; } && cmake --build --preset x64 && \
	    ctest --preset x64 || status=1; \
	VELTRIX_BUILD=$(CURDIR)/build/x64 tools/wine-session stop >/dev/null 2>&1; \
	exit $$status

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

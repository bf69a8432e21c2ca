# make run   installs what is missing, builds, starts the program (default edition)
# make test  the same set-up, then every test
# make install   installs below PREFIX (default /usr/local; DESTDIR is honoured)
# make package   builds build/wizconv_<version>_amd64.deb
BUILD ?= build
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: all deps configure build run test install package clean screenshot

all: build

deps:
	scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/wizconv

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cmake --build $(BUILD) --target package

screenshot: build
	scripts/screenshot docs/main-window.png

clean:
	rm -rf $(BUILD)

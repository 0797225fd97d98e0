#!/usr/bin/env bash
# Installs the build in BUILD_DIR (default build) into a temporary prefix and
# checks what a user of the installed package gets: every public header
# compiles on its own, the plug-in exports its entry point alone, the
# installed tool finds its plug-in, and the embedding example builds as an
# outside CMake project (find_package) and through pkg-config, and prints what
# the in-tree build prints.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

for header in $(cd "$prefix/include/dendrix" && find . -name '*.h' | sort); do
  echo "#include \"$header\"" |
    g++ -std=c++17 -x c++ -fsyntax-only -I"$prefix/include/dendrix" - ||
    { echo "install: $header does not compile on its own"; exit 1; }
done

exported=$(nm -D --defined-only "$prefix"/lib*/libdendrix_plugin.so | awk '{print $3}')
if [ "$exported" != GiveMyTranslator ]; then
  echo "install: the plug-in exports more than GiveMyTranslator:"; echo "$exported" | head
  exit 1
fi

"$prefix/bin/dendrix-score" --keep flower examples/iris/model.pmml examples/iris/input.csv |
  cmp - examples/iris/expected.csv

cmake -S examples/embed -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
"$work/cmake/embed" examples/iris/model.pmml >"$work/cmake.txt"

libdir=$(dirname "$(ls "$prefix"/lib*/libdendrix_host.so)")
# shellcheck disable=SC2046
g++ -std=c++17 -o "$work/embed" examples/embed.cpp \
  $(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs dendrix) -Wl,-rpath,"$libdir"
"$work/embed" examples/iris/model.pmml | cmp - "$work/cmake.txt"

if [ -x "$build/bin/example_embed" ]; then
  "$build/bin/example_embed" examples/iris/model.pmml | cmp - "$work/cmake.txt"
fi
cat "$work/cmake.txt"
echo "install: headers, exports, tool and both embedding builds checked"

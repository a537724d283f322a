# Sourced by the scripts here: where things are, and how Brasselt is built.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build
wine=$root/scripts/wine.sh

configure_and_build() {  # [TARGET]
  cmake -S "$root" -B "$build/i686" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build/i686" --target "${1:-all}" -j"$(nproc)"
}

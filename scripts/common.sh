# Sourced by the scripts here: where things are, and which Wine can run which build.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build

# Brasselt is a 32-bit program. Some machines (some virtual ones among them) cannot execute
# 32-bit x86 code at all, and then neither can the 32-bit Wine. There the same sources are
# also built for x86_64, and that build is the one run under the 64-bit Wine.
runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

configure_and_build() {  # ARCH [TARGET] [CMAKE ARGS...]
  local arch=$1 target=${2:-all}
  shift $(($# < 2 ? $# : 2))
  cmake -S "$root" -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw.cmake" \
    -DMINGW_ARCH="$arch" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$build/$arch" --target "$target" -j"$(nproc)"
}

# Shared by the project's scripts: the Debian packages the project needs, and
# installing them when they are missing.

HOVANE_PACKAGES=(
  cmake ninja-build g++ pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libcpp-httplib-dev libsqlite3-dev libx11-dev
  qt6-base-dev fonts-nanum
  clang-14 libclang-rt-14-dev
  xvfb openbox x11-utils
  libxcb1-dev util-linux
)

hovane_root() { cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd; }

# Installs the packages above that are missing. As root it runs apt-get;
# otherwise it prints the one command to run and fails.
hovane_ensure_packages() {
  local missing=()
  local package
  for package in "${HOVANE_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    return 1
  fi
  echo "Installing Debian packages: ${missing[*]}"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# hovane_build_targets DIR TARGET...: configures DIR when it has no build
# yet and builds just the targets named.
hovane_build_targets() {
  local dir=$1
  shift
  [ -f "$dir/CMakeCache.txt" ] ||
    cmake -S "$(hovane_root)" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$dir" --target "$@"
}

# hovane_build DIR [CMAKE OPTIONS...]: configures (once) and builds into DIR.
hovane_build() {
  local dir=$1
  shift
  cmake -S "$(hovane_root)" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir"
}

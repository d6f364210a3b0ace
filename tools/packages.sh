# Sourced by the tools scripts: installs the Debian packages the build needs when missing.
# apt-get update runs once, and only when something has to be installed.

MORLAN_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev libsimpleini-dev qt6-base-dev
  fonts-dejavu-core)
# Only tools/fuzz.sh needs these: clang with its libFuzzer and sanitizer runtimes.
MORLAN_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# Only tools/package.sh needs these: the package's dependencies worked out (dpkg-dev), its check
# (lintian), and a virtual display with typed input for running the installed program.
MORLAN_PACKAGE_PACKAGES=(dpkg-dev lintian xvfb xdotool)

morlan_ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    "${missing[@]}"
}

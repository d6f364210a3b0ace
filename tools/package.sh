#!/usr/bin/env bash
# Builds the Debian package of morlan and checks it:
#   build-pkg/morlan_<version>_<arch>.deb   (Release, no tests, Debian's hardening flags)
#
# Checks, each of which fails the script:
#   - the package holds the program, its desktop entry, icon and manual page, and the README, the
#     copyright file and the changelog under /usr/share/doc/morlan; it depends on the Qt 6
#     libraries it links (worked out by dpkg-shlibdeps); its version is the newest changelog entry;
#   - lintian reports no error (its whole report is printed and kept in build-pkg/lintian.txt);
#   - the package is unpacked into a scratch root (dpkg-deb -x), and its /usr/bin/morlan is run
#     from there, twice:
#       without a display: it says so in one line and exits with 0;
#       on a virtual X display (Xvfb) in a folder holding the sample dictionary: xdotool types
#       what a person would (Alt+F, Right to "Fix QDL", Return; once the output is complete,
#       Alt+F and X for File > Exit), the output must equal examples/expected/VRSQ2.qdl, the
#       settings file must hold its reserved section, and the exit code must be 0.
# The program has no options and reads no variables of its own, so it is driven from outside,
# through the X server, exactly as installed: no test hook is built into it.
#
# Needs root or sudo to install missing Debian packages (tools/packages.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
source tools/packages.sh
morlan_ensure_packages "${MORLAN_PACKAGES[@]}" "${MORLAN_PACKAGE_PACKAGES[@]}"

build=build-pkg
fail() {
  echo "package.sh: $*" >&2
  exit 1
}

# Debian's hardening flags (fortified functions, stack protector, full RELRO, immediate binding);
# CMAKE_SKIP_INSTALL_ALL_DEPENDENCY keeps cpack from building the benchmarks and everything else
# the package does not hold.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORLAN_BUILD_TESTS=OFF \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build" -j2 --target morlan morlan_compressed_docs
rm -f "$build"/morlan_*.deb
(cd "$build" && cpack -G DEB)

debs=("$build"/morlan_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single morlan_*.deb"
deb="${debs[0]}"
echo "== $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

# --- What the package holds and needs ---
contents="$(dpkg-deb --contents "$deb" | awk '{print $NF}')"
for path in ./usr/bin/morlan ./usr/share/applications/morlan.desktop \
  ./usr/share/icons/hicolor/scalable/apps/morlan.svg ./usr/share/man/man1/morlan.1.gz \
  ./usr/share/doc/morlan/README.md ./usr/share/doc/morlan/copyright \
  ./usr/share/doc/morlan/changelog.gz; do
  grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
done
depends="$(dpkg-deb --field "$deb" Depends)"
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libc6 libstdc++6; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
version="$(dpkg-deb --field "$deb" Version)"
changelog_version="$(sed -n '1s/^morlan (\([^)]*\)).*/\1/p' packaging/changelog)"
[ "$version" = "$changelog_version" ] ||
  fail "the package is $version, the newest changelog entry is $changelog_version"

# --- lintian: errors fail the build; warnings and notes are listed ---
echo "== lintian"
lintian_status=0
lintian --display-info --fail-on error "$deb" >"$build/lintian.txt" 2>&1 || lintian_status=$?
cat "$build/lintian.txt"
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors (exit $lintian_status)"

# --- The installed program, run from a scratch root ---
scratch="$build/package-check"
rm -rf "$scratch"
mkdir -p "$scratch/root" "$scratch/home" "$scratch/runtime" "$scratch/work" "$scratch/no-display"
chmod 700 "$scratch/runtime"
dpkg-deb -x "$deb" "$scratch/root"
program="$(cd "$scratch/root/usr/bin" && pwd)/morlan"
scratch="$(cd "$scratch" && pwd)"
[ -x "$program" ] || fail "$program is not executable"
# The system's own libraries, a home and runtime folder of its own, no inherited Qt settings.
run_env=(env -i PATH=/usr/bin:/bin HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime"
  LANG=C.UTF-8)

echo "== without a display"
status=0
(cd "$scratch/no-display" && "${run_env[@]}" "$program") >"$scratch/no-display.out" 2>&1 ||
  status=$?
cat "$scratch/no-display.out"
[ "$status" -eq 0 ] || fail "without a display the program exited with $status"
[ "$(wc -l <"$scratch/no-display.out")" -eq 1 ] || fail "without a display: not one line"

echo "== on a virtual display, Fix QDL then File > Exit"
cp examples/VRSQ1.qdl "$scratch/work/"
expected="$root/examples/expected/VRSQ2.qdl"
xvfb_pid=""
morlan_pid=""
cleanup() {
  [ -n "$morlan_pid" ] && kill "$morlan_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  return 0
}
trap cleanup EXIT
# Xvfb picks a free display number and writes it to the given descriptor once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" \
  >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(cat "$scratch/xvfb.log")"
  sleep 0.1
done
[ -s "$scratch/display" ] || fail "Xvfb gave no display number"
export DISPLAY=":$(head -n1 "$scratch/display")"

(cd "$scratch/work" && exec "${run_env[@]}" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb "$program") \
  >"$scratch/morlan.log" 2>&1 &
morlan_pid=$!
frame="$(timeout 30 xdotool search --sync --onlyvisible --name '^Application$' | head -n1)" ||
  fail "no frame window appeared: $(cat "$scratch/morlan.log")"

# Keys go to the focused window; with no window manager the focus is set directly. Each step
# waits long enough for the menu to open; the whole sequence is repeated when a run did not
# produce the output (a key that arrived before its menu was open).
send() {
  xdotool windowfocus --sync "$frame"
  local key
  for key in "$@"; do
    xdotool key "$key"
    sleep 0.5
  done
}
complete=no
for _ in 1 2 3; do
  send alt+f Right Return
  for _ in $(seq 60); do
    if cmp -s "$scratch/work/VRSQ2.qdl" "$expected" &&
      ! xdotool search --onlyvisible --name '^Processing Records$' >/dev/null; then
      complete=yes
      break 2
    fi
    sleep 0.5
  done
done
[ "$complete" = yes ] || fail "Fix QDL did not write the expected VRSQ2.qdl"

status=""
for _ in 1 2 3; do
  send alt+f x
  for _ in $(seq 20); do
    if ! kill -0 "$morlan_pid" 2>/dev/null; then
      status=0
      wait "$morlan_pid" || status=$?
      break 2
    fi
    sleep 0.5
  done
done
morlan_pid_done="$morlan_pid"
morlan_pid=""
[ -n "$status" ] || { kill "$morlan_pid_done"; fail "File > Exit did not end the program"; }
cat "$scratch/morlan.log"
[ "$status" -eq 0 ] || fail "the program exited with $status"
cmp "$scratch/work/VRSQ2.qdl" "$expected" || fail "VRSQ2.qdl differs after the program ended"
grep -qxF '[__Dont_Touch_Me__]' "$scratch/work/morlan.INI" ||
  fail "morlan.INI lacks its reserved section"

echo "package.sh: $deb built and checked: lintian without errors, the installed program wrote" \
  "the expected VRSQ2.qdl and exited with 0"

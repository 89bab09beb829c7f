#!/usr/bin/env bash
# scripts/start says that a display is missing, or does not answer, before anything is built, and builds only
# the program; scripts/build hands the names after --target to the build and the rest to the configuration; the
# program's own build makes the sample scenes and the pictures and compiles no test or benchmark.
#   start_script_test.sh <source folder> <build folder>
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# A copy of the scripts, with stand-ins for the installer, cmake and the program that write down each call.
make_root() {
  local root=$work/$1
  mkdir -p "$root/scripts" "$root/bin" "$root/build/Tarnwick"
  cp "$source_dir/scripts/start" "$source_dir/scripts/build" "$root/scripts/"
  printf '#!/bin/sh\necho "setup" >>"%s/calls"\n' "$root" >"$root/scripts/setup"
  printf '#!/bin/sh\necho "cmake $*" >>"%s/calls"\n' "$root" >"$root/bin/cmake"
  printf '#!/bin/sh\necho "Plyform $*" >>"%s/calls"\n' "$root" >"$root/build/Tarnwick/Plyform"
  chmod +x "$root/scripts/setup" "$root/bin/cmake" "$root/build/Tarnwick/Plyform"
  : >"$root/calls"
  echo "$root"
}

# Runs scripts/start of a fresh copy with the given environment; sets root, status and said (its error output).
start_with() {
  runs=$((runs + 1))
  root=$(make_root "start$runs")
  status=0
  said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM PATH="$root/bin:$PATH" "$@" \
    "$root/scripts/start" --an-argument 2>&1 >/dev/null) || status=$?
}
runs=0
jobs=$(nproc)

# No display at all, and a display that nobody serves: told at once, nothing configured or built.
free_display=4999
while [ -e "/tmp/.X11-unix/X$free_display" ]; do free_display=$((free_display + 1)); done
for display in "" ":$free_display" "localhost:$free_display.0"; do
  if [ -z "$display" ]; then start_with; else start_with DISPLAY="$display"; fi
  [ "$status" -eq 1 ] || fail "DISPLAY='$display': exit status $status, not 1"
  [[ $said == "Plyform needs a display"*"xvfb-run"* ]] || fail "DISPLAY='$display': said '$said'"
  [ "$(cat "$root/calls")" = "setup" ] || fail "DISPLAY='$display': called $(tr '\n' ';' <"$root/calls")"
done

# With a display (the test's own X server when there is one, else Qt's offscreen platform): the program
# alone is built, then started with the arguments given.
expected="setup
cmake -S $work/startN -B $work/startN/build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLYFORM_WERROR=ON
cmake --build $work/startN/build -j$jobs --target Plyform
Plyform --an-argument"
environments=("QT_QPA_PLATFORM=offscreen")
if [ -n "${DISPLAY:-}" ]; then
  environments+=("DISPLAY=$DISPLAY")
  # The same local server by the other names a display goes by.
  if [[ $DISPLAY =~ ^:([0-9]+)$ ]]; then
    environments+=("DISPLAY=$DISPLAY.0" "DISPLAY=unix$DISPLAY")
  fi
fi
for environment in "${environments[@]}"; do
  start_with "$environment"
  [ "$status" -eq 0 ] || fail "$environment: exit status $status ($said)"
  [ "$(cat "$root/calls")" = "${expected//startN/start$runs}" ] ||
    fail "$environment: called:
$(cat "$root/calls")"
done

# scripts/build on its own: configuration arguments go to the configuration, names after --target to the
# build (everything without them), and the folder and type may be left out before either.
check_build() {
  local expected=$1
  shift
  local root
  builds=$((builds + 1))
  root=$(make_root "build$builds")
  PATH="$root/bin:$PATH" "$root/scripts/build" "$@" >/dev/null
  [ "$(cat "$root/calls")" = "${expected//ROOT/$root}" ] || fail "scripts/build $*: called:
$(cat "$root/calls")"
}
builds=0
check_build "cmake -S ROOT -B ROOT/build-x -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLYFORM_WERROR=ON -DPLYFORM_SANITIZE=ON -DX=1
cmake --build ROOT/build-x -j$jobs" build-x Release -DPLYFORM_SANITIZE=ON -DX=1
check_build "cmake -S ROOT -B ROOT/build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLYFORM_WERROR=ON
cmake --build ROOT/build -j$jobs --target Plyform plyform_samples" --target Plyform plyform_samples
check_build "cmake -S ROOT -B ROOT/build-y -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLYFORM_WERROR=ON -DX=1
cmake --build ROOT/build-y -j$jobs --target Plyform" build-y -DX=1 --target Plyform

# The real build graph: what building the program runs, from nothing.
if [ -f "$build_dir/build.ninja" ]; then
  commands=$(ninja -C "$build_dir" -t commands Tarnwick/Plyform)
  grep -q "plyform_make_samples $build_dir/Tarnwick/DemoModels" <<<"$commands" ||
    fail "building the program does not make the sample scenes"
  grep -q "plyform_artwork $build_dir/Tarnwick/artwork/Images" <<<"$commands" ||
    fail "building the program does not paint its pictures"
  if grep -E -- "-o (tests|bench)/" <<<"$commands" >/dev/null; then
    fail "building the program compiles tests or benchmarks"
  fi
fi

[ "$failures" -eq 0 ] && echo "scripts/start and scripts/build: all checks passed"
exit $((failures > 0))

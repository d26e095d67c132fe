#!/bin/bash
# The Debian package, built and unpacked as a family's machine would install it:
#   package_test.sh <build folder>
# Builds the package with CPack into a temporary folder, checks its fields and the
# places of its files, runs lintian, unpacks it with dpkg-deb -x into a temporary root
# and starts the unpacked program under xvfb-run as a normal user (with the web
# engine's sandbox on where the system allows it), then checks that its window shows, that it reads Ruffle from
# the unpacked tree and that it keeps its data in $HOME/.local/share/pebblewick: the idle
# movie, and a lesson chosen in the menu, downloaded from the build's demo site and played.
set -u

build=$(cd "${1:?usage: package_test.sh <build folder>}" && pwd)
test_user=pebblewick-test
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

work=$(mktemp -d /tmp/pebblewick-package-XXXXXX)
site=""
made_user=""
cleanup() {
  [ -n "$site" ] && kill "$site" 2>/dev/null
  # The user this test made goes with it; one that was there before stays.
  [ -n "$made_user" ] && userdel "$test_user" 2>/dev/null
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

# --- Build the package -------------------------------------------------------------
if ! cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
fi
debs=("$work"/out/pebblewick_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "FAIL: expected one pebblewick_*.deb, found: ${debs[*]}"
  exit 1
fi
deb=${debs[0]}
echo "package: $(basename "$deb")"

# --- Control fields ----------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = pebblewick ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = 2.0.0 ] || fail "Version is '$(field Version)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = education ] || fail "Section is '$(field Section)'"
[ "$(basename "$deb")" = "pebblewick_2.0.0_$(dpkg --print-architecture).deb" ] || fail "file name $(basename "$deb")"
depends=$(field Depends)
echo "Depends: $depends"
depend_names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/[[:space:]]//g')
for needed in libqt6webenginewidgets6 libqt6webenginecore6 libqt6webenginecore6-bin libqt6widgets6 \
  libqt6gui6 libqt6core6 libcurl4 libc6 fonts-wqy-zenhei qt6-translations-l10n; do
  grep -qx "$needed" <<<"$depend_names" || fail "Depends lacks $needed"
done

# --- Lintian: no error and no warning ------------------------------------------------
lintian_options=(--fail-on error,warning)
[ "$(id -u)" -eq 0 ] && lintian_options+=(--allow-root)
# Its temporary files (/tmp/mldbm-elf-*) go into the test's folder, removed at the end.
mkdir -p "$work/lintian-tmp"
if ! TMPDIR="$work/lintian-tmp" lintian "${lintian_options[@]}" "$deb" >"$work/lintian.log" 2>&1; then
  cat "$work/lintian.log"
  fail "lintian reports errors or warnings"
fi

# --- Files and their places ----------------------------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
[ "$(ls -A "$root")" = usr ] || fail "files outside /usr: $(ls -A "$root" | tr '\n' ' ')"
program=$root/usr/bin/pebblewick
[ -f "$program" ] && [ -x "$program" ] || fail "usr/bin/pebblewick is missing or not executable"
if readelf -d "$program" 2>/dev/null | grep -Eq 'RPATH|RUNPATH'; then fail "the program carries an RPATH"; fi
if readelf -S "$program" 2>/dev/null | grep -q '\.debug_info'; then fail "the program is not stripped"; fi

ruffle=$root/usr/share/pebblewick/ruffle
[ -f "$ruffle/ruffle.js" ] || fail "usr/share/pebblewick/ruffle/ruffle.js is missing"
ls "$ruffle"/*.wasm >/dev/null 2>&1 || fail "no Ruffle .wasm in usr/share/pebblewick/ruffle"
[ "$(ls "$ruffle")" = "$(ls "$build/ruffle")" ] ||
  fail "Ruffle files differ from the build's: $(ls "$ruffle" | tr '\n' ' ')"

# The player's device font is the build's, not the system's collection.
font=usr/share/pebblewick/fonts/NotoSansCJK-SC-Subset.ttc
cmp -s "$root/$font" "$build/fonts/NotoSansCJK-SC-Subset.ttc" || fail "$font is missing or not the build's"

desktop=$root/usr/share/applications/pebblewick.desktop
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
  for line in 'Name=Pebblewick' 'Exec=pebblewick' 'Icon=pebblewick' 'Type=Application'; do
    grep -qx "$line" "$desktop" || fail "the desktop entry lacks '$line'"
  done
  grep -q '^Name\[zh_CN\]=..*' "$desktop" || fail "the desktop entry has no Chinese name"
  grep -q '^Categories=Education;' "$desktop" || fail "the desktop entry is not in Education"
else
  fail "usr/share/applications/pebblewick.desktop is missing"
fi

for size in 16 24 32 48 64 128 256; do
  icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/pebblewick.png
  if [ ! -f "$icon" ]; then
    fail "icon ${size}x${size} is missing"
    continue
  fi
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  read -r width height < <(od -An -j16 -N8 --endian=big -tu4 "$icon")
  [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "icon ${size}x${size} is ${width}x${height}"
done

metainfo=$(ls "$root"/usr/share/metainfo/*.metainfo.xml 2>/dev/null)
if [ -n "$metainfo" ]; then
  appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log"; fail "appstreamcli validate"; }
  grep -q '<launchable type="desktop-id">pebblewick.desktop</launchable>' "$metainfo" ||
    fail "the metainfo does not launch pebblewick.desktop"
else
  fail "no metainfo file in usr/share/metainfo"
fi

doc=$root/usr/share/doc/pebblewick
head -1 "$doc/copyright" 2>/dev/null |
  grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "usr/share/doc/pebblewick/copyright is missing or not machine-readable"
for licence in 'License: Apache-2.0' 'License: MIT or Apache-2.0' 'License: OFL-1.1'; do
  grep -qx "$licence" "$doc/copyright" 2>/dev/null || fail "the copyright file lacks '$licence'"
done
gzip -t "$doc/changelog.gz" 2>/dev/null || fail "usr/share/doc/pebblewick/changelog.gz is missing"
gzip -t "$root/usr/share/man/man1/pebblewick.1.gz" 2>/dev/null || fail "the manual page is missing"

# --- The unpacked program, started as a normal user -----------------------------------
home=$work/home
mkdir -p "$home" "$work/run/tmp" "$work/run/runtime"
if [ "$(id -u)" -eq 0 ]; then
  if ! id "$test_user" >/dev/null 2>&1; then
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$test_user" ||
      { echo "FAIL: useradd $test_user"; exit 1; }
    made_user=1
  fi
  chown -R "$test_user": "$home" "$work/run"
  as_user=(runuser -u "$test_user" --)
else
  # The unpacked tree is ours: take away the write permission a package in /usr lacks.
  chmod a-w "$root/usr/bin"
  as_user=()
fi
chmod 700 "$home" "$work/run/runtime"

# The demo site of the build serves the site, the update page and the lessons.
port=39871
while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
"$build/tools/demo_site/pebblewick_demo_site" --port "$port" --rate 0 >"$work/demo_site.log" 2>&1 &
site=$!
site_answers() { kill -0 "$site" 2>/dev/null && (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }
deadline=$((SECONDS + 60))
until site_answers || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
site_answers || { cat "$work/demo_site.log"; echo "FAIL: the demo site did not start"; exit 1; }

# The web engine's sandbox needs unprivileged user and PID namespaces, which a chroot
# or a kernel set so (kernel.unprivileged_userns_clone=0) does not give: then the
# program runs without its sandbox and only the sandbox check is skipped.
sandbox_check=1
sandbox_env=()
if ! "${as_user[@]}" unshare --user --pid --net --fork true 2>/dev/null; then
  echo "NOTE: no unprivileged user namespaces here (a chroot, or kernel.unprivileged_userns_clone=0):"
  echo "      the program runs without the web engine's sandbox; the sandbox check is skipped"
  sandbox_check=0
  sandbox_env=(QTWEBENGINE_DISABLE_SANDBOX=1)
fi

cp "$(dirname "$0")/run_unpacked_program.sh" "$work/run/"
chmod 755 "$work/run/run_unpacked_program.sh"
# A clean environment: no QTWEBENGINE_DISABLE_SANDBOX, no XDG_DATA_HOME, as after a login;
# temporary files (xvfb-run's too) inside the test's folder.
"${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 \
  TMPDIR="$work/run/tmp" XDG_RUNTIME_DIR="$work/run/runtime" \
  PEBBLEWICK_SITE_HOST="127.0.0.1:$port" PEBBLEWICK_LESSON_HOST1="127.0.0.1:$port" \
  PEBBLEWICK_LESSON_HOST2="127.0.0.1:$port" "${sandbox_env[@]}" \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$work/run/run_unpacked_program.sh" "$program" "$ruffle" "$home/.local/share/pebblewick" "$sandbox_check"
status=$?
kill "$site" 2>/dev/null
wait "$site" 2>/dev/null
site=""
[ $status -eq 0 ] || fail "the unpacked program (status $status)"
# xvfb-run leaves its X server running when it cannot clean up after itself: end
# whatever this test started that still runs (its command line names the test's folder).
for proc in /proc/[0-9]*; do
  # The error redirect first: a process gone meanwhile must not print its failed open.
  case $(tr '\0' ' ' 2>/dev/null <"$proc/cmdline") in
    *"$work/"*) [ "${proc#/proc/}" != $$ ] && kill "${proc#/proc/}" 2>/dev/null ;;
  esac
done
[ "$(ls -A "$root/usr/bin")" = pebblewick ] || fail "the program wrote into usr/bin: $(ls -A "$root/usr/bin")"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all package checks passed"

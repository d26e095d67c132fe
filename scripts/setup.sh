# Shared set-up of ./run and ./test: installs what is missing, then configures and builds.
# Sourced, not run. Quick when everything is already there.

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools qt6-declarative-dev qt6-webchannel-dev libqt6opengl6-dev
  libqt6webenginecore6-bin libgl1-mesa-dri
  libgl1-mesa-dev libcurl4-openssl-dev libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev liblzma-dev libsodium-dev libssl-dev nlohmann-json3-dev minisign libsqlite3-dev sqlite3
  libx11-dev libxcb1-dev libxcb-damage0-dev xvfb xauth fonts-wqy-zenhei fonts-noto-cjk fonttools qt6-translations-l10n python3
  lintian desktop-file-utils appstream x11-utils xdotool inotify-tools nginx-light openssl ca-certificates curl
  dbus at-spi2-core python3-pyatspi
)

pw_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

pw_install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  # Node.js may come from elsewhere with its own npm; Debian's is only a fallback.
  command -v npm >/dev/null 2>&1 || missing+=(nodejs npm)
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    # apt's own progress lines (no fancy status bar, which a log cannot show): the
    # first install takes minutes.
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -o Dpkg::Progress-Fancy=0 "${missing[@]}"
  fi
}

pw_install_node_modules() {
  cd "$pw_root"
  # npm ci only when the lock file changed since the last install.
  if [ ! -f node_modules/.package-lock.json ] || ! cmp -s package-lock.json node_modules/.pw-installed-lock; then
    npm ci --no-audit --no-fund --loglevel=error
    cp package-lock.json node_modules/.pw-installed-lock
  fi
}

# pw_build DIR [-DNAME=VALUE...]
pw_build() {
  local dir=$1; shift
  cd "$pw_root"
  # Configured once; again only when an option differs from the build's cache (CI=true
  # ./test on a build folder made without -Werror).
  local configure=0 option
  [ -f "$dir/build.ninja" ] || configure=1
  for option in "$@"; do
    option=${option#-D}
    grep -qx "${option%%=*}:[A-Z]*=${option#*=}" "$dir/CMakeCache.txt" 2>/dev/null || configure=1
  done
  if [ $configure = 1 ]; then
    cmake -S . -B "$dir" -G Ninja "$@"
  fi
  cmake --build "$dir"
}

# Qt WebEngine's sandbox cannot run as root; only then is it switched off.
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi

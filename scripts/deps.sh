# Sourced by scripts/run and scripts/test: installs the Debian 12 packages the build needs.
KORVEL_PACKAGES="build-essential cmake ninja-build pkg-config zlib1g-dev libdeflate-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libsqlite3-dev libsodium-dev libcurl4-openssl-dev libzip-dev nlohmann-json3-dev minisign clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-webengine-dev
  libgl-dev xvfb xauth x11-utils openbox xdotool imagemagick fonts-noto-cjk fonts-wqy-microhei poppler-utils unicode-data
  qt6-translations-l10n desktop-file-utils appstream lintian universal-ctags python3"

korvel_install_deps() {
    local missing=""
    for p in $KORVEL_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}

# Configures the build folder DIR. scripts/run and scripts/test pass the same options, so
# that whatever one of them built the other finds up to date.
KORVEL_BUILD_OPTIONS=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
korvel_configure() {
    local dir="$1"; shift
    cmake -S "$KORVEL_ROOT" -B "$KORVEL_ROOT/$dir" "${KORVEL_BUILD_OPTIONS[@]}" "$@"
}

# Builds TARGETS in DIR, or everything (tests, benchmarks, the package's files) without any.
korvel_build() {
    local dir="$1"; shift
    local targets=()
    for t in "$@"; do targets+=(--target "$t"); done
    cmake --build "$KORVEL_ROOT/$dir" -j "$(nproc)" "${targets[@]}"
}

korvel_headless_env() {
    export QT_QPA_PLATFORM=offscreen
    export QTWEBENGINE_DISABLE_SANDBOX=1
    export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
    export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/korvel-xdg.XXXXXX)}"
    chmod 700 "$XDG_RUNTIME_DIR"
}

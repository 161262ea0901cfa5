# Shared helpers for the scripts in this folder. Sourced, not run.

TAVRUNE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What building, running and testing need; each machine installs only what it lacks.
TAVRUNE_BUILD_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libqt6opengl6-dev qt6-3d-dev qt6-svg-dev qt6-image-formats-plugins
    qt6-tools-dev qt6-l10n-tools
    libcurl4-openssl-dev libssl-dev libglib2.0-dev libsecret-1-dev libpng-dev libdeflate-dev libspng-dev
    fonts-inter fonts-jetbrains-mono fonts-material-design-icons-iconfont
    gvfs gvfs-daemons dbus
)
TAVRUNE_TEST_PACKAGES=(
    libcpp-httplib-dev dbus-daemon nghttp2-proxy openssl
    desktop-file-utils appstream lintian dpkg-dev
    xvfb xauth libgl1-mesa-dri
    gnome-keyring
    at-spi2-core python3-pyatspi
    qt6-translations-l10n
)
# What building the Debian package needs beyond the build (dpkg-shlibdeps computes its dependencies).
TAVRUNE_PACKAGE_PACKAGES=(
    dpkg-dev
)

# ensure_packages PKG...: apt-get installs the packages dpkg does not report as installed.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Missing packages: ${missing[*]} (and no sudo to install them)" >&2; return 1; }
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q || return 1
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# build_tree DIR [CMAKE ARGS...]: configures once, then builds incrementally.
build_tree() {
    local dir=$1; shift
    local generator=()
    command -v ninja >/dev/null && generator=(-G Ninja)
    # A compiler cache, where the machine has one, makes rebuilds of a fresh clone quick.
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$TAVRUNE_ROOT" -B "$dir" "${generator[@]}" "${launcher[@]}" "$@" || return 1
    fi
    cmake --build "$dir" --parallel "$(nproc)"
}

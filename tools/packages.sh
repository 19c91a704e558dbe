# Debian packages, sourced by run.sh and test.sh. KW_PACKAGES is what building and running
# the program and its demos needs (run.sh installs only these); KW_TEST_PACKAGES adds the
# test tools: test frameworks, compilers for the fuzzers, tray and notification hosts,
# Wayland compositor, packaging checks (test.sh installs both lists).
KW_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev qt6-wayland libsecret-1-dev
    libcapi20-dev libcapi20-3
    libx11-dev libxtst-dev libevdev-dev
    libphonenumber-dev libicu-dev
    xvfb xauth
    locales fonts-dejavu-core
)
KW_TEST_PACKAGES=(
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-14 clang-format-14 libclang-rt-14-dev
    trayer xdotool x11-xserver-utils x11-utils imagemagick
    libsecret-tools gnome-keyring
    dbus-daemon systemd dunst haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils
    sway grim xwayland dbus
    debhelper dpkg-dev fakeroot lintian desktop-file-utils appstream
)

# Installs whatever of the given packages (KW_PACKAGES when none are given) is missing,
# through sudo when not root.
kw_install_packages() {
    local wanted=("$@")
    [ "${#wanted[@]}" -gt 0 ] || wanted=("${KW_PACKAGES[@]}")
    local missing=()
    local p
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        local sudo=()
        [ "$(id -u)" -eq 0 ] || sudo=(sudo)
        echo "Installing: ${missing[*]}"
        "${sudo[@]}" apt-get update -qq
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
    # German short date and time forms for the tests and the demo.
    if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
        local sudo=()
        [ "$(id -u)" -eq 0 ] || sudo=(sudo)
        "${sudo[@]}" sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
        "${sudo[@]}" locale-gen >/dev/null
    fi
}

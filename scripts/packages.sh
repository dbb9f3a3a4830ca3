# Installs the Debian packages the build needs, when any is missing. Sourced by the other
# scripts; needs root (or sudo) only when something has to be installed.
qfs_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev libgtest-dev libssl-dev libcli11-dev
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
    libisal-dev libgf-complete-dev par2
    xvfb xauth imagemagick
    desktop-file-utils appstream dpkg-dev file
    lintian man-db bash-completion xdg-utils libfile-mimeinfo-perl
    locales
)

qfs_install_missing() {
    local missing=()
    local package
    for package in "${qfs_packages[@]}"; do
        if ! dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

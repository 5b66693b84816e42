#!/usr/bin/env bash
# Installs the Debian packages the system needs to build, run and test, when any is missing.
# Uses sudo when not run as root.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config
          qt6-base-dev libqt6opengl6-dev qt6-charts-dev
          mariadb-server mariadb-client odbc-mariadb unixodbc unixodbc-dev
          fonts-noto-cjk fonts-wqy-microhei xvfb xauth clang libclang-rt-14-dev poppler-utils
          qt6-translations-l10n
          libpcap-dev zlib1g-dev tcpdump tshark tcpreplay socat openssl curl wget iproute2 python3
          nftables libnftables-dev iperf3
          galera-4 mariadb-backup
          debhelper po-debconf lintian fakeroot desktop-file-utils systemd)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" != 0 ]; then
    # Without sudo, or where sudo would ask for a password nobody can type, say what to do.
    if ! command -v sudo >/dev/null || { ! sudo -n true 2>/dev/null && ! [ -t 0 ]; }; then
        echo "these Debian packages are missing and only root can install them:" >&2
        echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
        echo "run that as root (or give this user sudo), then run this command again" >&2
        exit 1
    fi
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
# tshark asks whether ordinary users may capture; the answer is no, and nobody is asked.
echo "wireshark-common wireshark-common/install-setuid boolean false" |
    "${sudo[@]}" debconf-set-selections
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

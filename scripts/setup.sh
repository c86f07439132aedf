#!/usr/bin/env bash
# Installs what the build needs (Debian), then configures and builds into build/.
# Usage: scripts/setup.sh [extra packages...]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh

packages=(cmake g++ ninja-build qt6-base-dev libqt6sql6-sqlite libsqlite3-dev libicu-dev libgtest-dev
  postgresql-15 libqt6sql6-psql libpq-dev libxlsxwriter-dev python3-openpyxl
  at-spi2-core python3-pyatspi dbus xauth xvfb openbox x11-utils imagemagick
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  fiu-utils libfiu-dev libreoffice-calc-nogui lintian desktop-file-utils appstream dpkg-dev fakeroot man-db
  bash-completion clang-format clang-tidy locales zlib1g-dev "$@")
install_missing_packages "${packages[@]}"

# Exports are tested under a Turkish session: the tr_TR.UTF-8 locale must exist.
if ! locale -a 2>/dev/null | grep -qix 'tr_TR.utf8'; then
  if [ "$(id -u)" -eq 0 ]; then
    sed -i 's/^# *\(tr_TR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    locale-gen >&2
  else
    echo "The tr_TR.UTF-8 locale is missing: sudo sed -i 's/^# *tr_TR.UTF-8/tr_TR.UTF-8/' /etc/locale.gen && sudo locale-gen" >&2
    exit 1
  fi
fi

build_dir=${ZEFTO_BUILD_DIR:-build}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  launcher=()
  # Where ccache is installed it serves a rebuild, also in another clone: the paths it hashes are the clone's own.
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S . -B "$build_dir" -G Ninja "${launcher[@]}" ${ZEFTO_CMAKE_ARGS:-} >&2
fi
CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 cmake --build "$build_dir" -j"$(nproc)" >&2

#!/usr/bin/env bash
# Builds the Debian package from the build folder's programs, installs it on this machine, uses
# what it installed as a clerk's desktop would, removes it and checks nothing of it is left.
# Usage: package_test.sh SOURCE-DIR BUILD-DIR VERSION. Exit 77: skipped.
set -euo pipefail
source_dir=$1 build_dir=$2 version=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || { echo "skipped: installing a package with dpkg needs root" >&2; exit 77; }
status() { dpkg-query -W -f='${db:Status-Status}' zefto 2>/dev/null || echo not-installed; }
# One package test per machine at a time: other checkouts may run theirs.
exec 9>/tmp/zefto-package-test.lock
flock 9
[ "$(status)" = not-installed ] || { echo "skipped: dpkg already knows a zefto package on this machine (status $(status)); this test would remove it" >&2; exit 77; }

work=$(mktemp -d)
# dpkg as usual, but without man-db's trigger rebuilding the whole manual index (two seconds of each
# install and removal): in a mount namespace of this command alone, an empty folder hides man-db's
# auto-update flag. The machine's setting never changes, and `man` finds the pages without the index.
# Where no namespace or mount is allowed, dpkg runs with the trigger as usual.
mkdir "$work/no-man-db"
dpkg_() {
  if [ -d /var/lib/man-db ] && unshare --mount true 2>/dev/null; then
    flock /tmp/apt.lock unshare --mount --propagation private -- \
      sh -c 'mount --bind "$0" /var/lib/man-db 2>/dev/null; exec dpkg "$@"' "$work/no-man-db" "$@"
  else
    flock /tmp/apt.lock dpkg "$@"
  fi
}
cleanup() {
  [ "$(status)" = not-installed ] || dpkg_ --purge zefto >/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

deb=$(ZEFTO_BUILD_DIR="$build_dir" "$source_dir/scripts/package" --no-build "$work/out" 2>"$work/package.log") \
  || { cat "$work/package.log" >&2; fail "scripts/package failed"; }
[ "$(basename "$deb")" = "zefto_${version}_amd64.deb" ] || fail "package named $(basename "$deb")"
case $(dpkg-deb -f "$deb" Depends Recommends) in *postgresql-[0-9]*) fail "the package brings a PostgreSQL server" ;; esac

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|; s|/$||' | grep -v '^/$' >"$work/files"
absent=()
while read -r f; do [ -e "$f" ] || absent+=("$f"); done <"$work/files"
dpkg_ -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i"; }

mkdir "$work/empty" && cd "$work/empty"
env -u ZEFTO_DATABASE -u ZEFTO_MAHALLE /usr/bin/zefto-convert "$source_dir/examples/sample-report.txt" \
  || fail "zefto-convert on the sample"
[ -s ovrek1.mdb ] || fail "no ovrek1.mdb in the empty folder"
[ "$(env -u ZEFTO_DATABASE /usr/bin/zefto-records show --format csv | wc -l)" -gt 1 ] || fail "no records shown"
for p in zefto zefto-convert zefto-records; do
  [ "$(QT_QPA_PLATFORM=offscreen "/usr/bin/$p" --version)" = "$([ $p = zefto ] && echo Zefto || echo $p) $version" ] \
    || fail "$p --version"
  man -w "$p" | grep -qx "/usr/share/man/man1/$p.1.gz" || fail "man -w $p"
done
# Where a desktop looks: the entry in applications/, its Exec on the PATH, its Icon in hicolor.
desktop=/usr/share/applications/zefto.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "icon $icon not in hicolor"
for exec in $(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop"); do
  [ "$(command -v "$exec")" = "/usr/bin/$exec" ] || fail "Exec=$exec is not on the PATH"
done
grep -qx 'Name=Zefto Records' "$desktop" || fail "no Zefto Records action"

dpkg_ -r zefto >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -r"; }
[ "$(status)" = not-installed ] || fail "zefto is still known to dpkg after dpkg -r"
for f in "${absent[@]}"; do [ ! -e "$f" ] || fail "$f is left after dpkg -r"; done
echo "package installed, used and removed: $(basename "$deb")"

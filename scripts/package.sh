#!/usr/bin/env bash
# Builds the Debian package lantrove_VERSION_amd64.deb with Debian's own tools (debian/,
# debhelper, dpkg-buildpackage -b) from the install rules of the CMake build, then runs lintian
# on it, which must report neither an error nor a warning.
#   scripts/package.sh [OUT_DIR]      (default: dist/; prints the package's path last)
# VERSION is the project's version and the number of commits (1.0.N), so every later commit
# makes a newer package. The sources are copied (tracked files, as they are in the worktree) to
# a temporary directory and built there: dpkg-buildpackage writes beside its source tree, and
# the checkout stays as it was. LANTROVE_PACKAGE_NO_LINTIAN=1 skips lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
out=${1:-$top/dist}
mkdir -p "$out"
out=$(cd "$out" && pwd)

base=$(sed -n 's/^project(Lantrove VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
version="$base.$(git rev-list --count HEAD)"
work=$(mktemp -d /tmp/lantrove-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
src="$work/lantrove-$version"
mkdir -p "$src"
git ls-files -z --cached --others --exclude-standard | grep -zv '^debian/changelog$' |
    (cd "$top" && xargs -0 tar -cf - --no-recursion) | tar -xf - -C "$src"

# The changelog says which commit the package was built from.
{
    echo "lantrove ($version) unstable; urgency=medium"
    echo
    echo "  * Built from commit $(git rev-parse --short HEAD)."
    echo
    echo " -- Lantrove developers <lantrove@example.org>  $(git log -1 --format=%aD)"
} >"$src/debian/changelog"

ccache=()
if command -v ccache >/dev/null; then
    ccache=(CCACHE=1)
    export CCACHE_BASEDIR=$work CCACHE_NOHASHDIR=true
fi
(cd "$src" && env "${ccache[@]}" DEB_BUILD_OPTIONS="parallel=$(nproc) nocheck" \
    dpkg-buildpackage -b -us -uc --no-sign >"$work/build.log" 2>&1) || {
    tail -n 60 "$work/build.log" >&2
    echo "dpkg-buildpackage failed" >&2
    exit 1
}
deb="lantrove_${version}_amd64.deb"
mv "$work/$deb" "$out/$deb"

if [ "${LANTROVE_PACKAGE_NO_LINTIAN:-}" != 1 ]; then
    echo "== lintian $deb"
    lintian --fail-on error,warning --display-info "$out/$deb"
    echo "== lintian: no error, no warning"
fi
echo "$out/$deb"

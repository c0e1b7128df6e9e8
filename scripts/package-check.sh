#!/usr/bin/env bash
# Checks what a user of the library gets:
#  - `cmake --install` into a scratch prefix, and examples/ built against it from outside the
#    source tree (CMake package and pkg-config);
#  - the Debian packages (dpkg-buildpackage, lintian with no error or warning), installed with
#    apt-get, examples/ built against the installed -dev package both ways;
#  - the installed version header against the installed library;
#  - the documentation package: the API reference (with Debian's jQuery), the guide, examples/;
#  - all four example programs (silent on standard error: the library logs nothing unless asked)
#    and the installed isilonctl run against the installed isilon-sim;
#  - the packages purged again.
# Usage: scripts/package-check.sh [build dir, default build]   (as root or with sudo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=$(mktemp -d)
# The packages are built from a copy of the tree in the build dir: dpkg-buildpackage writes its
# output next to the source tree, which for the checkout itself would be a folder shared with
# whatever else lives there. A fixed place keeps ccache's hits from one run to the next.
debs="$build/deb-packages"
packages=(libisilonclient1 libisilonclient-dev libisilonclient-doc isilonctl isilon-sim)
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
sim_pid=
installed=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  [ -n "$installed" ] && "${sudo_cmd[@]}" apt-get purge -y -q "${packages[@]}" >/dev/null
  rm -rf "$work" "$debs"
}
trap cleanup EXIT

echo "-- install into a scratch prefix"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix_libdir=$(dirname "$(find "$work/prefix" -name 'libisilonclient.so' | head -1)")
# Whole outputs are read before matching: under pipefail, grep -q leaving early would
# fail the writer with SIGPIPE, and the step with it, depending on timing.
dynamic=$(readelf -d "$prefix_libdir/libisilonclient.so")
grep -q 'SONAME.*libisilonclient.so.1' <<<"$dynamic"

# build_examples NAME [PKG_CONFIG_PATH [CMAKE_PREFIX_PATH]]: examples/ built through the CMake
# package into $work/NAME-cmake/isilon_example and through pkg-config into $work/NAME-pc.
build_examples() {
  local name=$1 pc_path=${2:-} prefix_path=${3:-}
  cmake -S "$root/examples" -B "$work/$name-cmake" ${prefix_path:+-DCMAKE_PREFIX_PATH="$prefix_path"} >/dev/null
  cmake --build "$work/$name-cmake" >/dev/null
  local flags
  flags=$(PKG_CONFIG_PATH="$pc_path" pkg-config --cflags --libs isilonclient)
  # shellcheck disable=SC2086
  g++ -std=c++17 -o "$work/$name-pc" "$root/examples/main.cpp" $flags
}
echo "-- examples against the scratch prefix (CMake package, pkg-config)"
build_examples prefix "$prefix_libdir/pkgconfig" "$work/prefix"

echo "-- Debian packages"
rm -rf "$debs"
mkdir -p "$debs/src"
# The tree as it is (committed or not), without what .gitignore leaves out (build dirs).
git -C "$root" ls-files -z --cached --others --exclude-standard |
  (cd "$root" && tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -C "$debs/src" -xf -
(cd "$debs/src" && DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -us -uc -b >"$work/dpkg-buildpackage.log" 2>&1) ||
  { tail -50 "$work/dpkg-buildpackage.log"; echo "dpkg-buildpackage failed" >&2; exit 1; }
changes=$(ls "$debs"/isilonclient_*.changes)
lintian --fail-on error,warning "$changes" || { echo "lintian found errors or warnings" >&2; exit 1; }
debfiles=()
for p in "${packages[@]}"; do debfiles+=("$(ls "$debs/${p}"_*.deb)"); done
docdeb=$(ls "$debs"/libisilonclient-doc_*_all.deb)
[ "$(dpkg-deb --field "$docdeb" Section)" = doc ] || { echo "libisilonclient-doc is not in Section: doc" >&2; exit 1; }
depends=$(dpkg-deb --field "$(ls "$debs"/isilonctl_*.deb)" Depends)
grep -q libisilonclient1 <<<"$depends"

echo "-- install the packages"
installed=1
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${debfiles[@]}" >/dev/null
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for wanted in "/usr/lib/$multiarch/libisilonclient.so.1" /usr/include/isilonclient/isilon/ManageIsilon.h \
  "/usr/lib/$multiarch/pkgconfig/isilonclient.pc" "/usr/lib/$multiarch/cmake/isilonclient/isilonclientConfig.cmake" \
  /usr/share/man/man1/isilonctl.1.gz /usr/share/man/man1/isilon-sim.1.gz \
  /usr/share/bash-completion/completions/isilonctl /usr/include/isilonclient/isilon/Version.h \
  /usr/share/doc/libisilonclient-doc/html/index.html /usr/share/doc/libisilonclient-doc/html/jquery.js \
  /usr/share/doc/libisilonclient-doc/user-guide.md.gz /usr/share/doc/libisilonclient-doc/examples/main.cpp \
  /usr/share/doc/libisilonclient-doc/examples/CMakeLists.txt /usr/share/zsh/vendor-completions/_isilonctl \
  /usr/share/fish/vendor_completions.d/isilonctl.fish; do
  [ -e "$wanted" ] || { echo "not installed: $wanted" >&2; exit 1; }
done
html=/usr/share/doc/libisilonclient-doc/html
# Debian's jQuery, not a copy; and the reference has the session class's page.
[ -L "$html/jquery.js" ] || { echo "$html/jquery.js is a copy, not Debian's libjs-jquery" >&2; exit 1; }
[ -e "$html/classManageIsilon.html" ] || { echo "no page for ManageIsilon in $html" >&2; exit 1; }

echo "-- the installed version header names the installed library"
cat >"$work/version.cpp" <<'EOF'
#include <cstdio>
#include <cstring>

#include "isilon/Version.h"

int main() {
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d", ISILONCLIENT_VERSION_MAJOR, ISILONCLIENT_VERSION_MINOR,
                ISILONCLIENT_VERSION_PATCH);
  std::printf("%s %s\n", text, IsilonClientVersion());
  return std::strcmp(text, IsilonClientVersion()) == 0 && std::strcmp(ISILONCLIENT_VERSION, text) == 0 ? 0 : 1;
}
EOF
version_flags=$(pkg-config --cflags --libs isilonclient)
# shellcheck disable=SC2086
g++ -std=c++17 -o "$work/version" "$work/version.cpp" $version_flags
"$work/version" || { echo "the version macros differ from IsilonClientVersion()" >&2; exit 1; }

echo "-- examples against the installed -dev package (CMake package, pkg-config)"
build_examples deb

echo "-- everything against the installed isilon-sim"
address=127.0.0.9
/usr/bin/isilon-sim --address "$address" --port 8080 --user admin:example-pass \
  --write-cert "$work/cluster.pem" --ready-file "$work/ready" --demo >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -f "$work/ready" ] && break; sleep 0.1; done
[ -f "$work/ready" ] || { cat "$work/sim.log"; echo "isilon-sim did not start" >&2; exit 1; }
printf '[NAS]\nsIsilonCAFile = %s\n' "$work/cluster.pem" >"$work/registry.ini"
for example in prefix-cmake/isilon_example prefix-pc deb-cmake/isilon_example deb-pc; do
  libpath=
  [[ $example == prefix-* ]] && libpath=$prefix_libdir
  env -u ISILON_LOG_FILE -u ISILON_LOG_LEVEL ISILON_REGISTRY="$work/registry.ini" ISILON_PASSWORD=example-pass \
    LD_LIBRARY_PATH="$libpath" "$work/$example" "$address" admin /ifs >"$work/out.txt" 2>"$work/err.txt"
  grep -q '^node ' "$work/out.txt" || { cat "$work/out.txt"; echo "$example: no node listed" >&2; exit 1; }
  [ ! -s "$work/err.txt" ] || { cat "$work/err.txt"; echo "$example: the library wrote to standard error" >&2; exit 1; }
done
# /lib is /usr/lib on a merged-/usr system, and the loader may name either.
loaded=$(ldd "$work/deb-pc")
grep -q "libisilonclient.so.1 => .*lib/$multiarch/libisilonclient.so.1" <<<"$loaded" ||
  { echo "$loaded"; echo "the example does not load the installed library" >&2; exit 1; }
echo example-pass | /usr/bin/isilonctl --server "$address" --user admin --password-stdin \
  --ca-file "$work/cluster.pem" cluster version >"$work/out.txt" ||
  { cat "$work/out.txt"; echo "the installed isilonctl failed against isilon-sim" >&2; exit 1; }

echo "-- bash completion of isilonctl"
# complete WORDS...: what the installed completion offers for the last word.
complete_words() {
  bash -c 'source /usr/share/bash-completion/bash_completion
    source /usr/share/bash-completion/completions/isilonctl
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _isilonctl; printf "%s\n" "${COMPREPLY[@]}"' complete "$@"
}
expect_completion() {
  local want=$1 got
  shift
  got=$(complete_words "$@")
  [[ $got == $want ]] || { echo "completing '$*' gave '$got', not '$want'" >&2; exit 1; }
}
expect_completion shares isilonctl sha
expect_completion enable isilonctl --json changelist jobtype en
expect_completion --server isilonctl --serv
expect_completion '*--zone*' isilonctl shares create --
echo "package check passed"

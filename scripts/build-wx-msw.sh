#!/usr/bin/env bash
# Builds the libraries that the Windows program links and Debian does not ship for mingw: a
# static libpng from Debian's libpng1.6 source package, a static wxMSW from Debian's wxwidgets3.2
# source package (only the features the program uses), and GoogleTest from /usr/src/googletest.
# They go into one folder outside the repo, named after the versions and the flags, so a second
# run finds them and returns at once. Needs `bash scripts/install-deps.sh --windows` first.
#
#   bash scripts/build-wx-msw.sh      progress and step times on stderr; the folder on stdout
#
# VANNOR_CACHE overrides the cache's root (default ${XDG_CACHE_HOME:-~/.cache}/vannor).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/lib-build.sh
source "$repo/scripts/lib-build.sh"

host=i686-w64-mingw32
cc=$host-gcc-posix
cxx=$host-g++-posix
jobs=$build_jobs
opt_flags="-O2 -ffunction-sections -fdata-sections"
toolchain=$repo/cmake/toolchain-i686-w64-mingw32.cmake

# --disable-all-features, then what a dialog tool needs. Beyond the obvious controls, wxMSW 3.2.2
# needs: accessibility off (it is on even with all features off, and then wants OLE); menubar
# (msw/menu.h); regkey (datetime.cpp); intl (uilocale.h); radiobtn, treectrl and imaglist for the
# file dialog; choice and textctrl under the combo box; ole, dataobj and variant, else the link
# misses wxTextEntry::MSWUsesStandardAutoComplete and CoTaskMemFree. The history dialog adds the
# list control and the clipboard.
WX_FLAGS=(
  --with-msw --disable-shared --disable-monolithic --enable-unicode
  --disable-all-features --disable-accessibility --disable-tests --without-subdirs
  --disable-precomp-headers --disable-dependency-tracking
  --with-libpng=sys --with-zlib=sys --without-libjpeg --without-libtiff --without-expat
  --without-regex --without-liblzma --without-nanosvg
  --enable-threads --enable-intl --enable-regkey --enable-log --enable-longlong --enable-datetime
  --enable-timer --enable-stopwatch --enable-streams --enable-file --enable-ffile
  --enable-filesystem --enable-dynlib --enable-dynamicloader --enable-cmdline --enable-any
  --enable-variant --enable-ole --enable-dataobj --enable-sysoptions --enable-stdpaths
  --enable-uxtheme --enable-wxdib --enable-dccache --enable-ownerdrawn
  --enable-controls --enable-button --enable-checkbox --enable-choice --enable-combobox
  --enable-textctrl --enable-stattext --enable-statbox --enable-statbmp --enable-statline
  --enable-gauge --enable-radiobtn --enable-treectrl --enable-imaglist --enable-popupwin
  --enable-commondlg --enable-filedlg --enable-msgdlg --enable-menus --enable-menubar
  --enable-accel --enable-tooltips --enable-validators --enable-display --enable-mousewheel
  --enable-image --enable-ico_cur --enable-uiactionsim --enable-listctrl --enable-clipboard
)

log() { printf '%s\n' "$*" >&2; }

# Source versions, newest first, as the archive lists them.
source_versions() {
  apt-cache showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' |
    sort -u | sort -r -V
}
newest() { source_versions "$1" | head -n 1; }

wx_version=$(newest wxwidgets3.2)
png_version=$(newest libpng1.6)
if [ -z "$wx_version" ] || [ -z "$png_version" ]; then
  log "build-wx-msw: no source packages found; run bash scripts/install-deps.sh --windows"
  exit 1
fi
gtest_version=$(dpkg-query -W -f='${Version}' libgtest-dev)
compiler=$($cxx --version | head -n 1)

key=$(
  {
    printf '%s\n' "$wx_version" "$png_version" "$gtest_version" "$compiler" "$opt_flags" \
      "${WX_FLAGS[@]}"
    cat "$toolchain"
  } | sha256sum | cut -c 1-12
)
wx_upstream=${wx_version%%+*}
cache=${VANNOR_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vannor}
prefix=$cache/wxmsw-$wx_upstream-$key
work=$cache/build-$key

if [ -f "$prefix/.done-libpng" ] && [ -f "$prefix/.done-wx" ] && [ -f "$prefix/.done-gtest" ]; then
  printf '%s\n' "$prefix"
  exit 0
fi
mkdir -p "$prefix" "$work"
# Two builds of the same cache at once (two work trees on one machine) would unpack the sources
# under each other: the second waits for the first, then finds the libraries made.
exec 9>"$work.lock"
flock 9
if [ -f "$prefix/.done-libpng" ] && [ -f "$prefix/.done-wx" ] && [ -f "$prefix/.done-gtest" ]; then
  printf '%s\n' "$prefix"
  exit 0
fi
# Its stdout is the folder: the stages and their times go to stderr.
trap 'print_stage_times "scripts/build-wx-msw.sh" >&2' EXIT

# apt-get source of the newest version the archive can deliver: an index may list a version
# whose files the mirror does not carry.
fetch_source() {
  local package=$1 version dir
  for version in $(source_versions "$package"); do
    dir=$work/src-$package-$version
    rm -rf "$dir"
    mkdir -p "$dir"
    if (cd "$dir" && apt-get source -qq "$package=$version" >/dev/null 2>"$dir.log"); then
      find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n 1
      echo "$package $version" >>"$prefix/SOURCES"
      return 0
    fi
    log "build-wx-msw: $package $version could not be fetched, trying an older one"
  done
  log "build-wx-msw: no source of $package could be fetched"
  return 1
}

# Each step's commands are joined with && so that the first failure ends the step: a failing
# command inside "( ... ) || handler" would not end it under set -e.
libpng_source() { src=$(fetch_source libpng1.6); }
libpng_build() {
  (
    cd "$src" &&
      ./configure -q --host=$host --prefix="$prefix" --disable-shared --enable-static \
        --disable-maintainer-mode CC=$cc CFLAGS="$opt_flags" \
        CPPFLAGS="-I/usr/$host/include" LDFLAGS="-L/usr/$host/lib" &&
      make -s -j"$jobs" libpng16.la &&
      make -s install-libLTLIBRARIES install-pkgincludeHEADERS install-nodist_pkgincludeHEADERS \
        install-pkgconfigDATA install-header-links install-library-links install-libpng-pc
  ) >"$work/libpng.log" 2>&1 || {
    tail -n 30 "$work/libpng.log" >&2
    return 1
  }
  touch "$prefix/.done-libpng"
}
if [ ! -f "$prefix/.done-libpng" ]; then
  stage "libpng source" libpng_source >&2
  stage "libpng build" libpng_build >&2
fi

wx_source() { src=$(fetch_source wxwidgets3.2); }
wx_build() {
  (
    mkdir -p "$work/wx" && cd "$work/wx" &&
      PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" "$src/configure" -q --host=$host \
        --build="$(gcc -dumpmachine)" --prefix="$prefix" "${WX_FLAGS[@]}" \
        CC=$cc CXX=$cxx CFLAGS="$opt_flags" CXXFLAGS="$opt_flags" \
        CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" &&
      make -s -j"$jobs" &&
      make -s install
  ) >"$work/wx.log" 2>&1 || {
    grep -E -B2 -A8 "error|Error" "$work/wx.log" | tail -n 60 >&2
    return 1
  }
  touch "$prefix/.done-wx"
}
if [ ! -f "$prefix/.done-wx" ]; then
  stage "wxMSW source" wx_source >&2
  stage "wxMSW build" wx_build >&2
fi

gtest_build() {
  (
    cmake -S /usr/src/googletest -B "$work/gtest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DVANNOR_WIN_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON &&
      cmake --build "$work/gtest" -j"$jobs" &&
      cmake --install "$work/gtest"
  ) >"$work/gtest.log" 2>&1 || {
    tail -n 40 "$work/gtest.log" >&2
    return 1
  }
  touch "$prefix/.done-gtest"
}
if [ ! -f "$prefix/.done-gtest" ]; then
  stage "GoogleTest build" gtest_build >&2
fi

rm -rf "$work"
log "build-wx-msw: $(du -sh "$prefix" | cut -f 1) in $prefix"
printf '%s\n' "$prefix"

#!/usr/bin/env bash
# Builds the Debian packages from the default build and holds them to what Debian asks of a
# package: lintian finds no error and no warning (a tag that must stand is overridden inside
# the package, with its reason), the desktop entry passes desktop-file-validate, the AppStream
# metadata appstreamcli validate, vannor-cli's bash completion completes under bash's own
# complete and compgen, and what lintian cannot know holds too: one version everywhere, the font
# alias enabled by a link of the package.
# Called by scripts/test.sh after the default build's tests; works as root and as a user.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib-build.sh
source scripts/lib-build.sh
build=build/default

build_preset default
rm -rf "$build/packages"
if ! (cd "$build" && cpack >"packages.log" 2>&1); then
  cat "$build/packages.log" >&2
  exit 1
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $what" >&2
  fi
}

lintian_options=(--fail-on error,warning --display-info)
# lintian will not unpack as root unless told; CI runs as root.
if [ "$(id -u)" -eq 0 ]; then lintian_options+=(--allow-root); fi

for package in vannor vannor-radio-sim; do
  deb="$build/packages/${package}_${version}_${arch}.deb"
  echo "=== $(basename "$deb")"
  if [ ! -f "$deb" ]; then
    check "cpack built $deb" false
    continue
  fi
  dpkg-deb -c "$deb"
  echo "--- lintian $(lintian --version | sed 's/^Lintian v//')"
  check "lintian accepts $package" lintian "${lintian_options[@]}" "$deb"
  dpkg-deb -x "$deb" "$work/$package"
  zcat "$work/$package/usr/share/doc/$package/changelog.gz" >"$work/$package.changelog"
  check "the changelog's newest entry is $version" \
    test "$(dpkg-parsechangelog -l "$work/$package.changelog" -S Version)" = "$version"
done

root="$work/vannor"
if [ -d "$root" ]; then
  entry="$root/usr/share/applications/vannor.desktop"
  echo "--- desktop-file-validate $(basename "$entry")"
  validator_says() {
    local said
    said=$(desktop-file-validate "$entry" 2>&1) || { echo "$said"; return 1; }
    # Hints and warnings leave the status at 0; the entry must have none either.
    [ -z "$said" ] || { echo "$said"; return 1; }
  }
  check "desktop-file-validate has nothing to say" validator_says
  check "the desktop entry names version $version" grep -qx "X-Vannor-Version=$version" "$entry"
  check "the packaged program answers --version with no display" \
    test "$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/vannor" --version)" = "vannor $version"

  metainfo="$root/usr/share/metainfo/org.example.vannor.metainfo.xml"
  echo "--- appstreamcli validate $(basename "$metainfo")"
  check "appstreamcli validate passes" appstreamcli validate --no-net --pedantic "$metainfo"
  check "the metadata's release is $version" grep -q "<release version=\"$version\"" "$metainfo"
  launched=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
  check "the metadata launches the packaged desktop entry" \
    test -n "$launched" -a -f "$root/usr/share/applications/$launched"
  screenshot=$(sed -n 's|.*<image>.*/screenshots/\(.*\)</image>.*|\1|p' "$metainfo")
  check "the metadata's screenshot is one of docs/screenshots" \
    test -n "$screenshot" -a -f "docs/screenshots/$screenshot"

  completion="$root/usr/share/bash-completion/completions/vannor-cli"
  echo "--- bash completion $(basename "$completion")"
  check "vannor-cli completes in bash" bash tests/packaging/bash_completion_test.sh "$completion"

  alias=65-vannor-ms-pgothic.conf
  check "/etc/fonts/conf.d enables the packaged font alias" \
    test "$(readlink "$root/etc/fonts/conf.d/$alias")" = "/usr/share/fontconfig/conf.avail/$alias" \
    -a -f "$root/usr/share/fontconfig/conf.avail/$alias"
  # The system's fontconfig with the alias enabled as the package does it.
  cat >"$work/fonts.conf" <<CONF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <include ignore_missing="no">/etc/fonts/fonts.conf</include>
  <include ignore_missing="no">$root/usr/share/fontconfig/conf.avail/$alias</include>
</fontconfig>
CONF
  check "the enabled alias gives the dialogs' face IPAPGothic" \
    test "$(FONTCONFIG_FILE="$work/fonts.conf" fc-match -f '%{family[0]}' 'ＭＳ Ｐゴシック')" = IPAPGothic
fi

if [ -d "$root" ]; then
  rule="$root/usr/lib/udev/rules.d/60-vannor-rx-trigger.rules"
  echo "--- $(basename "$rule")"
  # What the rule does: it assigns nothing but RUN (no owner, group, mode, name or link of the
  # device itself: "==" and "!=" only compare), and each RUN gives group dialout the port's
  # rx_trig_bytes.
  rule_touches_the_trigger_alone() {
    local body assigned
    body=$(grep -v '^#' "$rule")
    assigned=$(grep -oE '[A-Z_]+(\{[^}]*\})?[+:]?=[^=]' <<<"$body" | sort -u)
    [ "$assigned" = 'RUN+="' ] || { echo "the rule assigns: $assigned"; return 1; }
    ! grep -oE 'RUN\+="[^"]*"' <<<"$body" |
      grep -vxE 'RUN\+="/bin/(chgrp dialout|chmod g\+w) %S%p/rx_trig_bytes"'
  }
  check "the udev rule is in the vannor package" test -f "$rule"
  check "the udev rule gives group dialout rx_trig_bytes and nothing else" \
    rule_touches_the_trigger_alone
  control="$work/vannor.control"
  dpkg-deb -e "$build/packages/vannor_${version}_${arch}.deb" "$control"
  applies_and_withdraws() {
    grep -q 'udevadm trigger' "$control/postinst" && grep -q 'chmod g-w' "$control/postrm"
  }
  check "the package applies the rule at installation and withdraws it at removal" \
    applies_and_withdraws
fi

echo "packages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

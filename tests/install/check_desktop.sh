#!/usr/bin/env bash
# Installs kenv-gui's part of a build tree (and the library it loads) into a temporary prefix and checks what the
# desktop reads of it with the desktop's own tools: the menu entry (desktop-file-validate),
# the AppStream data (appstreamcli, offline), the polkit action (xmllint, against polkit's
# DTD when it is installed), the icon, the man page (groff's warnings) and --version.
# Usage: check_desktop.sh BUILD_DIR SOURCE_DIR VERSION INSTALL_PREFIX
set -euo pipefail
build=$1 source=$2 version=$3 configured_prefix=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/kenv-desktop-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "check_desktop: $*" >&2; exit 1; }
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
prefix=$work/prefix
for component in library gui; do
  cmake --install "$build" --prefix "$prefix" --component $component >"$work/install.log" ||
    { cat "$work/install.log"; fail "cmake --install --component $component failed"; }
done
id=org.kestrune.EnvvarEditor
share=$prefix/share

desktop=$share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
entry() { sed -n "s/^$1=//p" "$desktop"; }
[[ "$(entry Categories)" == Settings\;System\;* ]] || fail "categories: $(entry Categories)"
[[ ";$(entry Keywords)" == *";environment;variables;PATH;"* ]] || fail "keywords: $(entry Keywords)"
[ "$(entry Icon)" = "$id" ] && xmllint --noout "$share/icons/hicolor/scalable/apps/$id.svg" || fail "icon"

metainfo=$share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
xpath() { xmllint --xpath "string($1)" "$metainfo"; }
[ "$(xpath '//launchable')" = "$id.desktop" ] || fail "the metainfo does not launch the menu entry"
[ "$(xpath '//releases/release[1]/@version')" = "$version" ] || fail "the newest release is not $version"
[ "$(xpath '//content_rating/@type')" = oars-1.1 ] && [ "$(xpath '//project_license')" = MIT ] ||
  fail "content rating or licence"
# The screenshot is the README's, published with the project: same file, same size.
[[ "$(xpath '//screenshot/image')" == */docs/kenv-gui.png ]] || fail "screenshot: $(xpath '//screenshot/image')"
size=$(file -b "$source/docs/kenv-gui.png" | sed -n 's/^PNG image data, \([0-9]*\) x \([0-9]*\),.*/\1 \2/p')
[ "$size" = "$(xpath '//screenshot/image/@width') $(xpath '//screenshot/image/@height')" ] ||
  fail "the screenshot's size is not docs/kenv-gui.png's ($size)"

policy=$share/polkit-1/actions/org.kestrune.envvar-editor.policy
dtd=/usr/share/polkit-1/policyconfig-1.dtd
if [ -f "$dtd" ]; then xmllint --noout --dtdvalid "$dtd" "$policy"; else xmllint --noout "$policy"; fi || fail "policy"
[ "$(xmllint --xpath 'string(//action/defaults/allow_active)' "$policy")" = auth_admin_keep ] || fail "allow_active"
helper=$(xmllint --xpath 'string(//annotate[@key="org.freedesktop.policykit.exec.path"])' "$policy")
[ -x "$prefix${helper#"$configured_prefix"}" ] || fail "the policy names $helper, which was not installed"

warnings=$(zcat "$share/man/man1/kenv-gui.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
[ -z "$warnings" ] || fail "man page: $warnings"
[ "$("$prefix/bin/kenv-gui" --version)" = "kenv-gui $version" ] || fail "kenv-gui --version"

#!/usr/bin/env bash
# Checks the desktop files the package installs: the validators accept the desktop entry and the
# AppStream file, the newest release there is the project's version, the MIME database accepts
# the document types and the desktop entry lists exactly those types.
# Usage: check-metadata.sh PACKAGING_FOLDER PROJECT_VERSION
set -euo pipefail
dir=$1 version=$2
id=com.norvanemedia.Graflink

for tool in desktop-file-validate appstreamcli update-mime-database xmllint; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/bootstrap-deps.sh)"; exit 77; }
done

# desktop-file-validate passes some errors ("will be fatal in the future"): any remark fails here.
remarks=$(desktop-file-validate "$dir/$id.desktop" 2>&1) && [ -z "$remarks" ] || { echo "$remarks"; exit 1; }
appstreamcli validate --no-net --no-color "$dir/$id.metainfo.xml" >/dev/null ||
  { appstreamcli validate --no-net --no-color "$dir/$id.metainfo.xml"; exit 1; }

release=$(xmllint --xpath 'string(/component/releases/release[1]/@version)' "$dir/$id.metainfo.xml")
if [ "$release" != "$version" ]; then
  echo "$id.metainfo.xml: newest release is '$release', the project's version is '$version'"; exit 1
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/mime/packages"
cp "$dir/$id.mime.xml" "$tmp/mime/packages/$id.xml"
XDG_DATA_HOME="$tmp" XDG_DATA_DIRS="$tmp" update-mime-database "$tmp/mime"
defined=$(xmllint --xpath '//*[local-name()="mime-type"]/@type' "$dir/$id.mime.xml" |
  sed 's/ *type="\([^"]*\)"/\1\n/g' | sed '/^$/d' | sort)
listed=$(sed -n 's/^MimeType=//p' "$dir/$id.desktop" | tr ';' '\n' | sed '/^$/d' | sort)
if [ "$defined" != "$listed" ]; then
  printf 'MimeType of %s.desktop:\n%s\ntypes of %s.mime.xml:\n%s\n' "$id" "$listed" "$id" "$defined"; exit 1
fi
for pair in 'application/x-graflink-document:\*.graflink' 'application/x-graflink-data-source:\*.cgds'; do
  grep -q ":$pair\$" "$tmp/mime/globs2" || { echo "no glob $pair in the MIME database"; exit 1; }
done
# A D-Bus activatable launcher needs a bus service file of the same name.
if grep -qx 'DBusActivatable=true' "$dir/$id.desktop"; then
  grep -qx "Name=$id" "$dir/$id.service.in" || { echo "$id.service.in does not name the bus service $id"; exit 1; }
fi
echo "desktop entry, AppStream file and MIME types are fine"

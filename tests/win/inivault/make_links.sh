#!/bin/sh
# A symbolic link for the Windows tests, made by the host because Wine's
# CreateSymbolicLinkW creates nothing: FOLDER/link.ini -> real/settings.ini.
# Made afresh for every run.
set -eu
folder=${1:?usage: make_links.sh FOLDER}
rm -rf "$folder"
mkdir -p "$folder/real"
printf '[s]\r\nk=old\r\n' >"$folder/real/settings.ini"
ln -s real/settings.ini "$folder/link.ini"

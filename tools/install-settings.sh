#!/bin/sh
# Creates the settings folder in which QUILLBOX keeps the local port chosen in its setup
# dialog, as an installer would: $XDG_CONFIG_HOME/vorlenta.software/QUILLBOX, or
# ~/.config/vorlenta.software/QUILLBOX. The plug-in never creates it itself; without it the
# port is always 11100 and a port chosen in the dialog lasts only until quillbox stops.
# Leaves an existing folder and its content alone.
set -eu

case "${XDG_CONFIG_HOME:-}" in
    /*) config="$XDG_CONFIG_HOME" ;;
    *) config="${HOME:?HOME is not set}/.config" ;;
esac
folder="$config/vorlenta.software/QUILLBOX"

if [ ! -d "$folder" ]; then
    mkdir -p "$folder"
    echo "install-settings: created $folder (the port chosen with 'quillbox setup' is kept there)"
fi

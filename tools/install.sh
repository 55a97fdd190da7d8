#!/bin/sh
# Installs the built quillbox program, its plug-in and a systemd user unit, or removes them:
#
#     tools/install.sh install BUILD_FOLDER
#     tools/install.sh uninstall
#
#   $PREFIX/bin/quillbox                        the program
#   $PREFIX/lib/quillbox/QUILLBOX.vorlenta.tbp  the plug-in, where the program looks for it
#   $USER_UNIT_DIR/quillbox.service             runs the program at every login of a user
#                                               who enables it (systemctl --user)
#
# PREFIX defaults to /usr/local and USER_UNIT_DIR to $PREFIX/lib/systemd/user. DESTDIR, when
# set, is put before every path written to (for building packages); the unit still names the
# program at $PREFIX. The Makefile's install and uninstall targets run this.
set -eu

prefix="${PREFIX:-/usr/local}"
unit_folder="${USER_UNIT_DIR:-$prefix/lib/systemd/user}"
root="${DESTDIR:-}"
program="$prefix/bin/quillbox"
plugin="$prefix/lib/quillbox/QUILLBOX.vorlenta.tbp"
unit="$unit_folder/quillbox.service"

case "${1:-}" in
install)
    build="${2:?usage: tools/install.sh install BUILD_FOLDER}"
    install -d "$root$prefix/bin" "$root$prefix/lib/quillbox" "$root$unit_folder"
    install -m 0755 "$build/quillbox" "$root$program"
    install -m 0644 "$build/QUILLBOX.vorlenta.tbp" "$root$plugin"
    cat >"$root$unit" <<UNIT
[Unit]
Description=QUILLBOX: RSS feeds as POP3 mail on 127.0.0.1

[Service]
ExecStart=$program
WorkingDirectory=%h
Restart=on-failure
RestartSec=10

[Install]
WantedBy=default.target
UNIT
    chmod 0644 "$root$unit"
    echo "install: $root$program, $root$plugin and $root$unit"
    echo "install: to serve at every login: systemctl --user daemon-reload && systemctl --user enable --now quillbox"
    ;;
uninstall)
    rm -f "$root$program" "$root$plugin" "$root$unit"
    rmdir "$root$prefix/lib/quillbox" 2>/dev/null || true
    echo "uninstall: removed $root$program, $root$plugin and $root$unit"
    ;;
*)
    echo "usage: tools/install.sh install BUILD_FOLDER | uninstall" >&2
    exit 2
    ;;
esac

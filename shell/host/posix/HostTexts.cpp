#include "shell/host/HostTexts.h"

const char kUsage[] =
    "Usage: quillbox [--plugin PATH] [setup]\n"
    "\n"
    "  quillbox          Loads the plug-in and serves POP3 for RSS on 127.0.0.1 at the\n"
    "                    stored port (11100 unless changed) until Ctrl+C or SIGTERM.\n"
    "                    In a mail client, make a POP3 account for server 127.0.0.1 at\n"
    "                    that port whose user name is the full path of a feed list file\n"
    "                    and whose password is anything.\n"
    "  quillbox setup    Opens the plug-in's setup dialog in this terminal to choose the\n"
    "                    port. It is remembered only when the settings folder exists\n"
    "                    (tools/install-settings.sh creates it); a running quillbox moves\n"
    "                    to it when it is started again.\n"
    "\n"
    "  --plugin PATH     Load the plug-in from PATH instead of QUILLBOX.vorlenta.tbp\n"
    "                    beside the quillbox program.\n"
    "  --help            Show this text.\n";

const char kNoStoredPortHint[] = "; run tools/install-settings.sh to create that folder";

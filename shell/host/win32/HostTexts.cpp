#include "shell/host/HostTexts.h"

const char kUsage[] =
    "Usage: quillbox [--plugin PATH] [setup]\n"
    "\n"
    "  quillbox          Loads the plug-in and serves POP3 for RSS on 127.0.0.1 at the\n"
    "                    stored port (11100 unless changed) until Ctrl+C.\n"
    "                    In a mail client, make a POP3 account for server 127.0.0.1 at\n"
    "                    that port whose user name is the full path of a feed list file\n"
    "                    and whose password is anything.\n"
    "  quillbox setup    Opens the plug-in's setup dialog to choose the port. It is\n"
    "                    remembered only when the registry key\n"
    "                    HKEY_CURRENT_USER\\Software\\vorlenta.software\\QUILLBOX exists;\n"
    "                    a running quillbox moves to it when it is started again.\n"
    "\n"
    "  --plugin PATH     Load the plug-in from PATH instead of QUILLBOX.vorlenta.tbp\n"
    "                    beside the quillbox program.\n"
    "  --help            Show this text.\n";

const char kNoStoredPortHint[] =
    "; create that key to keep a port: reg add HKCU\\Software\\vorlenta.software\\QUILLBOX";

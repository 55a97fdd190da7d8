#include "shell/host/HostTexts.h"

const char kStopRequest[] = "Ctrl+C";
const char kSetupHelp[] =
    "  quillbox setup    Opens the plug-in's setup dialog to choose the port. It is\n"
    "                    remembered only when the registry key\n"
    "                    HKEY_CURRENT_USER\\Software\\vorlenta.software\\QUILLBOX exists;\n"
    "                    a running quillbox moves to it when it is started again.\n";
const char kExampleListPath[] = "feeds\\list.txt";
const char kOtherPluginPlace[] = "";
const char kSettingsPlace[] = "the registry key";
const char kCreateSettingsHint[] =
    "create it with: reg add HKCU\\Software\\vorlenta.software\\QUILLBOX";

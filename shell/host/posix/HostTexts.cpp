#include "shell/host/HostTexts.h"

const char kStopRequest[] = "Ctrl+C or SIGTERM";
const char kSetupHelp[] =
    "  quillbox setup    Opens the plug-in's setup dialog in this terminal to choose the\n"
    "                    port. It is remembered only when the settings folder exists\n"
    "                    (tools/install-settings.sh creates it); a running quillbox moves\n"
    "                    to it when it is started again.\n";
const char kExampleListPath[] = "~/feeds/list.txt";
const char kOtherPluginPlace[] = " (or in ../lib/quillbox/ from there)";
const char kSettingsPlace[] = "the folder";
const char kCreateSettingsHint[] = "create it with tools/install-settings.sh or mkdir -p";

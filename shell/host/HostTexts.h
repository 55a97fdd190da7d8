#pragma once

// The parts of the host program's texts that speak of the system's own ways (how it is
// stopped, where the port is kept, where files go); one file per system, chosen by the
// build.

// How the user stops the server ("Ctrl+C").
extern const char kStopRequest[];
// The --help paragraph on "quillbox setup", each line indented to the text column.
extern const char kSetupHelp[];
// An example feed list path to save an imported list to.
extern const char kExampleListPath[];
// Where else the plug-in is looked for, after "beside the quillbox program"; may be empty.
extern const char kOtherPluginPlace[];
// What kind of place keeps the settings ("the folder"), and how the user makes it.
extern const char kSettingsPlace[];
extern const char kCreateSettingsHint[];

#pragma once

// The product's settings key (see platform/Settings.h), which its installer creates and the
// product never does, and the names of the values it holds.
inline constexpr char kSettingsKey[] = "Software\\vorlenta.software\\QUILLBOX";
// The port of the local POP3 server (a number).
inline constexpr char kLocalPortName[] = "LocalPort";
// The proxy for feeds (a text): a proxy URL, or "none" for none, over the system's settings.
inline constexpr char kProxyName[] = "Proxy";

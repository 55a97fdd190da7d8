#pragma once

#include <string>

class CPOP3Server;

// The name and version the plug-in gives the host.
extern const char kPluginName[];
extern const char kPluginVersion[];

// What the plug-in's exported functions do, apart from the export mechanics: the plug-in
// status and the starting and stopping of the one server. Every call comes from the host's
// thread (or the module's load and unload), so nothing here is locked.
class CPluginShell
{
public:
    // Does not own the server, which must outlive the shell.
    explicit CPluginShell(CPOP3Server& server) : m_server(server) {}

    // Module load and unload: the network library up and down. Load is false when the network
    // library cannot be used; Initialize then fails. Unload stops the server as Finalize
    // does before the network library goes.
    bool Load();
    void Unload();
    // Unload where nothing may wait (on Windows the system's loader lock is held, which an
    // ending thread needs): ends the server without waiting for its threads
    // (CPOP3Server::Abandon), then takes the network library down.
    void UnloadWithoutWaiting();

    // Reads the stored port and starts the server there (a server still running from an
    // earlier Initialize is stopped first). Returns the new status, which GetStatus keeps: 0 when
    // the server started, 1 when it did not.
    int Initialize();
    // Stops the server, which first lets the seen-store commits in progress finish (a few
    // seconds at most), and waits a moment (at most half a second) for its sessions to end.
    void Finalize();
    // 0 before Initialize and after a successful start, 1 after a failed one.
    int GetStatus() const { return m_status; }

    // Starts the stopped server on the port's low 16 bits; false, with nothing left open,
    // when it could not.
    bool StartServer(int port);
    // Moves the server to `port`: stops it, starts it there and stores the port on success;
    // on failure starts it again on the stored port (which may fail too, leaving no server)
    // and leaves the store alone. The status is not changed.
    void ChangePort(int port);
    // After a ChangePort that could not move the server, the line that tells the user so
    // ("port N is in use; QUILLBOX stays on M"); empty otherwise.
    const std::string& PortChangeNote() const { return m_portChangeNote; }

private:
    void StopNetwork();

    CPOP3Server& m_server;
    int m_status = 0;
    bool m_networkStarted = false;
    std::string m_portChangeNote;
};

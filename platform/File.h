#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Whole-file reads and atomic whole-file writes: the only two ways the system touches the
// content of its files (feed lists, templates, seen stores, stored settings). Both are safe
// to call from many threads at once on different or the same files. Nothing here throws
// except on exhaustion of memory.
namespace platform {

// What ReadRegularFile does with a file longer than it may read.
enum class TooLong
{
    Fail,      // the read fails
    KeepStart, // the read stops there and gives the file's first bytes
};

// Reads the whole file at `path` into `content`, reading until its end rather than trusting
// a length taken beforehand. Only a regular file is read: a folder, a device or a pipe of
// that name is no file (a pipe would otherwise hold the caller until somebody writes to it),
// and opening never waits. False, with `content` emptied, when the file is missing, is not a
// regular file, or cannot be read; a file of more than `maxBytes` bytes fails too, or gives
// its first `maxBytes` bytes, as `tooLong` says. Also false when `path` holds a NUL byte, since the
// system would read a shorter name than the one given.
bool ReadRegularFile(const std::string& path, std::string& content,
                     std::size_t maxBytes = static_cast<std::size_t>(-1),
                     TooLong tooLong = TooLong::Fail);

// ReadRegularFile for a file whose content only the process's own user or the administrator
// may have chosen. On POSIX systems a file owned by anybody else, or that others may write,
// counts as missing, and so does any file of a file system the system makes up as it is
// read (/proc, /sys and their like), whoever owns it; the checks are made on the very file
// that is read. Windows guards files by their access lists instead, so there it is
// ReadRegularFile.
bool ReadTrustedFile(const std::string& path, std::string& content,
                     std::size_t maxBytes = static_cast<std::size_t>(-1),
                     TooLong tooLong = TooLong::Fail);

// Why ReadTrustedFile turns a regular file away.
enum class Distrust
{
    None,           // it does not, or the file cannot be read at all
    OthersMayWrite, // another user owns it or may write to it
    MadeUpBySystem, // it is of a file system the system makes up (/proc, /sys)
};

// Why ReadTrustedFile would turn away the file at `path`, for telling the user.
Distrust WhyDistrusted(const std::string& path);

// What ReadOwnFile found at a path.
enum class OwnFile
{
    Read,    // a file of the user's own, read whole
    Missing, // nothing of that name
    Refused, // something of that name that is no file of the user's, or cannot be read
};

// Reads the whole file at `path` into `content` when it is a regular file that belongs to
// the process's own user and that others may not write. The name itself must be that file:
// a symbolic link (POSIX) or other reparse point (Windows) of that name is refused, wherever
// it leads, so that nobody can have another file read in its place. Windows guards files by
// their access lists, so there the owner is not checked. `content` is emptied unless Read.
OwnFile ReadOwnFile(const std::string& path, std::string& content);

// Whether WriteWholeFile waits for the content to reach the disk before it moves the file
// into place. Unflushed is for files whose readers check them and can do without them (a
// cache): after a crash of the system such a file may be empty or cut short.
enum class Durability
{
    Flushed,
    Unflushed,
};

// Gives the file at `path` the content `content` in one step, byte for byte (no line end
// is translated, so a file written on one system is the same file on every other): the
// content is written to a new temporary file beside it, flushed to the disk, and moved over `path`,
// so that anyone opening `path` finds either its old content or the new one whole, never a mixture,
// and a crash leaves one or the other. False when any step fails; `path` is then as it was and no
// temporary file is left behind. Two writers of one file must be serialised by the caller
// (each wins whole, but the later one's content replaces the earlier one's). Temporary files
// for `path` that a writer killed while writing left behind (older than a minute) are
// removed first. A new file is readable and writable by the process's own user alone; a
// file that is replaced keeps its permissions. Nothing is written in a folder that others
// may write to unless only owners may remove its files there (the sticky bit of POSIX):
// anybody could replace the file there.
bool WriteWholeFile(const std::string& path, const std::string& content,
                    Durability durability = Durability::Flushed);

// WriteWholeFile in two steps, for content that exists in pieces and only for a while: Write
// puts the pieces, one after the other, into the new temporary file beside `path` at once,
// so that their memory can go; Commit later moves that file over `path`. Until then `path`
// keeps its old content; a replacement that ends uncommitted removes its temporary file. The
// rules of WriteWholeFile hold for both steps together. Used by one thread.
class CFileReplacement
{
public:
    CFileReplacement() = default;
    ~CFileReplacement();
    CFileReplacement(CFileReplacement&& other) noexcept;
    CFileReplacement& operator=(CFileReplacement&& other) noexcept;

    // Writes the temporary file for `path` (once); false when that failed, and then nothing
    // is left behind.
    bool Write(const std::string& path, const std::vector<std::string_view>& pieces,
               Durability durability);
    // Whether Write succeeded and Commit has not run yet.
    bool IsWritten() const { return !m_temporary.empty(); }
    // Moves the file Write wrote over its path; false when nothing was written or the move
    // failed (the temporary file is removed then).
    bool Commit();

private:
    // Removes the temporary file, if any.
    void Abandon();

    std::string m_path;
    std::string m_temporary;
};

// How the names of the temporary files WriteWholeFile writes for `path` begin: the folder of
// `path`, then ".quillbox-" and a digest of the file's own name, which tells them from the
// temporary files of other files in the folder.
std::string TemporaryFilePrefix(const std::string& path);

} // namespace platform

// The temporary file a save writes before it replaces its target. Where the file
// system allows, it has no name until it is complete (O_TMPFILE), so a process that
// is killed part-way leaves nothing behind. Otherwise it is named
// ".NAME.<pid>.<n>.tmp" beside the target; such names are removed on SIGINT and
// SIGTERM once InstallTemporaryFileCleanup has run, and by the next save into the
// same folder when the process that made them no longer exists.
#pragma once

#include <string>

class TemporaryFile {
public:
    enum class Kind { UnnamedWherePossible, Named };

    // An empty file in the folder of `target` for a save to it, with the ordinary
    // permissions (0666 less the umask). Check Descriptor() >= 0; errno then says
    // why not.
    TemporaryFile(const std::string& target, Kind kind = Kind::UnnamedWherePossible);
    // Closes the file and removes it unless it was committed.
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Descriptor() const { return m_fd; }
    bool IsUnnamed() const { return m_unnamed; }
    // The named file's path (empty for an unnamed one), for a library that writes
    // the file by its name.
    const std::string& Path() const { return m_name; }
    // Another target for CloseAndReplaceTarget, in the same file system: for a file
    // whose final name is known only once it has been written.
    void SetTarget(std::string target) { m_target = std::move(target); }

    // Closes the file and puts it in place of the target in one rename. False, with
    // errno set, when the close, the naming or the rename fails; nothing is left then.
    bool CloseAndReplaceTarget();
    // The same, but only while nothing is at the target's path: a file there, even
    // one that appeared a moment ago, stays, and the call fails with EEXIST. The file
    // is linked (or renamed without replacing) under the name in one step.
    bool CloseAndCreateTarget();
    // Whether CloseAndReplaceTarget failed because an unnamed file could not be given
    // a name (no /proc, or a file system that refuses): a named file then does.
    bool NamingFailed() const { return m_namingFailed; }

private:
    bool GiveName();
    bool Place(bool replace);
    void Forget();

    std::string m_target;
    std::string m_name;  // the named file's path, once it has one
    int m_fd = -1;
    int m_slot = -1;  // its entry in the list the signal handler removes
    bool m_unnamed = false;
    bool m_namingFailed = false;
};

// Removes, in `folder`, the temporaries of our naming pattern that belong to the
// current user and whose process no longer exists. Returns how many went.
int RemoveStaleTemporaries(const std::string& folder);

// Makes SIGINT, SIGTERM and SIGHUP remove every named temporary of this process
// before it ends as it would have. Signals already ignored or handled stay so.
void InstallTemporaryFileCleanup();

// Changes to the file system made as one step: each change is recorded with what undoes it, and
// a change that fails undoes every earlier one, latest first.
#pragma once

#include <functional>
#include <string>
#include <vector>

class CTransaction {
public:
    CTransaction();
    // Undoes whatever was not committed.
    ~CTransaction();
    CTransaction(const CTransaction&) = delete;
    CTransaction& operator=(const CTransaction&) = delete;

    // Each returns false, with Error() saying why, when the change could not be made; the
    // changes made before it are then undone already. Modes apply where the system has them.
    bool MakeDirectory(const std::string& path, unsigned mode);
    // Writes a new file (that must not exist) through a temporary name, so that it appears whole.
    bool WriteFile(const std::string& path, const std::string& content, unsigned mode);
    // Renames a file or a directory; `to` must not exist.
    bool Rename(const std::string& from, const std::string& to);
    // Removes a regular file, keeping its bytes and mode to bring it back.
    bool RemoveFile(const std::string& path);
    bool RemoveDirectory(const std::string& path);

    void Commit();
    void Rollback();
    const std::string& Error() const { return m_error; }

    // For tests: the change with this number (1 for the first) fails as if the system refused it.
    void FailAt(int change) { m_failAt = change; }

private:
    bool Run(const std::string& what, const std::function<std::string()>& change, std::function<void()> undo);
    bool Fail(const std::string& what, const std::string& why);

    std::vector<std::function<void()>> m_undo;
    std::string m_error;
    int m_changes = 0;
    int m_failAt = 0;
};

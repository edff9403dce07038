// The undo log of the command's changes to the TWAIN tree and the log directory.
#include "Transaction.h"

#include "HostFiles.h"

// Interrupting the command between two changes would leave the tree half changed: what ends a
// program from the terminal waits until the transaction is over.
CTransaction::CTransaction() { host::HoldInterrupts(); }

CTransaction::~CTransaction() {
    Rollback();
    host::ReleaseInterrupts();
}

bool CTransaction::Fail(const std::string& what, const std::string& why) {
    m_error = "cannot " + what + ": " + why;
    Rollback();
    return false;
}

bool CTransaction::Run(const std::string& what, const std::function<std::string()>& change, std::function<void()> undo) {
    if (++m_changes == m_failAt) return Fail(what, "Input/output error");
    const std::string why = change();
    if (!why.empty()) return Fail(what, why);
    m_undo.push_back(std::move(undo));
    return true;
}

bool CTransaction::MakeDirectory(const std::string& path, unsigned mode) {
    return Run("make the directory " + path, [&] { return host::MakeDirectory(path, mode); },
               [path] { host::RemoveDirectory(path); });
}

bool CTransaction::WriteFile(const std::string& path, const std::string& content, unsigned mode) {
    return Run("write " + path, [&] { return host::WriteNewFile(path, content, mode); }, [path] { host::RemoveFile(path); });
}

bool CTransaction::Rename(const std::string& from, const std::string& to) {
    return Run("rename " + from + " to " + to, [&] { return host::Rename(from, to); },
               [from, to] { host::Rename(to, from); });
}

bool CTransaction::RemoveFile(const std::string& path) {
    const host::Facts facts = host::Inspect(path);
    std::string content, why;
    const std::string what = "remove " + path;
    if (!facts.exists) return Fail(what, "No such file or directory");
    if (!facts.regular) return Fail(what, "not a regular file");
    if (!host::ReadWholeFile(path, &content, &why)) return Fail(what, why);
    const unsigned mode = facts.mode;
    return Run(what, [&] { return host::RemoveFile(path); },
               [path, content, mode] { host::WriteNewFile(path, content, mode); });
}

bool CTransaction::RemoveDirectory(const std::string& path) {
    const unsigned mode = host::Inspect(path).mode;
    return Run("remove the directory " + path, [&] { return host::RemoveDirectory(path); },
               [path, mode] { host::MakeDirectory(path, mode); });
}

void CTransaction::Commit() { m_undo.clear(); }

void CTransaction::Rollback() {
    while (!m_undo.empty()) {
        m_undo.back()();
        m_undo.pop_back();
    }
}

// The journal of the user's proxy setting: the options saved before the tunnel
// first switched them to direct access, kept until they are given back. It lives
// in the user's own hive, HKCU\Software\Duzavide\Connect, value "ProxyRestore"
// (one value, so a save is whole or absent), because the restore program that
// the next sign-in runs has no administrator rights. It holds only the user's own
// proxy options, each connection's by its name, never keys.
//
// While a journal exists, a per-user RunOnce value "DuzavideProxyRestore" runs
// DuzavideProxyRestore.exe (beside this program) at the next sign-in, so that the
// setting comes back even if the application is never opened again.
//
// Any thread; callers serialise their sequences themselves.
#ifndef TUNNEL_PROXY_SETTING_PROXY_JOURNAL_H_
#define TUNNEL_PROXY_SETTING_PROXY_JOURNAL_H_

#include <string>

#include "tunnel/proxy_setting/proxy_options.h"

namespace duzavide {

// Reads the journal into `saved` when kPresent; says why in `failure` for
// kUnreadable and kUnreachable.
ProxyJournalState LoadProxyJournal(ConnectionProxies* saved, std::string* failure);

// Writes the journal and flushes it to the disk before returning (a power loss
// right after the setting is switched must not lose it), then registers the
// restore program to run at the next sign-in. False, with `failure`, when the
// journal could not be written; the sign-in registration is best effort (the
// host's own start gives the setting back as well).
bool SaveProxyJournal(const ConnectionProxies& saved, std::string* failure);

// Deletes the journal, then the sign-in registration. True when no journal is left.
bool DeleteProxyJournal(std::string* failure);

// Registers the restore program to run at the next sign-in; best effort.
void RegisterProxyRestoreAtSignIn();

// The RunOnce command that runs the restore program from beside this program.
std::wstring ProxyRestoreCommand();

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_PROXY_JOURNAL_H_

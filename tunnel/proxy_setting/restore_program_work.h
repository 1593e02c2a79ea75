// RestoreProgramWork runs each proxy step (proxy_work.h) in the restore program,
// DuzavideProxyRestore.exe beside this program, as the person signed in to this
// session: started with their shell as its parent, so that it runs with the
// shell's own (unelevated) token and their HKCU, RunOnce and connections. The
// journal and its sign-in registration then live in their hive, and the restore
// program takes the journal's lock itself (the caller must not hold it).
//
// Its lines come back through a pipe and its exit code says whether the step
// succeeded; it is waited for at most kStepWaitMs. Any thread, one step at a time.
#ifndef TUNNEL_PROXY_SETTING_RESTORE_PROGRAM_WORK_H_
#define TUNNEL_PROXY_SETTING_RESTORE_PROGRAM_WORK_H_

#include <string>
#include <vector>

#include "tunnel/proxy_setting/proxy_work.h"

namespace duzavide {

class RestoreProgramWork final : public ProxyWork {
 public:
  // Longer than the restore program's own bound on the journal's lock (3 s),
  // short enough for the end of a Windows session.
  static constexpr unsigned long kStepWaitMs = 10000;

  bool Run(ProxyStep step, std::vector<std::string>* lines, std::string* failure) override;
};

}  // namespace duzavide

#endif  // TUNNEL_PROXY_SETTING_RESTORE_PROGRAM_WORK_H_

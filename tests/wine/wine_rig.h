#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/e2e_program.h"
#include "tests/support/e2e_sandbox.h"

namespace flashkit::testing {

// The Windows build's programs under Wine, in the prefix the test run made
// beside the Linux rigs: a COM port of the prefix is a link
// from its dosdevices folder to a line of the sandbox. The build names the
// prefix (FLASHKIT_WINE_PREFIX) and the programs' folder (FLASHKIT_WINDOWS_BIN). Tests that run side by
// side share the prefix, so each uses COM numbers of its own.
class WineRig {
 public:
  explicit WineRig(E2eSandbox& sandbox) : sandbox_(sandbox) {}
  ~WineRig();
  WineRig(const WineRig&) = delete;
  WineRig& operator=(const WineRig&) = delete;

  // Why the rig cannot run (no prefix, no Windows build), or "". These
  // tests are built only beside a Windows build, so that is a failure.
  static std::string Missing();

  // Makes COM<number> of the prefix the terminal behind the sandbox's COM
  // port `sandbox_com` (a devsim line), until the rig goes.
  bool LinkCom(unsigned number, unsigned sandbox_com);

  // `wine <program>.exe <args>` in the sandbox's host folder.
  std::unique_ptr<E2eProgram> Start(const std::string& program, const std::vector<std::string>& args);

  // A batch file run by Wine's cmd: the program with `args`, then the
  // status as a Windows user reads it ("status -101").
  std::unique_ptr<E2eProgram> StartInCmd(const std::string& program, const std::vector<std::string>& args);

 private:
  E2eSandbox& sandbox_;
  std::vector<std::string> links_;
};

}  // namespace flashkit::testing

#include "tests/wine/wine_rig.h"

#include <filesystem>
#include <fstream>

namespace flashkit::testing {
namespace {

namespace fs = std::filesystem;

std::string ExePath(const std::string& program) {
  return std::string(FLASHKIT_WINDOWS_BIN) + "/" + program + ".exe";
}

// No Mono or Gecko dialog, no debug channels on standard error.
const std::vector<std::pair<std::string, std::string>> kWineEnv = {
    {"WINEPREFIX", FLASHKIT_WINE_PREFIX}, {"WINEDEBUG", "-all"}, {"WINEDLLOVERRIDES", "mscoree,mshtml="}};

// Wine shows the Linux root as drive Z:.
std::string WindowsPath(const std::string& path) {
  std::string out = "Z:" + path;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

}  // namespace

WineRig::~WineRig() {
  std::error_code ignored;
  for (const std::string& link : links_) fs::remove(link, ignored);
}

std::string WineRig::Missing() {
  if (!fs::exists(fs::path(FLASHKIT_WINE_PREFIX) / "dosdevices")) {
    return std::string("no Wine prefix in ") + FLASHKIT_WINE_PREFIX;
  }
  for (const char* program : {"linkxfer", "flashkit"}) {
    if (!fs::exists(ExePath(program))) return ExePath(program) + " is missing";
  }
  return "";
}

bool WineRig::LinkCom(unsigned number, unsigned sandbox_com) {
  std::error_code error;
  const fs::path pty = fs::read_symlink(sandbox_.ComPath(sandbox_com), error);
  if (error) return false;
  const fs::path link = fs::path(FLASHKIT_WINE_PREFIX) / "dosdevices" / ("com" + std::to_string(number));
  fs::remove(link, error);
  fs::create_symlink(pty, link, error);
  if (error) return false;
  links_.push_back(link.string());
  return true;
}

std::unique_ptr<E2eProgram> WineRig::Start(const std::string& program, const std::vector<std::string>& args) {
  ChildLaunch launch;
  launch.argv = {"/usr/bin/wine", ExePath(program)};
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  launch.work_dir = sandbox_.host().string();
  launch.env = kWineEnv;
  return std::make_unique<E2eProgram>(sandbox_, program + ".exe", launch);
}

std::unique_ptr<E2eProgram> WineRig::StartInCmd(const std::string& program,
                                                const std::vector<std::string>& args) {
  const fs::path batch = sandbox_.host() / (program + "-run.bat");
  {
    std::ofstream out(batch, std::ios::binary);
    out << "@echo off\r\n\"" << WindowsPath(ExePath(program)) << "\"";
    for (const std::string& arg : args) out << " " << arg;
    out << "\r\necho status %ERRORLEVEL%\r\n";
  }
  ChildLaunch launch;
  launch.argv = {"/usr/bin/wine", "cmd", "/c", batch.filename().string()};
  launch.work_dir = sandbox_.host().string();
  launch.env = kWineEnv;
  return std::make_unique<E2eProgram>(sandbox_, program + "-cmd", launch);
}

}  // namespace flashkit::testing

#pragma once

#include <memory>
#include <string>

namespace flashkit::sim {

// The namespace entry <root>/comN of a simulated COM port: a symbolic link
// to the pseudo-terminal's slave. Removed again when the object goes, unless
// another simulator has taken the name over in the meantime.
class ComLink {
 public:
  // Makes the root folder if missing and replaces an old link; refuses, with
  // the reason in `error`, when something other than a link is in the way.
  static std::unique_ptr<ComLink> Create(unsigned number, const std::string& target,
                                         std::string* error);
  ~ComLink();

  ComLink(const ComLink&) = delete;
  ComLink& operator=(const ComLink&) = delete;

  unsigned number() const { return number_; }
  const std::string& path() const { return path_; }
  const std::string& target() const { return target_; }

 private:
  ComLink(unsigned number, std::string path, std::string target);

  unsigned number_;
  std::string path_;
  std::string target_;
};

}  // namespace flashkit::sim

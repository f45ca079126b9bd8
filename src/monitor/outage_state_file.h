#pragma once

#include <map>
#include <optional>
#include <string>

#include "alerts/alert_policy.h"

namespace quorvex {

// Outage states by server, keyed by the configuration's file name as the
// file system's bytes.
using TOutageStates = std::map<std::string, TOutageState>;

// The headless front end's memory between runs: one small XML file.
class TOutageStateFile {
 public:
  explicit TOutageStateFile(std::u16string fileName) : _fileName(std::move(fileName)) {}

  // The states the file holds. A missing, unreadable or damaged file gives
  // none, and `problem` says why; nothing raises.
  TOutageStates load(std::optional<std::u16string>& problem) const;
  // Replaces the file so that an interrupted save leaves the old one whole;
  // the file is private to its owner (0600), missing folders are created.
  // Raises EFileError.
  void save(const TOutageStates& states) const;

  const std::u16string& FileName() const { return _fileName; }

 private:
  std::u16string _fileName;
};

}  // namespace quorvex

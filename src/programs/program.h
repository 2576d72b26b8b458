// What the subcommands of the talwen program share: option parsing helpers and the engine's
// environment (configuration file, database providers, identity).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "db/connection.h"
#include "frame/call.h"
#include "frame/config.h"

namespace talwen::program {

// The engine's environment for this process. The INI file is `config_path`, or the one
// beside the program when that is empty.
class Engine {
 public:
  explicit Engine(const std::string& config_path);
  const Environment& environment() const { return env_; }
  const ConfigFile& config() const { return config_; }
  Environment& environment() { return env_; }

 private:
  ConfigFile config_;
  db::Connector connector_;
  Environment env_;
};

// Register every database provider this build has.
void AddProviders(db::Connector& connector, const ConfigFile& config);

// Split "NAME=VALUE" at the first "="; nullopt when there is no "=" or the name is empty.
std::optional<std::pair<std::string, std::string>> SplitAssignment(const std::string& arg);

int CallCommand(int argc, char** argv);
int ServeCommand(int argc, char** argv);

}  // namespace talwen::program

#include <unistd.h>

#include <filesystem>

#include "build_info.h"
#include "functions/function_table.h"
#include "programs/program.h"

namespace talwen::program {
namespace {

ComponentInfo this_component() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  ComponentInfo info;
  info.product_name = build::kProductName;
  info.company_name = build::kCompanyName;
  info.version = build::kVersion;
  info.exe_name = exe.stem().string();
  info.path = exe.parent_path().string();
  return info;
}

}  // namespace

Engine::Engine(const std::string& config_path)
    : config_(config_path.empty() ? default_ini_path() : config_path) {
  AddProviders(connector_, config_);
  env_.config = &config_;
  env_.connector = &connector_;
  env_.functions = &RfFunctions();
  env_.component = this_component();
}

std::optional<std::pair<std::string, std::string>> SplitAssignment(const std::string& arg) {
  const auto eq = arg.find('=');
  if (eq == std::string::npos || eq == 0) return std::nullopt;
  return std::make_pair(arg.substr(0, eq), arg.substr(eq + 1));
}

}  // namespace talwen::program

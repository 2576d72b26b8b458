#include "programs/program.h"

namespace talwen::program {

void AddProviders(db::Connector& /*connector*/, const ConfigFile& /*config*/) {}

}  // namespace talwen::program

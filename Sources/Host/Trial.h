// The module load trial of the host program.
#pragma once

namespace Kalvoro {

int TrialMain(int argc, char** argv);

} // namespace Kalvoro

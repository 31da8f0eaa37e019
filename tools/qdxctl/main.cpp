// qdxctl: see Ctl.h and qdxctl --help.
#include <iostream>
#include <string>
#include <vector>

#include "Ctl.h"
#include "StopSignals.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    qdx::ctl::catchStopSignals();
    const int status = qdx::ctl::runQdxctl(args, std::cout, std::cerr);
    // A result that could not be written (a full disk, a closed pipe) is a failure.
    if (!std::cout.flush()) {
        std::cerr << "qdxctl: the output could not be written\n";
        return status == qdx::ctl::kExitOk ? qdx::ctl::kExitFailure : status;
    }
    return status;
}

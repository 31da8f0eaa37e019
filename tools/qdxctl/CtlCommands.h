// The run function of each qdxctl command; Ctl.cpp's table names them.
#pragma once

#include "Command.h"

namespace qdx::ctl {

int runList(Context& context, const Arguments& arguments);
int runInfo(Context& context, const Arguments& arguments);
int runGet(Context& context, const Arguments& arguments);
int runSet(Context& context, const Arguments& arguments);
int runGrab(Context& context, const Arguments& arguments);
int runStill(Context& context, const Arguments& arguments);
int runStream(Context& context, const Arguments& arguments);
int runStats(Context& context, const Arguments& arguments);
int runParams(Context& context, const Arguments& arguments);
int runRecord(Context& context, const Arguments& arguments);
int runRepair(Context& context, const Arguments& arguments);
int runSettings(Context& context, const Arguments& arguments);
int runDp(Context& context, const Arguments& arguments);
int runFpn(Context& context, const Arguments& arguments);
int runTable(Context& context, const Arguments& arguments);
int runCsv(Context& context, const Arguments& arguments);
int runI2c(Context& context, const Arguments& arguments);
int runReg(Context& context, const Arguments& arguments);
int runEeprom(Context& context, const Arguments& arguments);

}  // namespace qdx::ctl

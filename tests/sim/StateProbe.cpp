// A program on the simulated camera, whose start state comes from the
// environment (QDX_SIM_STATE_DIR): it runs the steps named on its command
// line and prints one line each.
//   save  exposure 222, then "save <QDX_Save_Param result>"
//   load  register 3 zeroed, then "load <QDX_Load_Param result> <register 3>"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "QDX_API.h"
#include "QDX_SIM.h"

namespace {

bool waitForCamera()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (QDX_GetStatus(&status) == QDX_OK && status != 1) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return status == 1;
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QDX_CAMERA", "sim", 1);
    QDX_Init();
    if (!waitForCamera()) {
        std::fprintf(stderr, "probe: the camera was never opened\n");
        QDX_Term();
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "save") == 0) {
            QDX_Set_ExposureTime(222);
            std::printf("save %d\n", QDX_Save_Param(0));
        } else if (std::strcmp(argv[i], "load") == 0) {
            QDXSim_SetRegister(QDX_REG_EXPOSURE_TIME, 0, 0);
            const int result = QDX_Load_Param(0);
            int exposure = -1;
            QDXSim_GetRegister(QDX_REG_EXPOSURE_TIME, &exposure);
            std::printf("load %d %d\n", result, exposure);
        } else {
            std::fprintf(stderr, "probe: unknown step %s\n", argv[i]);
            QDX_Term();
            return 2;
        }
    }
    QDX_Term();
    return 0;
}

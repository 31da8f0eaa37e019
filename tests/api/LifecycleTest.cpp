// Start and stop of the library and its threads, and what it tells while no
// camera is open.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>

#include "api/SimCameraFixture.h"

namespace qdx::test {
namespace {

using LifecycleTest = SimCameraTest;

// Guards against a second connection thread fighting over the camera.
TEST_F(LifecycleTest, InitTwiceStartsOneConnectionThread)
{
    startConnected();
    // A new thread carries its creator's name until it renames itself; once
    // frames flow, every thread has its own name.
    waitForFrames(1);
    QDX_HANDLE first = nullptr, second = nullptr;
    QDX_GetDataSemaphoHandle(&first);
    ASSERT_EQ(QDX_Init(), 0);
    QDX_GetDataSemaphoHandle(&second);
    EXPECT_EQ(threadsNamed("qdx-connection"), 1);
    EXPECT_EQ(threadsNamed("qdx-reader"), 1);
    EXPECT_EQ(first, second) << "a second QDX_Init must not replace the semaphore";
}

// Guards against threads left behind, and against Term on a stopped library.
TEST_F(LifecycleTest, TermStopsEveryThreadAndIsHarmlessTwice)
{
    startConnected();
    waitForFrames(1);
    ASSERT_EQ(QDX_Term(), 0);
    EXPECT_EQ(threadsNamed("qdx-"), 0);
    EXPECT_EQ(QDX_Term(), 0);
}

// Guards restarting: fresh buffers, frames flow again from index 0.
TEST_F(LifecycleTest, InitAfterTermStreamsAgain)
{
    startConnected();
    waitForFrames(3);
    ASSERT_EQ(QDX_Term(), 0);
    startConnected();
    EXPECT_LT(frameIndex(), 3);
    waitForFrames(2);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    unsigned int length = 0;
    EXPECT_EQ(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, &length), 0);
    EXPECT_EQ(length, QDX_FRAME_BYTES);
}

// Guards QDX_Init waiting for a camera: it returns while none is plugged in
// (or would hang until the safety net), and the camera is opened whenever it
// is plugged in.
TEST_F(LifecycleTest, InitWithoutCameraThenPlugIn)
{
    QDXSim_SetPlugged(0, 0);
    ASSERT_EQ(QDX_Init(), 0);
    QDX_HANDLE handle = nullptr;
    QDX_GetDataSemaphoHandle(&handle);
    EXPECT_NE(handle, nullptr) << "the semaphore exists from QDX_Init on, camera or not";
    EXPECT_EQ(status(), 0);
    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    waitForFrames(1);
}

// In a process of its own: no thread may be started while QDX_Init runs. The
// exit status names the first check that failed.
[[noreturn]] void initWithoutThreads()
{
    // Root is exempt from the process limit: the check runs as nobody.
    if (geteuid() == 0 &&
        (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0 ||
         prctl(PR_SET_DUMPABLE, 1) != 0))  // the sanitizers' leak check attaches to its own threads
        _exit(10);
    rlimit limit{};
    getrlimit(RLIMIT_NPROC, &limit);
    const rlimit none{0, limit.rlim_max};
    if (setrlimit(RLIMIT_NPROC, &none) != 0)
        _exit(11);
    if (QDX_Init() != QDX_ERR_RESOURCES)
        _exit(12);
    if (dataSemaphore() != nullptr || status() != 0 || threadsNamed("qdx-") != 0)
        _exit(13);  // half started
    setrlimit(RLIMIT_NPROC, &limit);
    if (QDX_Init() != QDX_OK || !waitUntil([] { return status() == 1; }))
        _exit(14);
    QDX_Term();
    _exit(0);
}

// Guards against an exception crossing the C interface: QDX_Init threw
// std::system_error when its thread could not start, which terminated the
// host program. It must return a code, leave nothing half started, and a
// later QDX_Init must work.
TEST_F(LifecycleTest, InitWithoutThreadsFailsWithACodeAndALaterInitWorks)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(initWithoutThreads(), ::testing::ExitedWithCode(0), "");
}

QDX_DEVICE_PROBLEM deviceProblem()
{
    QDX_DEVICE_PROBLEM problem;
    std::memset(&problem, 0x5A, sizeof problem);
    EXPECT_EQ(QDX_GetDeviceProblem(&problem), QDX_OK);
    return problem;
}

struct AccessCase {
    const char* name;
    int camera;        // refused: camera 0 or 1
    int access;        // QDXSIM_ACCESS_*
    bool secondCamera; // camera 1 plugged in and accessible too
    int reason;        // QDX_DEVICE_PROBLEM_* while refused
};

class DeviceProblemTest : public SimCameraTest, public ::testing::WithParamInterface<AccessCase> {};

// Guards telling "present but not accessible" from "absent": a refused camera
// is reported with its reason and place and is not opened; another camera is
// opened instead (and then nothing is reported); granting access opens the
// refused one and clears the report. Requests keep failing as without a camera.
TEST_P(DeviceProblemTest, RefusedCameraIsReportedUntilItOpens)
{
    const AccessCase& c = GetParam();
    EXPECT_EQ(QDX_GetDeviceProblem(nullptr), QDX_ERR_ARGUMENT);
    EXPECT_EQ(deviceProblem().reason, QDX_DEVICE_PROBLEM_NONE) << "the library is not running";
    QDXSim_SetPlugged(1, c.secondCamera || c.camera == 1);
    if (c.camera == 1)
        QDXSim_SetPlugged(0, 0);
    ASSERT_EQ(QDXSim_SetAccess(c.camera, c.access), QDX_OK);
    ASSERT_EQ(QDX_Init(), QDX_OK);
    if (c.secondCamera) {
        ASSERT_TRUE(waitUntil([] { return status() == 1; })) << "the accessible camera was not opened";
        EXPECT_EQ(deviceProblem().reason, QDX_DEVICE_PROBLEM_NONE);
        return;
    }
    ASSERT_TRUE(waitUntil([&] { return deviceProblem().reason == c.reason; }));
    const QDX_DEVICE_PROBLEM problem = deviceProblem();
    EXPECT_EQ(problem.busNumber, 0);
    EXPECT_EQ(problem.deviceAddress, c.camera + 1);
    EXPECT_EQ(problem.vendorId, 0);
    EXPECT_STREQ(problem.devicePath, "");
    EXPECT_EQ(status(), 0);
    unsigned char info[48];
    EXPECT_EQ(QDX_GetDevInfo(sizeof info, info), QDX_ERR_TRANSFER);

    QDXSim_SetAccess(c.camera, QDXSIM_ACCESS_GRANTED);
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    EXPECT_EQ(deviceProblem().reason, QDX_DEVICE_PROBLEM_NONE);
    EXPECT_EQ(QDX_GetDevInfo(sizeof info, info), QDX_OK);
}

const AccessCase kAccessCases[] = {
    {"PermissionDenied", 0, QDXSIM_ACCESS_DENIED, false, QDX_DEVICE_PROBLEM_PERMISSION},
    {"Busy", 0, QDXSIM_ACCESS_BUSY, false, QDX_DEVICE_PROBLEM_BUSY},
    {"SecondCameraRefused", 1, QDXSIM_ACCESS_DENIED, false, QDX_DEVICE_PROBLEM_PERMISSION},
    {"FirstRefusedSecondOpens", 0, QDXSIM_ACCESS_BUSY, true, QDX_DEVICE_PROBLEM_NONE},
};

INSTANTIATE_TEST_SUITE_P(Access, DeviceProblemTest, ::testing::ValuesIn(kAccessCases),
                         [](const auto& c) { return std::string(c.param.name); });

}  // namespace
}  // namespace qdx::test

// Widget tests run on an offscreen Qt application, without a display.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#if defined(__SANITIZE_THREAD__)
// Qt is not built with the thread sanitizer: its own internals (event
// queues, allocations) are outside what it can judge, our code is not.
extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// Qt Multimedia connects to PulseAudio once, for playback, and PulseAudio
// keeps that context until the process ends.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libpulse.so\n";
}
#endif

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QDX_CAMERA", "sim", 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

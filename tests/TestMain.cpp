// The main of every GoogleTest program but the widget tests' (which add Qt):
// the tests run in a HOME of their own.
#include <gtest/gtest.h>

#include "PrivateHome.h"

int main(int argc, char** argv)
{
    const qdx::test::PrivateHome home;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

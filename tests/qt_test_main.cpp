// Entry point of the test programs that create widgets: GoogleTest first,
// then the one application object, then the tests.
#include "ui/Application.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery runs this program outside ctest's environment.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform == nullptr || platform[0] == '\0') setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ui::SkimletApplication application(argc, argv);
    return RUN_ALL_TESTS();
}

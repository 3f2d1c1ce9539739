// The GUI tests' main: one QApplication on the offscreen platform for all tests.
#include <gtest/gtest.h>

#include <QApplication>

#include "gui/qt/gui_util.h"
#include "gui/qt/qt_interaction.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    mabrel::gui::useJapanese();
    mabrel::gui::chooseIconTheme();
    return RUN_ALL_TESTS();
}

// The GUI tests drive real widgets, so they need a QApplication; without a
// display they use Qt's offscreen platform (also while CTest lists them).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>

#include "gui/form_font.hpp"

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setFont(dl250t::formFont());
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}

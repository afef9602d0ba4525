#pragma once

// A window test whose program and settings folders are a scratch folder and
// whose desktop is the fake platform; errors() lists the error texts shown.
#include "FakePlatform.h"
#include "TempDir.h"
#include "ui/Paths.h"

#include <QStringList>

#include <gtest/gtest.h>

class ScratchFolderTest : public ::testing::Test {
protected:
    ScratchFolderTest() {
        ui::setProgramFolder(dir.path().string());
        ui::setSettingsFolder(dir.path().string());
    }
    ~ScratchFolderTest() override {
        ui::setProgramFolder("");
        ui::setSettingsFolder("");
    }

    [[nodiscard]] QStringList errors() const {
        QStringList texts;
        for (const auto& e : fake->errors) texts << e.text;
        return texts;
    }

    TempDir dir;
    FakePlatformScope fake;
};

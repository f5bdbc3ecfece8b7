// A fixture base for tests that run the dialogs: the run state that a header
// with no option bits would give, in text buffers of the test's own, put in
// place by InstallRunState and taken away again by RestoreRunState.
#pragma once
#include <gtest/gtest.h>

#include "app/SFXgbls.h"
#include "resources/resource.h"
#include "ui/Dialog.h"

class RunStateTest : public ::testing::Test {
protected:
    char caption[TEXT_BUFFER_SIZE] = "Test archive";
    char defaultDir[TEXT_BUFFER_SIZE] = "";
    char command[TEXT_BUFFER_SIZE] = "";
    char *saved[3] = {};

    void InstallRunState() {
        saved[0] = captionText, saved[1] = defaultDirText, saved[2] = commandText;
        captionText = caption, defaultDirText = defaultDir, commandText = command;
        hasDefaultDir = hasCommand = showRunCheckbox = lockOverwriteMode = autoStart = false;
        selectFiles = showFinishedMessage = true;
        initialOverwriteMode = OVERWRITE_CONFIRM;
        mainWindow = nullptr;
        extractDir[0] = 0;
    }
    void RestoreRunState() {
        captionText = saved[0], defaultDirText = saved[1], commandText = saved[2];
        hasCommand = autoStart = false;
        mainWindow = nullptr;
        extractDir[0] = 0;
    }
};

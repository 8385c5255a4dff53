#pragma once
// The settings dialog library's one entry point and the callback through which the dialog acts
// on the viewer while it is open. Shared by libsettingsui and the viewer.
#include <cstdint>

#include "app/records.h"

class QWidget;

// Callback codes.
enum : int {
    CFG_CB_BRIGHTNESS = 1,  // value: new brightness; applied to the receiver at once
    CFG_CB_SHARPNESS = 2,
    CFG_CB_CONTRAST = 3,
    CFG_CB_SATURATION = 4,
    CFG_CB_NEW_TASK = 5,     // value 0; result: address of a new caller-owned TaskRecord
    CFG_CB_FREE_TASK = 6,    // value: a record's address; frees it
    CFG_CB_ADD_TASK = 7,     // value: a record's address; the task list takes it over
    CFG_CB_REMOVE_TASK = 8,  // value: a record's address; removes entries by address only
    CFG_CB_TASK_COUNT = 9,   // value 0; result: number of tasks in the viewer's task list
    CFG_CB_TASK_AT = 10,     // value: index; result: address of that task record, or 0
};

// Values and results are pointer-wide so that record addresses fit on 64-bit systems.
using SettingsCallback = std::intptr_t (*)(int code, std::intptr_t value);

// Shows the modal "Vidora Setup" sheet on a copy of *config, starting at page startPage
// (0 Security, 1 Display, 2 Alarm, 3 Record, 4 Capture, 5 Plan task, 6 About). Returns 0 and
// copies the 828 bytes back when the user pressed "Ok"; -1 otherwise, with *config untouched.
extern "C" __attribute__((visibility("default"))) int ShowConfigDialog(QWidget* parent,
                                                                       int startPage,
                                                                       vidora::VidoraConfig* config,
                                                                       SettingsCallback callback);

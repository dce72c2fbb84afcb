// The failure message: how start-up tells the viewer that something could not be done.
#pragma once

// Shows `message` to the viewer and returns; the caller carries on. This platform has no
// message box, so it is one line "ERROR: <message>" on standard error.
void failureMessage(const char* message);

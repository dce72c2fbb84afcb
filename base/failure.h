// The failure message: how start-up tells the viewer that something could not be done.
#pragma once

// Shows `message` to the viewer and returns; the caller carries on. One line
// "ERROR: <message>" on standard error; on Windows also a message box titled "ERROR", which the
// viewer closes (base/failure_windows.cpp).
void failureMessage(const char* message);

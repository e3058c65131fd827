#pragma once

// While a busy cursor is set, a modal dialog or message box that waits for the user
// shows the normal arrow; the busy cursor comes back when it closes. Installed once for
// the application; later calls do nothing.
void KeepArrowOverDialogs();

#pragma once

// Takes and dispatches every message waiting for the thread's windows, so that
// they repaint and Windows never marks them as not responding during long work.
void DispatchPendingMessages();

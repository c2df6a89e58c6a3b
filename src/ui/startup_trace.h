// An opt-in trace of the start-up, for measuring how soon the window is usable. With the
// environment variable KORVEL_TRACE_STARTUP set, the program writes one line per event to
// standard error:
//
//   korvel-trace <event> <wall clock in milliseconds since 1970, with microseconds>
//
// for the events "main" (process entry), the steps main() marks on the way, "window-shown" (the
// main window first exposed on screen) and "buttons-enabled" (the query buttons enabled: all the
// tables they need are loaded). With KORVEL_TRACE_STARTUP=quit the program ends once both later
// events have happened. Without the variable nothing is written and nothing changes.
#pragma once

class QWidget;

namespace korvel::ui {

// Records "main" when tracing; call first thing in main().
void TraceStartupBegin();
// Records a step of the start-up under the given name when tracing.
void TraceStartupMark(const char* event);
// Watches the shown main window and its query buttons when tracing.
void TraceStartupWindow(QWidget& window);

}  // namespace korvel::ui

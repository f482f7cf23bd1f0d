// Trace control over the document: single steps, the continuous trace, the
// set-ups, breakpoints and the trace visualisation. Every action ends by
// putting the listing's cursor (the trace point) on EIP.
#pragma once
// Declarations live in document/document.h (TDocument's tracing section);
// this header only names the status texts shared by the shell.

constexpr const char* kTraceAbortHint = "Press <ESC> to abort tracing...";
constexpr const char* kNoTracePoint = "No trace point given!";

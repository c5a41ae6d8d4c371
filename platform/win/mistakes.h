// Mistakes in using the framework that would otherwise pass in silence (an object that quietly
// stays on its creating thread, a class that never registers): a line of debugger output in every
// build, and an assertion in a debug build.
#pragma once

// Announces a mistake: "QD mistake: <text>" to the debugger, then asserts (debug builds only).
void AfxReportMistake(const char* lpszText);

// Tests see the announcements instead: the handler receives the text, and nothing asserts. nullptr
// restores the default. Returns the previous handler.
using AFX_MISTAKE_HANDLER = void (*)(const char* lpszText);
AFX_MISTAKE_HANDLER AfxSetMistakeHandler(AFX_MISTAKE_HANDLER pfnHandler);

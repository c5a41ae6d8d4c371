// How long a message posted to QDSERVER's dialog waits before the dialog's thread handles it. A
// sent message (WM_NULL) is answered even by a thread that waits for sent messages only, so the
// probe posts BM_SETSTATE to the "Own Thread" group box and reads the state back with a sent
// BM_GETSTATE until it shows: the group box draws no pushed state and notifies nobody, so neither
// the bars, nor the choice, nor "Abort Call" (which clients click) are touched.
#pragma once
#include <windows.h>

class DialogProbe {
public:
    explicit DialogProbe(HWND hDialog);
    bool Usable() const { return m_hBox != nullptr; }
    // Posts one toggle and waits for it: milliseconds until it showed, or -1 when it did not within
    // timeoutMs (or the window went away).
    double Measure(DWORD timeoutMs);

private:
    HWND m_hBox = nullptr;
    bool m_bPushed = false;
};

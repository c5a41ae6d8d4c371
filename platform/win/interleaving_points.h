// Named points where two threads can meet in more than one order. A test holds the thread that
// reaches a point while it drives another thread into the window, then lets it go; a torture run
// pauses there at random. A program armed from its environment takes part from outside:
//   QD_INTERLEAVING_HOLD=<point>             the first thread to reach it waits; the events
//                                            EventName("Held"/"Go", pid) say so and let it go
//   QD_INTERLEAVING_PAUSES=<seed>,<max ms>   random pauses at every point
// Where nothing armed them, which is always so in normal use, a point costs one atomic load.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>

class CInterleavingPoints {
public:
    static void Reach(const char* lpszPoint)
    {
        if (s_nArmed.load(std::memory_order_acquire) != 0)
            ReachArmed(lpszPoint);
    }

    // The next thread to reach lpszPoint waits there until Release(lpszPoint).
    static void Hold(const char* lpszPoint);
    // Whether a thread waits at lpszPoint, waiting up to dwTimeoutMs for one to arrive.
    static BOOL WaitUntilHeld(const char* lpszPoint, DWORD dwTimeoutMs);
    // Lets the thread held at lpszPoint go, or disarms the hold if none arrived.
    static void Release(const char* lpszPoint);

    // Every point pauses the thread that reaches it, one time in two, for up to dwMaxMs (a
    // sequence drawn from nSeed). dwMaxMs 0 ends the pauses.
    static void SetRandomPauses(unsigned nSeed, DWORD dwMaxMs);
    // Reads the two variables above; the framework's programs do so as they start.
    static void ArmFromEnvironment();
    // The name of the event "Held" or "Go" of a hold armed from the environment of process nProcessID.
    static std::string EventName(const char* lpszWhat, DWORD nProcessID);

private:
    static void ReachArmed(const char* lpszPoint);
    static std::atomic<int> s_nArmed;
};

#define QD_INTERLEAVING_POINT(name) CInterleavingPoints::Reach(name)

// Progress for the person watching: one line per event on stderr, with the time since the start,
// the phase and how far it has got. The table and the JSON carry the figures; these lines do not.
#pragma once
#include <cstdio>

class Progress {
public:
    explicit Progress(FILE* out = stderr, const char* name = "bench");

    void Phase(const char* name, int index, int count);
    void Note(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // "what: done/total", once per round of a loop.
    void Count(const char* what, int done, int total);

private:
    double Elapsed() const;
    FILE* m_out;
    const char* m_name;
    double m_startMs;
    const char* m_phase = "start";
};

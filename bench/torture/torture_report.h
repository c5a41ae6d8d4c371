// The torture run's summary: a Markdown table with a row a round (what was chosen, what the calls
// returned, the worst wait of a posted message, the server's exit code, what it kept) and the
// calls by action, with every problem found.
#pragma once
#include "torture_round.h"

#include <cstdio>
#include <vector>

class TortureReport {
public:
    void Add(const TortureRound::Result& result) { m_rounds.push_back(result); }
    int Rounds() const { return static_cast<int>(m_rounds.size()); }
    int Failed() const;
    // One line for the person watching.
    static std::string Line(const TortureRound::Result& result);
    void Print(FILE* out, uint32_t seed) const;

private:
    std::vector<TortureRound::Result> m_rounds;
};

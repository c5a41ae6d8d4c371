// A set of timings and the figures reported for it. Empty sets report NaN, so a phase that got no
// sample shows as missing rather than as zero.
#pragma once
#include <cstddef>
#include <vector>

class SampleStats {
public:
    SampleStats() = default;
    explicit SampleStats(std::vector<double> samples);

    void Add(double sample);
    size_t Count() const { return m_samples.size(); }
    const std::vector<double>& Samples() const { return m_samples; }

    double Median() const;
    // Nearest rank: the smallest sample with at least p percent of the samples at or below it.
    double Percentile(double p) const;
    double Min() const;
    double Max() const;

private:
    std::vector<double> Sorted() const;
    std::vector<double> m_samples;
};

// a / b, or NaN when either is missing or b is not positive.
double Ratio(double a, double b);

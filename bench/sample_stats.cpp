#include "sample_stats.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
}

SampleStats::SampleStats(std::vector<double> samples) : m_samples(std::move(samples)) {}

void SampleStats::Add(double sample) { m_samples.push_back(sample); }

std::vector<double> SampleStats::Sorted() const
{
    std::vector<double> sorted(m_samples);
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

double SampleStats::Median() const
{
    if (m_samples.empty())
        return kNaN;
    std::vector<double> s = Sorted();
    size_t n = s.size();
    return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
}

double SampleStats::Percentile(double p) const
{
    if (m_samples.empty())
        return kNaN;
    std::vector<double> s = Sorted();
    // The epsilon keeps 99 % of 2000 at rank 1980, not 1981 by rounding of 0.99 * 2000.
    double rank = std::ceil(p / 100.0 * static_cast<double>(s.size()) - 1e-9);
    size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
    return s[std::min(index, s.size() - 1)];
}

double SampleStats::Min() const
{
    return m_samples.empty() ? kNaN : *std::min_element(m_samples.begin(), m_samples.end());
}

double SampleStats::Max() const
{
    return m_samples.empty() ? kNaN : *std::max_element(m_samples.begin(), m_samples.end());
}

double Ratio(double a, double b)
{
    if (std::isnan(a) || std::isnan(b) || b <= 0)
        return kNaN;
    return a / b;
}

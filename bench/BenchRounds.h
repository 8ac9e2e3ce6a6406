#pragma once

// Contenders measured in rounds: each round runs every contender once, in turn (A B C, then C B A
// in the next round, so neither end of a round favours one of them), and keeps each one's figure.
// Load that comes and goes on the machine then falls on all of them alike, and a ratio is taken
// within each round: the median of those ratios, with their spread, is what a benchmark reports.

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace qm::bench {

struct Contender {
    std::string name;
    std::function<double()> run; // one measurement: a time or a rate
    std::vector<double> figures; // one per round
};

inline void runRounds(const std::vector<Contender*>& contenders, int rounds) {
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < contenders.size(); ++i) {
            Contender& c = *contenders[round % 2 == 0 ? i : contenders.size() - 1 - i];
            c.figures.push_back(c.run());
        }
    }
}

struct Spread {
    double median = 0;
    double low = 0;  // the lowest
    double high = 0; // the highest
};

inline Spread spreadOf(std::vector<double> v) {
    if (v.empty()) {
        return {};
    }
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {median, v.front(), v.back()};
}

// The per-round ratios a / b, or a / the larger of b and c.
inline Spread ratioOf(const Contender& a, const Contender& b, const Contender* c = nullptr) {
    std::vector<double> ratios;
    for (std::size_t r = 0; r < a.figures.size() && r < b.figures.size(); ++r) {
        const double other = c ? std::max(b.figures[r], c->figures[r]) : b.figures[r];
        ratios.push_back(a.figures[r] / other);
    }
    return spreadOf(ratios);
}

inline std::string spreadText(const Spread& s, const char* unit = "x") {
    char text[96];
    std::snprintf(text, sizeof text, "%.2f%s (rounds: %.2f..%.2f)", s.median, unit, s.low, s.high);
    return text;
}

} // namespace qm::bench

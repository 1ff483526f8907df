// Targets as ratios and their report.
#include "bench/targets.h"

#include <cmath>
#include <cstdio>

namespace bench {

bool Target::Met() const {
    if (!std::isfinite(value) || value <= 0)
        return false;
    return atMost ? value <= limit : value >= limit;
}

void CTargetList::AddRatio(const std::string& name, double numerator, const char* numeratorName,
                           double denominator, const char* denominatorName, double limit,
                           bool atMost) {
    Target target;
    target.name = name;
    target.value = denominator > 0 ? numerator / denominator : NAN;
    target.limit = limit;
    target.atMost = atMost;
    char text[200];
    std::snprintf(text, sizeof text, "%s / %s = %.3g / %.3g", numeratorName, denominatorName,
                  numerator, denominator);
    target.ratio = text;
    targets_.push_back(target);
}

void CTargetList::Print() const {
    for (const Target& t : targets_)
        std::printf("  %-42s %-48s = %5.2f  target %s %.2f  %s\n", t.name.c_str(), t.ratio.c_str(),
                    t.value, t.atMost ? "<=" : ">=", t.limit, t.Met() ? "met" : "MISSED");
}

void CTargetList::PrintTable() const {
    std::printf("| Target | Ratio | Measured | Limit | |\n|---|---|---|---|---|\n");
    for (const Target& t : targets_)
        std::printf("| %s | %s | %.2f | %s %.2f | %s |\n", t.name.c_str(), t.ratio.c_str(), t.value,
                    t.atMost ? "≤" : "≥", t.limit, t.Met() ? "met" : "**missed**");
}

bool CTargetList::AllMet() const {
    for (const Target& t : targets_) {
        if (!t.Met())
            return false;
    }
    return true;
}

} // namespace bench

// The benchmark's targets: each one a ratio of two figures measured in the
// same run, against its limit, printed with "met" or "MISSED" and summed up
// into the program's exit status.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct Target {
    std::string name;  // what is compared, e.g. "B unpack / cp -r"
    std::string ratio; // how it is computed, with the figures
    double value = 0;  // the ratio measured
    double limit = 0;
    bool atMost = true; // met when value <= limit; otherwise when value >= limit

    // A ratio that could not be measured (zero or not a number) is missed.
    bool Met() const;
};

class CTargetList {
public:
    // Adds value = numerator / denominator.
    void AddRatio(const std::string& name, double numerator, const char* numeratorName,
                  double denominator, const char* denominatorName, double limit, bool atMost);
    void AddTarget(const Target& target) { targets_.push_back(target); }
    // One line per target.
    void Print() const;
    // The same as rows of a Markdown table.
    void PrintTable() const;
    bool AllMet() const;
    const std::vector<Target>& Targets() const { return targets_; }

private:
    std::vector<Target> targets_;
};

} // namespace bench

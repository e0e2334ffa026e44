#pragma once

#include <algorithm>

// How far the progress bar moves for streamed text: a little per character, never finishing.
struct AgentProgressEstimator {
    static double receivedDelta(double progress, int characterCount)
    {
        const double increment = std::clamp(characterCount * 0.0004, 0.002, 0.012);
        return std::min(std::max(progress, 0.4) + increment, 0.94);
    }
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Cli.h"
#include "engine/Catalogue.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace cli {

/// The catalogue index of a cleaning module named by its index (1, 2, 3,
/// and 5 when the catalogue has the system module) or its tab stem
/// ("systemJunk", ..., "system"); nullopt for anything else.
std::optional<int> resolveModule(const std::string &word);

/// Loads the catalogue (honouring --catalogue). When it cannot be read the
/// process ends with one line naming the file and the fault, and exit code 3.
void loadCatalogue(const Invocation &inv);

/// What a scan could not do whole.
struct WalkProblems
{
    std::uint64_t unreadable = 0; // folders that could not be read
    bool keepList = false; // the always-keep list, or a line of it, could not be used
};

/// Scans the given modules at once and waits on the main loop until every
/// one is done, drawing a progress bar on stderr when wanted. Then says on
/// stderr, once, what the walks passed over (tellWalkProblems) and returns it.
WalkProblems scanModules(const std::vector<int> &moduleIndexes, const GlobalOptions &options);

/// Says on stderr what the walks since the last reset passed over: how many
/// folders could not be read (with the first one), whose sizes are then
/// partial, how many mount points were not entered, and every problem with
/// the always-keep list. `what` prefixes the lines ("" or a path). Returns
/// the problems and resets the report.
WalkProblems tellWalkProblems(const std::string &what = {});

/// Draws "[#####.....]  42%  path" on stderr, at most every 100 ms; no-op when disabled.
class ProgressBar
{
public:
    explicit ProgressBar(bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar &) = delete;
    ProgressBar &operator=(const ProgressBar &) = delete;

    void setFraction(float fraction);
    void setPath(const std::string &path);
    void finish();

private:
    void draw(bool force);

    bool m_enabled;
    float m_fraction = 0;
    std::string m_path;
    long long m_lastDrawMs = 0;
};

} // namespace cli

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Internal to the engine's scanners.

#include "fs/Callbacks.h"
#include "platform/Services.h"

#include <memory>

namespace core {

/// Makes sure a walk's share of a progress bar is reported in full.
///
/// filesFromDirWithFilter reports one increment per top-level entry it can
/// read, so an empty or missing folder reports nothing, and an entry that
/// vanishes during the walk leaves its share out. Hand callback() to the walk
/// instead of the scanner's showPercent, then call postRemainder() after it
/// returns: the remainder job runs on the main queue after every increment
/// the walk posted, and reports what is missing of 1.0.
///
/// Increments are divided by `divisor` before they reach `target` (a walk
/// that is one of several parts of a category). The count lives on the main
/// queue only, so no lock is needed; the object itself may go away before the
/// jobs run.
class ShareCounter
{
public:
    ShareCounter(ShowPercent target, float divisor)
        : m_target(std::move(target))
        , m_divisor(divisor)
    {
    }

    [[nodiscard]] ShowPercent callback() const
    {
        return [target = m_target, divisor = m_divisor, reported = m_reported](float increment) {
            *reported += increment;
            if (target) {
                target(increment / divisor);
            }
        };
    }

    void postRemainder() const
    {
        platform::services().dispatch->asyncMain([target = m_target, divisor = m_divisor, reported = m_reported] {
            // Float sums of 1/C fall a hair short of 1.0; only a missing share is made up.
            constexpr float Tolerance = 1e-4F;
            if (*reported < 1.0F - Tolerance && target) {
                target((1.0F - *reported) / divisor);
            }
        });
    }

private:
    ShowPercent m_target;
    float m_divisor = 1.0F;
    std::shared_ptr<float> m_reported = std::make_shared<float>(0.0F);
};

} // namespace core

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace core::platform {

using Task = std::function<void()>;

/// The two queues every engine operation runs on.
///
/// async() runs a job on the global concurrent queue (a pool of worker
/// threads); asyncMain() appends a job to the main queue, one serial FIFO
/// drained by the main thread. All engine callbacks and every write to the
/// shared catalogue go through asyncMain(), which is the single point of
/// serialisation. Both calls are thread-safe and never run the job inline.
class Dispatcher
{
public:
    virtual ~Dispatcher() = default;
    virtual void async(Task job) = 0;
    virtual void asyncMain(Task job) = 0;
};

} // namespace core::platform

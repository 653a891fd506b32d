#pragma once

#include "io/core/ReadResult.h"
#include "platform/ThreadPool.h"

// Options for a reader in a benchmark: this thread alone, or a pool of one thread per core as
// the application and the tools hand the readers.
inline ReadOptions BenchReadOptions(bool onPool)
{
    static ThreadPool pool;
    ReadOptions options;
    if (onPool)
        options.pool = &pool;
    return options;
}

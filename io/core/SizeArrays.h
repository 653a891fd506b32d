#pragma once

#include "platform/ThreadPool.h"

#include <cstddef>
#include <functional>
#include <initializer_list>

// Runs a reader's sizing steps at once, one a thread where there is a pool. Sizing a large
// record array maps and zeroes its pages, the largest single cost of a load after the
// decoding itself, so a cloud's positions and colours are best sized side by side.
inline void SizeArraysOn(ThreadPool* pool, std::initializer_list<std::function<void()>> steps)
{
    const std::function<void()>* first = steps.begin();
    ParallelFor(pool, steps.size(), [first](std::size_t i) { first[i](); });
}

#pragma once

#include <string>

#include "lessons/store.h"

// The largest history of use the store keeps, for the benchmarks that must hold their
// figures with it.
namespace pw::bench {

// 90 days up to `today`, each with some hours of use and every one of 500 lessons used
// ("lesson1.ylq" … "lesson500.ylq"), their last plays, hashes and a few favourites: the
// store's largest content. Waits until it is written.
void FillWithLargestHistory(Store& store, LocalDay today);

}  // namespace pw::bench

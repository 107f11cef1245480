// What every stream decoder's test does: feed the same bytes in every chunking and see the
// same frames come out. A decoder has the one shape `std::vector<Event> Feed(const uint8_t *,
// size_t)`, invalid frames reported as events of their own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kit {

// Feeds `input` to `decoder` in chunks of `chunk` bytes and gathers what it reports.
template <class Decoder>
auto FeedInChunks(Decoder &decoder, const std::vector<uint8_t> &input, size_t chunk)
{
    decltype(decoder.Feed(nullptr, 0)) all;
    if (chunk == 0) chunk = 1;
    for (size_t at = 0; at < input.size(); at += chunk) {
        const auto got = decoder.Feed(input.data() + at, std::min(chunk, input.size() - at));
        all.insert(all.end(), got.begin(), got.end());
    }
    return all;
}

// For every chunk size from 1 to the whole input: a decoder made by `make` fed `input` in
// chunks of that size reports `want`, each event shown by `show` (a text the test compares).
template <class Make, class Show>
void ExpectInEveryChunking(const char *what, const std::vector<uint8_t> &input,
                           const std::vector<std::string> &want, Make make, Show show)
{
    for (size_t chunk = 1; chunk <= std::max<size_t>(input.size(), 1); ++chunk) {
        auto decoder = make();
        std::vector<std::string> shown;
        for (const auto &event : FeedInChunks(decoder, input, chunk)) shown.push_back(show(event));
        EXPECT_EQ(shown, want) << what << ", chunks of " << chunk;
    }
}

} // namespace kit
